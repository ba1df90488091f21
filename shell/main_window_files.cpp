// SPDX-License-Identifier: GPL-3.0-or-later
// File commands of the main window: the Load and Save buttons, the recent-file
// menus, the open and save dialogs, and the settings file's callers.

#include "image/file_io.h"
#include "shell/application.h"
#include "shell/dialog_popups.h"
#include "shell/main_window.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace corvane {

namespace {

const QString kHexFilter = QStringLiteral("Hex-Files (*.hex)");
const QString kBinFilter = QStringLiteral("Bin-Files (*.bin)");
const QString kListPrefix = QStringLiteral("H");

QString sectionOf(MemKind kind) {
    return kind == MEM_FLASH ? QStringLiteral("FLASHLOAD") : QStringLiteral("EEPLOAD");
}

// Folder part of a path, with its trailing separator.
QString folderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString namePartOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The file type chosen in a dialog: 1 Hex-Files, 2 Bin-Files.
int filterIndexOf(const QFileDialog& dialog) {
    return dialog.selectedNameFilter() == kBinFilter ? 2 : 1;
}

} // namespace

// What the window keeps for the file commands: the file module and the
// window-side answers it needs.
class TMain::FileCommands : public FileHost, public MessagePresenter {
public:
    explicit FileCommands(TMain& window) : w(window), io(*this, *this) {
        io.ProcessMessages = [this] { w.ProcessMessages(); };
    }

    // --- FileHost
    TBuffer& image(MemKind kind) override { return w.Images.image(kind); }
    void setFileNameField(MemKind kind, const QString& fileName) override {
        (kind == MEM_FLASH ? w.FlashName : w.EEPName)->setText(fileName);
    }
    void refreshView(MemKind kind) override {
        if (kind == MEM_FLASH)
            w.RefreshFlashView();
        else
            w.RefreshEepromView();
    }
    void focusView(MemKind kind) override { (kind == MEM_FLASH ? w.FlashDump : w.EEPDump)->setFocus(); }
    TBuffer viewData(MemKind kind) const override {
        return (kind == MEM_FLASH ? w.FlashDump : w.EEPDump)->data();
    }
    int saveFilterIndex() const override { return w.SaveDlg ? filterIndexOf(*w.SaveDlg) : 1; }
    void setSaveFileName(const QString& fileName) override { saveFileName = fileName; }

    // --- MessagePresenter: whatever presenter the window has at the time.
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override {
        return w.messagePresenter().showMessageBox(caption, text, kind, buttons, beep);
    }

    TMain& w;
    TFileIo io;
    QString openStartFolder; // empty until a load command sets it
    QString saveStartFolder;
    QString saveFileName; // the save dialog's file name
};

TMain::FileCommands& TMain::fileCommands() {
    if (!fileCommands_)
        fileCommands_ = {new FileCommands(*this), [](FileCommands* f) { delete f; }};
    return *fileCommands_;
}

TFileIo& TMain::FileIo() {
    return fileCommands().io;
}

void TMain::createFileCommands() {
    connect(FlashLoad, &SplitButton::clicked, this, &TMain::ButOpen0Click);
    connect(EEPLoad, &SplitButton::clicked, this, &TMain::ButOpen1Click);
    connect(FlashSave, &QToolButton::clicked, this, &TMain::ButSave0Click);
    connect(EEPSave, &QToolButton::clicked, this, &TMain::ButSave1Click);
    FlashMru.Changed = [this] { rebuildRecentMenu(MEM_FLASH); };
    EEPMru.Changed = [this] { rebuildRecentMenu(MEM_EEPROM); };
    rebuildRecentMenu(MEM_FLASH);
    rebuildRecentMenu(MEM_EEPROM);
}

// ---------------------------------------------------------------------------
// Dialogs

namespace {

QFileDialog* makeFileDialog(QWidget* parent, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(parent);
    // The program's own dialog, so that a change of the file type can be seen.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(mode);
    // Names of files that do not exist are accepted (the load reports them).
    // The save command asks itself before it replaces a file, once it knows
    // the name completed with the chosen type's extension.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setNameFilters({kHexFilter, kBinFilter});
    dialog->selectNameFilter(kHexFilter);
    dialog->setSizeGripEnabled(true);
    keepPopupsWithDialog(dialog);
    return dialog;
}

} // namespace

QFileDialog& TMain::openDialog() {
    if (!OpenDlg)
        OpenDlg = makeFileDialog(this, QFileDialog::AcceptOpen);
    return *OpenDlg;
}

QFileDialog& TMain::saveDialog() {
    if (!SaveDlg) {
        SaveDlg = makeFileDialog(this, QFileDialog::AcceptSave);
        // Picking the other file type changes the extension of the name typed so far.
        connect(SaveDlg, &QFileDialog::filterSelected, this, [this](const QString& filter) {
            auto* edit = SaveDlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!edit)
                return;
            const QString changed = replaceFileExtension(
                edit->text(), filter == kBinFilter ? QStringLiteral(".bin") : QStringLiteral(".hex"));
            if (changed != edit->text())
                edit->setText(changed);
        });
    }
    return *SaveDlg;
}

