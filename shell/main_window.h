// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TMain: the main window. It holds every control, the two memory images with
// their hex views, and drives the program's life: FormShow on the first show,
// Startup from the one-shot Timer1, FormClose when the window closes.

#include "core/message_box.h"
#include "image/hex_view_widget.h"
#include "image/memory_images.h"
#include "link/device_link.h"
#include "shell/message_box_widget.h"
#include "shell/segmented_progress_bar.h"
#include "shell/settings.h"
#include "shell/split_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

namespace corvane {

class TDebug;

class TMain : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 746;
    static constexpr int kClientHeight = 527;

    explicit TMain(QWidget* parent = nullptr);
    ~TMain() override;

    // --- Groups ---
    QGroupBox* GrpFlash;
    QGroupBox* GrpEEP;
    QGroupBox* GrpConfig;
    QGroupBox* GrpStart;
    QGroupBox* GrpAction;

    // --- FLASH group ---
    SplitButton* FlashLoad;
    QMenu* FlashMruMenu; // drop-down of FlashLoad's arrow part: the FLASH recent files
    QToolButton* FlashSave;
    QLineEdit* FlashName;
    HexView* FlashDump;

    // --- EEPROM group ---
    SplitButton* EEPLoad;
    QMenu* EEPMruMenu; // drop-down of EEPLoad's arrow part: the EEPROM recent files
    QToolButton* EEPSave;
    QLineEdit* EEPName;
    HexView* EEPDump;

    // --- CONFIGURATION group ---
    QLabel* LabManufacturer;
    QLabel* LabFamily;
    QLabel* LabProduct;
    QLabel* LabRevision;
    QLabel* LabBootVersion;
    QComboBox* cbOsc;
    QLabel* LabHSB;
    QCheckBox* chkBLJB;
    QCheckBox* chkX2;
    QLineEdit* EdBSB;
    QLineEdit* EdEB;
    QLineEdit* EdSBV;
    QLineEdit* EdP1CF;
    QLineEdit* EdP3CF;
    QLineEdit* EdP4CF;
    QComboBox* cbSSB;

    // --- START APPLICATION group ---
    QToolButton* ButRun;
    QCheckBox* chkReset;
    QLineEdit* EdStart;

    // --- ACTION group ---
    QToolButton* ButRead;
    QToolButton* ButErase;
    QToolButton* ButWrite;
    QCheckBox* chkFlash;
    QCheckBox* chkEEP;
    QCheckBox* chkFuses;
    QCheckBox* chkAutoErase;
    QCheckBox* chkFlashAll;

    // --- Status bar ---
    QFrame* StatusBar;
    QComboBox* cbDevice;
    QComboBox* cbController;
    QLabel* PanStat;
    SegmentedProgressBar* PBar;

    // "INFO" button at the right end of the CONFIGURATION group's caption line.
    QPushButton* CapBut;

    // One-shot start-up timer (10 ms), armed by FormShow, runs Startup.
    QTimer* Timer1;

    // --- Program state ---
    MemoryImages Images;
    TBuffer& FlashImage() { return Images.FlashImage; }
    TBuffer& EepromImage() { return Images.EepromImage; }
    std::int32_t VersionCode = 0;
    QString ExeDir;
    // Run from the folder the program was installed to: the file dialogs
    // start in the folder last used for their memory, else the home folder,
    // never in the program's own folder.
    bool Installed = false;
    bool SettingsReadOnly = false;
    bool isReady() const { return ready_; }

    // The hidden debug log (created by the program entry after TMain).
    void setDebugWindow(TDebug* debug) { debug_ = debug; }
    TDebug* debugWindow() const { return debug_; }

    // Where message boxes go: the window's own modal boxes unless replaced
    // (tests pass a recorder).
    MessagePresenter& messagePresenter() { return presenter_ ? *presenter_ : widgetPresenter_; }
    void setMessagePresenter(MessagePresenter* presenter) { presenter_ = presenter; }

    // --- Life ---
    void FormShow();
    void Startup();
    void FormClose();
    void CapButClick();
    // Restores the window when minimised and brings it to the front (a
    // second copy of the program asks for this).
    void BringToFront();

