// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/main_window.h"

#include "core/chip_table.h"

#include "core/app_info.h"
#include "shell/about_box.h"
#include "shell/application.h"
#include "shell/debug_window.h"
#include "shell/fixed_colours.h"
#include "shell/fonts.h"
#include "shell/icons.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>

#include <exception>

namespace corvane {

namespace {

// Hints use "\r\n" for a line break.
void setHint(QWidget* w, const QString& hint) {
    QString text = hint;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    w->setToolTip(text);
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->setFont(sansFont(8));
    label->adjustSize();
    label->move(x, y);
    return label;
}

// A navy caption label of fixed width.
QLabel* makeCaption(QWidget* parent, const QString& text, int x, int y, int w, Qt::Alignment align) {
    auto* label = new QLabel(text, parent);
    label->setFont(sansFont(8));
    label->setAlignment(align | Qt::AlignVCenter);
    label->setGeometry(x, y, w, 13);
    setTextColor(label, kNavy);
    return label;
}

// A maroon value label in the fixed-pitch font.
QLabel* makeValue(QWidget* parent, const QString& text, int x, int y, int w,
                  Qt::Alignment align = Qt::AlignLeft) {
    auto* label = new QLabel(text, parent);
    label->setFont(monoFont(8));
    label->setAlignment(align | Qt::AlignVCenter);
    label->setGeometry(x, y, w, 13);
    setTextColor(label, kMaroon);
    return label;
}

QCheckBox* makeCheck(QWidget* parent, const QString& text, int x, int y, const QString& hint) {
    auto* box = new QCheckBox(text, parent);
    box->setFont(sansFont(8));
    box->setGeometry(x, y, box->sizeHint().width(), 17);
    setHint(box, hint);
    return box;
}

QComboBox* makeList(QWidget* parent, const QStringList& items, int x, int y, int w, const QString& hint) {
    auto* box = new QComboBox(parent);
    box->setFont(sansFont(8));
    box->addItems(items);
    box->setCurrentIndex(-1);
    box->setGeometry(x, y, w, 21);
    if (!hint.isEmpty())
        setHint(box, hint);
    return box;
}

// A hexadecimal value field.
QLineEdit* makeHexField(QWidget* parent, const QString& text, int x, int y, int w, const QString& hint) {
    auto* edit = new QLineEdit(text, parent);
    edit->setFont(monoFont(8));
    edit->setTextMargins(0, 0, 0, 0);
    edit->setGeometry(x, y, w, 21);
    if (!hint.isEmpty())
        setHint(edit, hint);
    return edit;
}

// A button with its picture above its caption.
QToolButton* makeActionButton(QWidget* parent, const QString& caption, const QIcon& icon, int x, int y,
                              const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setFont(sansFont(8));
    button->setText(caption);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setGeometry(x, y, 49, 40);
    setHint(button, hint);
    return button;
}

// The four controls of a memory group: load split button with its recent
// files menu, save button, file name field and hex view.
struct MemoryControls {
    SplitButton* load;
    QMenu* menu;
    QToolButton* save;
    QLineEdit* name;
    HexView* dump;
};

MemoryControls makeMemoryControls(QGroupBox* g, const QString& loadHint, const QString& saveHint, int dumpTop,
                                  int dumpHeight, const QColor& background) {
    MemoryControls c{};
    c.load = new SplitButton(g);
    c.load->setGeometry(9, 16, 52, 25);
    c.load->setIcon(loadIcon());
    c.load->setHint(loadHint);
    c.menu = new QMenu(c.load);
    c.load->setMenu(c.menu);

    c.save = new QToolButton(g);
    c.save->setGeometry(65, 16, 25, 25);
    c.save->setIcon(saveIcon());
    c.save->setIconSize(QSize(16, 16));
    setHint(c.save, saveHint);

    c.name = new QLineEdit(g);
    c.name->setFont(sansFont(8));
    c.name->setReadOnly(true);
    c.name->setGeometry(96, 19, 457, 18);
    setBackground(c.name, kSilver);

    c.dump = new HexView(g);
    c.dump->setFont(monoFont(8));
    c.dump->setGeometry(8, dumpTop, 545, dumpHeight);
    c.dump->setDataBackground(background);
    return c;
}

QGroupBox* makeGroup(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
    auto* group = new QGroupBox(caption, parent);
    group->setFont(sansFont(8, true));
    group->setGeometry(x, y, w, h);
    return group;
}

} // namespace

TMain::TMain(QWidget* parent) : QWidget(parent) {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);
    setFont(sansFont(8));
    setWindowIcon(appIcon());
    widgetPresenter_.setParent(this);