namespace {

// The dialog is reused: its name field still holds what was typed or chosen
// the last time, which selectFile() leaves alone for an empty name. Each use
// starts with exactly the given name.
void startWithName(QFileDialog& dialog, const QString& name) {
    if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(name);
    if (!name.isEmpty())
        dialog.selectFile(name);
}

bool runDialog(const std::function<bool(QFileDialog&, QString&)>& run, QFileDialog& dialog, QString& chosen) {
    if (run)
        return run(dialog, chosen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    chosen = dialog.selectedFiles().constFirst();
    return !chosen.isEmpty();
}

} // namespace

// ---------------------------------------------------------------------------
// Load and save commands

void TMain::ButOpen0Click() {
    loadCommand(MEM_FLASH);
}
void TMain::ButOpen1Click() {
    loadCommand(MEM_EEPROM);
}
void TMain::ButSave0Click() {
    saveCommand(MEM_FLASH);
}
void TMain::ButSave1Click() {
    saveCommand(MEM_EEPROM);
}

void TMain::loadCommand(MemKind kind) {
    FileCommands& files = fileCommands();
    if (files.io.isBusy())
        return; // a HEX file is being read
    const QString current = (kind == MEM_FLASH ? FlashName : EEPName)->text();
    if (!current.isEmpty())
        files.openStartFolder = folderOf(current);
    else if (Installed)
        files.openStartFolder = installedStartFolder(kind);
    else if (files.openStartFolder.isEmpty())
        files.openStartFolder = ExeDir;
    QFileDialog& dialog = openDialog();
    dialog.setDirectory(files.openStartFolder);
    startWithName(dialog, QString());
    dialog.setWindowTitle(kind == MEM_FLASH ? QStringLiteral("Load file for FLASH-Memory")
                                            : QStringLiteral("Load file for EEPROM"));
    QString chosen;
    if (!runDialog(RunFileDialog, dialog, chosen))
        return;
    if (!files.io.LoadFile(chosen, kind))
        return;
    (kind == MEM_FLASH ? FlashMru : EEPMru).add(chosen);
    storeRecentList(kind);
}

void TMain::saveCommand(MemKind kind) {
    FileCommands& files = fileCommands();
    if (files.io.isBusy())
        return;
    QLineEdit* nameField = kind == MEM_FLASH ? FlashName : EEPName;
    const QString current = nameField->text();
    if (!current.isEmpty()) {
        files.saveFileName = namePartOf(current);
        files.saveStartFolder = folderOf(current);
    } else {
        files.saveFileName.clear();
        if (Installed)
            files.saveStartFolder = installedStartFolder(kind);
    }
    if (files.saveStartFolder.isEmpty())
        files.saveStartFolder = ExeDir;
    QFileDialog& dialog = saveDialog();
    dialog.setDirectory(files.saveStartFolder);
    // A proposed name of either type shows that type; without one the type
    // chosen last stays.
    const QString proposedType = lowerFileExtension(files.saveFileName);
    if (proposedType == QLatin1String(".hex"))
        dialog.selectNameFilter(kHexFilter);
    else if (proposedType == QLatin1String(".bin"))
        dialog.selectNameFilter(kBinFilter);
    startWithName(dialog, files.saveFileName);
    dialog.setWindowTitle(kind == MEM_FLASH ? QStringLiteral("Save FLASH-Memory to file")
                                            : QStringLiteral("Save EEPROM to file"));
    QString chosen;
    if (!runDialog(RunFileDialog, dialog, chosen))
        return;
    files.saveStartFolder = folderOf(chosen);
    if (!confirmReplace(completeSaveName(chosen, filterIndexOf(dialog))))
        return;
    if (!files.io.SaveFile(chosen, kind))
        return;
    nameField->setText(files.saveFileName);
    (kind == MEM_FLASH ? FlashMru : EEPMru).add(files.saveFileName);
    storeRecentList(kind);
}

// An installed program's dialogs start where this memory's last file is (the
// top of its recent-file list), else in the home folder.
QString TMain::installedStartFolder(MemKind kind) const {
    const QStringList& recent = (kind == MEM_FLASH ? FlashMru : EEPMru).items();
    if (!recent.isEmpty()) {
        QString folder = folderOf(recent.constFirst());
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath() + QLatin1Char('/');
}

// A save onto a file that exists goes ahead only when the user says so.
bool TMain::confirmReplace(const QString& fileName) {
    if (!QFileInfo::exists(fileName))
        return true;
    return ShowMessageBox(messagePresenter(), QStringLiteral("Save file"),
                          QStringLiteral("File: %1\rexists already.\rReplace it?").arg(fileName),
                          MessageKind::Confirmation,
                          MessageButton::Yes | MessageButton::No | MessageButton::DefaultSecond) ==
           MessageResult::Yes;
}

// ---------------------------------------------------------------------------
// Recent-file lists

void TMain::rebuildRecentMenu(MemKind kind) {
    QMenu* menu = kind == MEM_FLASH ? FlashMruMenu : EEPMruMenu;
    const TRecentFiles& list = kind == MEM_FLASH ? FlashMru : EEPMru;
    menu->clear();
    const QStringList captions = list.menuCaptions();
    if (captions.isEmpty()) {
        menu->addAction(TRecentFiles::emptyCaption())->setEnabled(false);
        return;
    }
    for (int i = 0; i < captions.size(); ++i) {
        // Queued, so that the menu has closed before the file is read.
        connect(
            menu->addAction(captions[i]), &QAction::triggered, this,
            [this, kind, i] { chooseRecentFile(kind, i); }, Qt::QueuedConnection);
    }
}

void TMain::chooseRecentFile(MemKind kind, int index) {
    if (fileCommands().io.isBusy())
        return;
    TRecentFiles& list = kind == MEM_FLASH ? FlashMru : EEPMru;
    list.choose(index, [this, kind](const QString& path, bool& remove) {
        if (kind == MEM_FLASH)
            FlashMruClick(path, remove);
        else
            EEPMruClick(path, remove);
    });
}

void TMain::FlashMruClick(const QString& fileName, bool& Remove) {
    Remove = !FileIo().LoadFile(fileName, MEM_FLASH);
    storeRecentList(MEM_FLASH);
}

void TMain::EEPMruClick(const QString& fileName, bool& Remove) {
    Remove = !FileIo().LoadFile(fileName, MEM_EEPROM);
    storeRecentList(MEM_EEPROM);
}

// A list that cannot be stored ends in the general error box; the file
// command itself has already succeeded.
void TMain::storeRecentList(MemKind kind) {
    try {
        Ini.SaveList(sectionOf(kind), kListPrefix, TRecentFiles::kCapacity,
                     (kind == MEM_FLASH ? FlashMru : EEPMru).items());
    } catch (const ESettingsWriteError& e) {
        reportUncaughtError(e.message());
    }
}

// ---------------------------------------------------------------------------
// Settings file

void TMain::InitSettingsFile() {
    if (Ini.fileName().isEmpty())
        Ini.setFileName(chooseSettingsFile(QCoreApplication::applicationFilePath()));
}

namespace {

// A stored index outside the list leaves the selector without a selection.
int selectorIndex(std::int32_t value, int count) {
    return value >= 0 && value < count ? value : -1;
}

} // namespace

void TMain::ApplyConfigSettings() {
    chkFlash->setChecked(Ini.ReadBool(QStringLiteral("CONFIG"), QStringLiteral("FlashActive"), true));
    chkEEP->setChecked(Ini.ReadBool(QString(), QStringLiteral("EEPActive"), true));
    chkFuses->setChecked(Ini.ReadBool(QString(), QStringLiteral("FusesActive"), true));
    chkAutoErase->setChecked(Ini.ReadBool(QString(), QStringLiteral("AutoErase"), false));
    chkFlashAll->setChecked(Ini.ReadBool(QString(), QStringLiteral("FlashAll"), false));
    cbDevice->setCurrentIndex(
        selectorIndex(Ini.ReadInteger(QString(), QStringLiteral("Device"), 0), cbDevice->count()));
    cbController->setCurrentIndex(
        selectorIndex(Ini.ReadInteger(QString(), QStringLiteral("Controller"), 0), cbController->count()));
}

// A refused write shows the general error box; the keys after the failing
// one stay unwritten, but closing goes on, so a read-only settings file
// cannot keep the window open.
void TMain::StoreConfigSettings() {
    try {
        Ini.WriteBool(QStringLiteral("CONFIG"), QStringLiteral("FlashActive"), chkFlash->isChecked());
        Ini.WriteBool(QString(), QStringLiteral("EEPActive"), chkEEP->isChecked());
        Ini.WriteBool(QString(), QStringLiteral("AutoErase"), chkAutoErase->isChecked());
        Ini.WriteBool(QString(), QStringLiteral("FlashAll"), chkFlashAll->isChecked());
        Ini.WriteInteger(QString(), QStringLiteral("Device"), cbDevice->currentIndex());
        Ini.WriteInteger(QString(), QStringLiteral("Controller"), cbController->currentIndex());
    } catch (const ESettingsWriteError& e) {
        reportUncaughtError(e.message());
    }
}

void TMain::LoadRecentLists() {
    Ini.LoadList(QStringLiteral("FLASHLOAD"), kListPrefix, TRecentFiles::kCapacity, FlashMru.list());
    FlashMru.changed();
    Ini.LoadList(QStringLiteral("EEPLOAD"), kListPrefix, TRecentFiles::kCapacity, EEPMru.list());
    EEPMru.changed();
}

// At program end: EEPROM first, then FLASH. A failure passes on (the caller
// shows it) and leaves the FLASH list unstored.
void TMain::StoreRecentListsAtExit() {
    Ini.SaveList(QStringLiteral("EEPLOAD"), kListPrefix, TRecentFiles::kCapacity, EEPMru.items());
    Ini.SaveList(QStringLiteral("FLASHLOAD"), kListPrefix, TRecentFiles::kCapacity, FlashMru.items());
}

} // namespace corvane