    // --- Memory images ---
    void NewImages();
    void RefreshFlashView();
    void RefreshEepromView();
    void cbControllerChange();

    // --- Device displays and operation controls ---
    void ClearDeviceInfo();
    void EnableControls(bool enable);
    void CloseDevice();

    // Lets the window process pending messages (repaints while working).
    void ProcessMessages();

    // File commands and recent-file lists (main_window_files.cpp)
    // --- begin: file commands ---
    TIniSettings Ini;      // the settings file; a name set before the first show is kept
    TRecentFiles FlashMru; // FLASH files, newest first, stored in "FLASHLOAD"
    TRecentFiles EEPMru;   // EEPROM files, stored in "EEPLOAD"
    // The one open and the one save dialog, made at first use and kept for
    // the run (start folder and file type stay from one use to the next).
    QFileDialog* OpenDlg = nullptr;
    QFileDialog* SaveDlg = nullptr;
    // Shows a file dialog modally; true with the chosen name when the user
    // accepted. Tests put in a stand-in that answers at once.
    std::function<bool(QFileDialog& dialog, QString& chosen)> RunFileDialog;
    // The file module.
    class TFileIo& FileIo();

    void ButOpen0Click();
    void ButOpen1Click();
    void ButSave0Click();
    void ButSave1Click();
    void FlashMruClick(const QString& fileName, bool& Remove);
    void EEPMruClick(const QString& fileName, bool& Remove);

private:
    class FileCommands;
    FileCommands& fileCommands();
    void createFileCommands();
    void loadCommand(MemKind kind);
    void saveCommand(MemKind kind);
    bool confirmReplace(const QString& fileName);
    void chooseRecentFile(MemKind kind, int index);
    void rebuildRecentMenu(MemKind kind);
    void storeRecentList(MemKind kind);
    QFileDialog& openDialog();
    QFileDialog& saveDialog();
    QString installedStartFolder(MemKind kind) const;
    std::unique_ptr<FileCommands, void (*)(FileCommands*)> fileCommands_{nullptr, nullptr};

public:
    // --- end: file commands ---

    // Programming operations and configuration controls (main_window_ops.cpp)
    // --- begin: operations ---
    // The device link's backend for a run: the simulated bench for
    // "--simulate [folder]" (that state folder, else the one the environment
    // names), else the USB devices through libusb.
    static std::unique_ptr<DeviceLink> makeDeviceLink(const QStringList& arguments);
    void useDeviceLink(std::unique_ptr<DeviceLink> link);
    // The operations' core, its controls bound to the window's widgets.
    class TOperations& Ops();
    void ButReadClick();
    void ButEraseClick();
    void ButWriteClick();
    void ButRunClick();
    void HsbChange();
    void chkBLJBClick();
    void chkResetClick();
    // Whether READ, ERASE, WRITE or RUN is under way.
    bool operationRunning() const;

private:
    friend class OpsBinding;
    bool closeDuringOperation();
    bool closeAfterOperation_ = false; // the user chose to stop and close
    class OpsBinding& opsBinding();
    std::unique_ptr<class OpsBinding, void (*)(class OpsBinding*)> opsBinding_{nullptr, nullptr};

public:
    // --- end: operations ---

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createFlashGroup();
    void createEepromGroup();
    void createConfigGroup();
    void createStartGroup();
    void createActionGroup();
    void createStatusBar();

    // Settings steps; the settings file fills them in.
    void InitSettingsFile();       // FormShow: the settings file's path
    void ApplyConfigSettings();    // Startup: section "CONFIG" onto the controls
    void StoreConfigSettings();    // FormClose: the controls into "CONFIG"
    void LoadRecentLists();        // Startup: FlashMru, then EEPMru
    void StoreRecentListsAtExit(); // window destroyed: EEPMru, then FlashMru

    TDebug* debug_ = nullptr;
    WidgetMessagePresenter widgetPresenter_;
    MessagePresenter* presenter_ = nullptr;
    bool shown_ = false;
    bool ready_ = false;
    int imagesController_ = -2; // controller index the images were made for
};

} // namespace corvane