    createControls();
    createFileCommands();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TMain::Startup);

    auto* debugKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+D")), this);
    connect(debugKey, &QShortcut::activated, this, [this] {
        if (debug_) {
            debug_->show();
            debug_->raise();
        }
    });

    // Centred on the desktop.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kClientWidth / 2, kClientHeight / 2));
}

TMain::~TMain() {
    try {
        StoreRecentListsAtExit();
    } catch (const std::exception& e) {
        reportUncaughtError(QString::fromLocal8Bit(e.what()));
    }
}

void TMain::createControls() {
    GrpFlash = makeGroup(this, QStringLiteral("FLASH"), 0, 0, 561, 300);
    GrpEEP = makeGroup(this, QStringLiteral("EEPROM"), 0, 304, 561, 199);
    GrpConfig = makeGroup(this, QStringLiteral("CONFIGURATION"), 568, 0, 177, 297);
    GrpStart = makeGroup(this, QStringLiteral("START APPLICATION"), 568, 304, 177, 73);
    GrpAction = makeGroup(this, QStringLiteral("ACTION"), 568, 382, 177, 121);
    createFlashGroup();
    createEepromGroup();
    createConfigGroup();
    createStartGroup();
    createActionGroup();
    createStatusBar();

    // The title bar belongs to the window manager: the INFO button sits at
    // the right end of the CONFIGURATION group's caption line instead.
    CapBut = new QPushButton(QStringLiteral("INFO"), GrpConfig);
    CapBut->setFont(sansFont(8, true));
    CapBut->setGeometry(GrpConfig->width() - 40 - 10, 0, 40, 15);
    CapBut->setFocusPolicy(Qt::StrongFocus); // reached with Tab like every button
    setHint(CapBut, QStringLiteral("Info..."));
    connect(CapBut, &QPushButton::clicked, this, &TMain::CapButClick);
}

void TMain::createFlashGroup() {
    const MemoryControls c =
        makeMemoryControls(GrpFlash, QStringLiteral("Load FLASH memory"), QStringLiteral("Save FLASH memory"),
                           48, 246, kFlashBackground);
    FlashLoad = c.load;
    FlashMruMenu = c.menu;
    FlashSave = c.save;
    FlashName = c.name;
    FlashDump = c.dump;
}

void TMain::createEepromGroup() {
    const MemoryControls c = makeMemoryControls(GrpEEP, QStringLiteral("Load EEPROM"),
                                                QStringLiteral("Save EEPROM"), 45, 148, kEepromBackground);
    EEPLoad = c.load;
    EEPMruMenu = c.menu;
    EEPSave = c.save;
    EEPName = c.name;
    EEPDump = c.dump;
}

void TMain::createConfigGroup() {
    QGroupBox* g = GrpConfig;
    const Qt::Alignment right = Qt::AlignRight;
    makeCaption(g, QStringLiteral("Manufacturer:"), 8, 20, 97, right);
    makeCaption(g, QStringLiteral("Family Code:"), 8, 36, 97, right);
    makeCaption(g, QStringLiteral("Product Name:"), 8, 52, 97, right);
    makeCaption(g, QStringLiteral("Product Revision:"), 8, 68, 97, right);
    makeCaption(g, QStringLiteral("Bootloader Version:"), 8, 84, 97, right);
    LabManufacturer = makeValue(g, QStringLiteral("--"), 112, 20, 41);
    LabFamily = makeValue(g, QStringLiteral("--"), 112, 36, 41);
    LabProduct = makeValue(g, QStringLiteral("--"), 112, 52, 41);
    LabRevision = makeValue(g, QStringLiteral("--"), 112, 68, 41);
    LabBootVersion = makeValue(g, QStringLiteral("-.-.-"), 112, 84, 49);

    auto* separator = new QFrame(g);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(2, 104, 173, 2);

    makeLabel(g, QStringLiteral("Oscillator"), 16, 110);
    cbOsc = makeList(
        g,
        {QStringLiteral("11 - 0..32 MHz"), QStringLiteral("10 - 0..16 MHz"), QStringLiteral("01 - 0..8 MHz")},
        16, 124, 109, QStringLiteral("Oscillator type"));
    makeCaption(g, QStringLiteral("HSB"), 136, 110, 33, Qt::AlignHCenter);
    LabHSB = makeValue(g, QStringLiteral("--"), 136, 124, 33, Qt::AlignHCenter);
    LabHSB->setGeometry(136, 124, 33, 21);

    chkBLJB = makeCheck(g, QStringLiteral("BLJB"), 16, 152,
                        QStringLiteral("Bootloader Jump Bit\r\nBootloader starts at reset if checked\r\n"
                                       "Attention! BLJB must always be active\r\n"
                                       "when programming controller in 28-SO package"));
    chkX2 =
        makeCheck(g, QStringLiteral("X2"), 88, 152, QStringLiteral("Set Oscillator Clock x 2 if checked"));

    makeLabel(g, QStringLiteral("BSB"), 16, 174);
    makeLabel(g, QStringLiteral("EB"), 64, 174);
    makeLabel(g, QStringLiteral("SBV"), 112, 174);
    EdBSB = makeHexField(g, QStringLiteral("$00"), 16, 188, 30, QStringLiteral("Boot Status Byte"));
    EdEB = makeHexField(g, QStringLiteral("$00"), 64, 188, 30, QStringLiteral("Extra Byte"));
    EdSBV = makeHexField(g, QStringLiteral("$00"), 112, 188, 30, QStringLiteral("Start Boot Vector"));

    makeLabel(g, QStringLiteral("P1_CF"), 16, 216);
    makeLabel(g, QStringLiteral("P3_CF"), 64, 216);
    makeLabel(g, QStringLiteral("P4_CF"), 112, 216);
    EdP1CF = makeHexField(g, QStringLiteral("$00"), 16, 230, 30, {});
    EdP3CF = makeHexField(g, QStringLiteral("$00"), 64, 230, 30, {});
    EdP4CF = makeHexField(g, QStringLiteral("$00"), 112, 230, 30, {});

    makeLabel(g, QStringLiteral("Software Security Byte:"), 12, 254);
    cbSSB = makeList(g,
                     {QStringLiteral("11 - No program locks"), QStringLiteral("01 - ISP disabled"),
                      QStringLiteral("10 - ISP + verify disabled")},
                     12, 268, 153, QStringLiteral("Set Security Mode"));
}

void TMain::createStartGroup() {
    ButRun = makeActionButton(GrpStart, QStringLiteral("RUN"), runIcon(), 20, 24,
                              QStringLiteral("Run application"));
    chkReset = makeCheck(GrpStart, QStringLiteral("RESET"), 88, 20,
                         QStringLiteral("Reset Controller when RUN-Button is clicked"));
    EdStart = makeHexField(GrpStart, QStringLiteral("$0000"), 88, 44, 49, QStringLiteral("Set RUN-Address"));
}

void TMain::createActionGroup() {
    QGroupBox* g = GrpAction;
    ButRead = makeActionButton(g, QStringLiteral("READ"), readIcon(), 12, 20, QStringLiteral("Read Device"));
    ButErase =
        makeActionButton(g, QStringLiteral("ERASE"), eraseIcon(), 64, 20, QStringLiteral("Erase Device"));
    ButWrite =
        makeActionButton(g, QStringLiteral("WRITE"), writeIcon(), 116, 20, QStringLiteral("Write Device"));
    chkFlash =
        makeCheck(g, QStringLiteral("FLASH"), 12, 66, QStringLiteral("Read/Write Flash-Memory if checked"));
    chkEEP = makeCheck(g, QStringLiteral("EEPROM"), 12, 83, QStringLiteral("Read/Write EEPROM if checked"));
    chkFuses = makeCheck(g, QStringLiteral("Write Fuses"), 90, 67, QStringLiteral("Write FUSES if checked"));
    chkAutoErase =
        makeCheck(g, QStringLiteral("Auto Erase"), 90, 82, QStringLiteral("Erase Device before Write"));
    chkFlashAll = makeCheck(g, QStringLiteral("Flash All"), 90, 98,
                            QStringLiteral("Checked: Write FLASH up to Memory Top\r\n"
                                           "Unchecked: Write FLASH up to last used Memory"));
}

void TMain::createStatusBar() {
    StatusBar = new QFrame(this);
    StatusBar->setGeometry(0, kClientHeight - 21, kClientWidth, 21);

    QStringList devices;
    for (int n = 0; n < 8; ++n)
        devices << QStringLiteral("Device - %1").arg(n);
    cbDevice = makeList(StatusBar, devices, 0, 0, 89, QStringLiteral("Select Device-Number"));
    setBackground(cbDevice, kSelectorGray);
    QStringList controllers;
    for (const ChipVariant& variant : kChipVariants)
        controllers << QString::fromLatin1(variant.listName);
    cbController = makeList(StatusBar, controllers, 92, 0, 121, QStringLiteral("Select Device Type"));
    setBackground(cbController, kSelectorGray);
    // Only a choice by the user renews the images, and only a real change:
    // picking the type that is already selected keeps the images.
    connect(cbController, &QComboBox::activated, this, [this](int index) {
        if (index != imagesController_)
            cbControllerChange();
    });

    PanStat = new QLabel(StatusBar);
    PanStat->setGeometry(216, 0, 326, 21);
    PanStat->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanStat->setFont(sansFont(8, true));
    PanStat->setIndent(4);
    setTextColor(PanStat, kNavy);

    PBar = new SegmentedProgressBar(StatusBar);
    PBar->setGeometry(544, 0, 202, 21);
    PBar->setTotal(100);
    PBar->setCompleted(0);
    PBar->setPercentageVisible(false);
}

// ---------------------------------------------------------------------------
// Life

void TMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shown_ && !event->spontaneous()) {
        shown_ = true;
        FormShow();
    }
}

void TMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange)
        suitFixedTextColours(this);
}

void TMain::closeEvent(QCloseEvent* event) {
    if (closeDuringOperation()) {
        event->ignore();
        return;
    }
    closeAfterOperation_ = false;
    FormClose();
    event->accept();
    // The debug log goes with the main window, so that closing the main
    // window always ends the program.
    if (debug_)
        debug_->close();
}

void TMain::FormShow() {
    VersionCode = corvane::VersionCode;
    ExeDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    Installed = isInstalledProgram(QCoreApplication::applicationFilePath());
    InitSettingsFile();
    // File dialogs with an empty start folder open in the current directory
    // (the dialogs' own default).
    setWindowTitle(titleText());
    SettingsReadOnly = startedWithArguments();
    Timer1->setInterval(10);
    Timer1->start();
}

void TMain::Startup() {
    Timer1->stop();
    ClearDeviceInfo();
    EnableControls(true);
    ApplyConfigSettings();
    NewImages();
    LoadRecentLists();
    ready_ = true;
    ProcessMessages();
}

void TMain::FormClose() {
    if (!SettingsReadOnly)
        StoreConfigSettings();
    CloseDevice();
}

void TMain::CapButClick() {
    TAbout about(windowTitle(), this);
    about.exec();
}

void TMain::BringToFront() {
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void TMain::ProcessMessages() {
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------
// Settings steps (InitSettingsFile, ApplyConfigSettings, StoreConfigSettings,
// LoadRecentLists, StoreRecentListsAtExit): main_window_files.cpp.

// ---------------------------------------------------------------------------
// Memory images

void TMain::NewImages() {
    const int controller = cbController->currentIndex();
    Images.FlashImage.resize(flashSizeForController(controller));
    FlashDump->setDataSize(Images.FlashImage.size());
    std::fill(Images.FlashImage.begin(), Images.FlashImage.end(), kErased);
    RefreshFlashView();
    EEPDump->setDataSize(kEepromSize);
    Images.EepromImage.assign(kEepromSize, kErased);
    RefreshEepromView();
    imagesController_ = controller;
    FlashDump->setFocus();
    ClearDeviceInfo();
    FlashName->clear();
    EEPName->clear();
}

void TMain::RefreshFlashView() {
    FlashDump->refresh(Images.FlashImage);
    ProcessMessages();
}

void TMain::RefreshEepromView() {
    EEPDump->refresh(Images.EepromImage);
    ProcessMessages();
}

void TMain::cbControllerChange() {
    NewImages();
}

// ---------------------------------------------------------------------------
// Device displays and operation controls

// ClearDeviceInfo, EnableControls and CloseDevice: main_window_ops.cpp.

} // namespace corvane
