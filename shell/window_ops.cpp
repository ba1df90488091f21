// SPDX-License-Identifier: GPL-3.0-or-later
// The window's operations: the frame, the identification, READ, ERASE and RUN
// (WRITE and its fuse step are in window_write.cpp).

#include "shell/window_ops.h"

#include "shell/hex_field.h"
#include "shell/window_failure.h"

#include <array>

namespace corvane {

namespace {

QString hex4(unsigned value) {
    return QString::number(value & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// Runs a step that must happen on every way out of a scope.
template <typename F> class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

// The configuration fields the fuse step takes its bytes from, and the HSB.
constexpr std::array kConfigFields{Ctl::LabHSB, Ctl::EdBSB,  Ctl::EdEB,  Ctl::EdSBV,
                                   Ctl::EdP1CF, Ctl::EdP3CF, Ctl::EdP4CF};

} // namespace

TOperations::TOperations(DeviceLink& link, MemoryImages& images, OpsView& view)
    : images_(images), view_(view), session_(link, SessionHooks{[this] { return view_.stopRequested(); },
                                                                [this](int us) { pollPause(us); }}) {
    Hr.Resolution = 1;
    Hr.Accuracy = 0;
    Hr.UseTSC = true;
    Hr.Enabled = true;
    // A change by the user makes a configuration field the user's own.
    Controls.setUserListener([this](Ctl c) {
        const bool hsb = c == Ctl::cbOsc || c == Ctl::chkBLJB || c == Ctl::chkX2;
        untouched_.erase(hsb ? Ctl::LabHSB : c);
    });
}

void TOperations::pollPause(int us) {
    // A wait the chip asked for between its status answers: the window goes
    // on painting through one of a millisecond or more.
    if (us >= 1000)
        view_.pause(us / 1000);
    else
        Hr.Wait(us);
}

void TOperations::showStatus(const QString& text) {
    view_.setStatusText(text);
    view_.processMessages();
}

void TOperations::progressTotal(int total) {
    PBar.setTotal(total);
    PBar.setPercentageShown(true);
    view_.progressChanged(PBar);
}

void TOperations::progressCompleted(int completed) {
    PBar.setCompleted(completed);
    view_.progressChanged(PBar);
    view_.processMessages();
}

void TOperations::CloseDevice() {
    view_.setStatusText(QString());
    view_.processMessages();
    session_.close();
}

std::size_t flashWriteLength(const TBuffer& image, bool flashAll) {
    return totalLength(blockPlan(image, flashAll).frames);
}

void TOperations::fail(const OpResult& result, const QString& text) const {
    throw WindowFailure(ShownResult::of(result, text));
}

void TOperations::fail(ErrorKind kind, OpStep step, const QString& text, std::uint32_t address) const {
    fail(OpResult::failure(kind, step, address), text);
}

void TOperations::check(const OpResult& result, const char* blockText) const {
    if (result.ok())
        return;
    if (result.kind == ErrorKind::Cancelled || !blockText)
        fail(result, QString());
    // A block refused while the device is known to be locked.
    const bool locked = securityRead_ && SecurityLevel != kNotLocked;
    OpResult shown = result;
    shown.kind = locked ? ErrorKind::Locked : ErrorKind::TransferFailed;
    fail(shown, QString::fromLatin1(blockText) + LockNote);
}

// --- identification ---------------------------------------------------------

void TOperations::openDevice() {
    const OpResult opened = session_.open(Controls.index(Ctl::cbDevice));
    switch (opened.kind) {
    case ErrorKind::None:
        return;
    case ErrorKind::NoDevice:
        fail(opened, QStringLiteral("USB-Device not found!"));
    case ErrorKind::AccessDenied:
        fail(opened,
             QStringLiteral("USB-Device not found!") + QString::fromLatin1(OpsText::kAccessDeniedNote));
    case ErrorKind::InUse:
        fail(opened, QStringLiteral("device %1 is in use by another program").arg(session_.device()));
    case ErrorKind::Cancelled:
        fail(opened, QString());
    default:
        break;
    }
    // The descriptor could not be read or names another device: the
    // identifiers come from the descriptor last read.
    OpResult refused = opened;
    refused.kind = ErrorKind::NotBootloader;
    fail(refused, QStringLiteral("No 89C513x Bootloader found!\rVendor-ID: ") + hex4(session_.vendorId()) +
                      QStringLiteral("\rProduct-ID: ") + hex4(session_.productId()));
}

// Every read is shown as it comes, a failed one as the failure code of the
// link's integer results; a failed one is remembered.
ByteOutcome TOperations::readByte(ConfigId id) {
    ByteOutcome r = session_.readByte(id);
    if (r.result.kind == ErrorKind::Cancelled)
        fail(r.result, QString());
    if (!r.value)
        FailedReads << QString::fromLatin1(configByte(id).name);
    return r;
}

int TOperations::shown(const ByteOutcome& r) {
    return r.value ? int(*r.value) : r.result.command.code();
}

void TOperations::readIdentification() {
    auto read = [this](ConfigId id) { return shown(readByte(id)); };
    static constexpr std::array kLabels{Ctl::LabManufacturer, Ctl::LabFamily, Ctl::LabProduct,
                                        Ctl::LabRevision};
    for (std::size_t i = 0; i < kLabels.size(); ++i)
        Controls.setText(kLabels[i], identificationText(read(kIdentificationBytes[i])));
    Controls.setText(Ctl::LabBootVersion, bootVersionText(read(ConfigId::BootVersion)));

    const int ssb = read(ConfigId::SSB);
    SecurityLevel = static_cast<std::uint8_t>(ssb & 3);
    securityRead_ = session_.bytes().get(ConfigId::SSB).has_value();
}

void TOperations::readConfiguration() {
    unread_.clear();
    const ByteOutcome hsbRead = readByte(ConfigId::HSB);
    const auto hsb = static_cast<std::uint8_t>(shown(hsbRead) & 0xFF);
    Controls.setText(Ctl::LabHSB, formatHexValue(hsb, 2));
    const HsbControls decoded = decodeHsb(hsb);
    // The list runs no handler; a check box that changes state recomposes LabHSB.
    Controls.setIndex(Ctl::cbOsc, decoded.oscIndex);
    Controls.setChecked(Ctl::chkBLJB, decoded.bljbChecked);
    Controls.setChecked(Ctl::chkX2, decoded.x2Checked);
    // The HSB is composed of three controls: changing one of them does not
    // make the others' bits read, so it stays refused until read again.
    if (!hsbRead.value)
        unread_[Ctl::LabHSB] = QString();

    static constexpr std::array kFields{Ctl::EdBSB,  Ctl::EdEB,   Ctl::EdSBV,
                                        Ctl::EdP1CF, Ctl::EdP3CF, Ctl::EdP4CF};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const ByteOutcome r = readByte(kConfigReadOrder[i + 1]);
        Controls.setHexValue(kFields[i], shown(r));
        if (!r.value)
            unread_[kFields[i]] = Controls.text(kFields[i]);
    }
    untouched_.clear();

    Controls.setIndex(Ctl::cbSSB, ssbItemForLevel(SecurityLevel));

    LockNote.clear();
    if (SecurityLevel != kNotLocked)
        LockNote = QString::fromLatin1(OpsText::kLockNote);
}

void TOperations::ReadDeviceInfo(bool ReadConfig) {
    showStatus(QStringLiteral("Reading device informations..."));
    view_.pause(200);
    FailedReads.clear();
    openDevice();
    readIdentification();
    if (ReadConfig)
        readConfiguration();
}

void TOperations::ClearDeviceInfo() {
    for (Ctl c : {Ctl::LabManufacturer, Ctl::LabFamily, Ctl::LabProduct, Ctl::LabRevision})
        Controls.setText(c, QStringLiteral("--"));
    Controls.setText(Ctl::LabBootVersion, QStringLiteral("-.-.-"));

    Controls.setIndex(Ctl::cbOsc, 0);
    Controls.setChecked(Ctl::chkBLJB, true);
    Controls.setChecked(Ctl::chkX2, false);
    Controls.HsbChange();

    Controls.setHexValue(Ctl::EdBSB, 0xFF);
    Controls.setHexValue(Ctl::EdEB, 0xFF);
    Controls.setHexValue(Ctl::EdSBV, 0xFF);
    Controls.setHexValue(Ctl::EdP1CF, 0xFE);
    Controls.setHexValue(Ctl::EdP3CF, 0xFF);
    Controls.setHexValue(Ctl::EdP4CF, 0xFF);
    unread_.clear();
    untouched_ = {kConfigFields.begin(), kConfigFields.end()};

    Controls.setIndex(Ctl::cbSSB, 0);

    PBar.setCompleted(0);
    PBar.setPercentageShown(false);
    view_.progressChanged(PBar);
}

void TOperations::EnableControls(bool enable) {
    static constexpr std::array kLocked{Ctl::ButRead,     Ctl::ButErase,     Ctl::ButWrite,    Ctl::chkFlash,
                                        Ctl::chkEEP,      Ctl::chkAutoErase, Ctl::chkFlashAll, Ctl::chkFuses,
                                        Ctl::ButRun,      Ctl::chkReset,     Ctl::EdStart,     Ctl::cbDevice,
                                        Ctl::cbController};
    for (Ctl c : kLocked)
        Controls.setEnabled(c, enable);
    if (enable)
        Controls.chkResetClick();
    view_.operationRunning(!enable);
}

// --- the frame --------------------------------------------------------------

ShownResult TOperations::runFrame(bool resetsProgress, const std::function<void()>& body) {
    busy_ = true;
    // Whatever ends the body, the channel is closed and the controls come back.
    Finally tidyUp([this, resetsProgress] {
        CloseDevice();
        EnableControls(true);
        if (resetsProgress) {
            PBar.setCompleted(0);
            PBar.setPercentageShown(false);
            view_.progressChanged(PBar);
        }
        busy_ = false;
    });
    try {
        body();
    } catch (const WindowFailure& e) {
        const ShownResult& result = e.result();
        if (result.kind == ErrorKind::Cancelled)
            return result;
        const bool input = result.kind == ErrorKind::BadInput;
        // What the link knows of the failure, with the USB library's own words.
        if (!input && !result.linkError.empty())
            view_.addDebugLine(QString::fromStdString(result.linkError));
        ShowMessageBox(view_.messagePresenter(),
                       QString::fromLatin1(input ? OpsText::kInputErrorCaption : OpsText::kUsbErrorCaption),
                       result.message, MessageKind::Error, MessageButton::Abort, true);
        return result;
    }
    return {};
}

// --- READ -------------------------------------------------------------------

void TOperations::readMemory(MemKind kind) {
    const bool flash = kind == MEM_FLASH;
    TBuffer& image = images_.image(kind);
    const std::size_t block = flash ? kFlashBlock : kEepromBlock;
    progressTotal(int(image.size() / block) - 1);
    showStatus(flash ? QStringLiteral("Reading Flash-Memory...") : QStringLiteral("Reading EEPROM..."));
    // Each block lands in the image as it comes; the view shows them once all have.
    check(session_.read(kind, {{0, std::uint32_t(image.size())}}, image, block,
                        [this](std::size_t b, std::size_t) { progressCompleted(int(b)); }),
          flash ? "Flash-Memory Read Error!" : "EEPROM Read Error!");
    view_.refreshView(kind);
}

ShownResult TOperations::Read(const ReadRequest& request) {
    if (busy_)
        return {};
    ClearDeviceInfo();
    EnableControls(false);
    return runFrame(true, [this, request] {
        view_.addHexLine(static_cast<std::int32_t>(images_.FlashImage.size() / kFlashBlock));
        ReadDeviceInfo(true);
        if (request.flash)
            readMemory(MEM_FLASH);
        if (request.eeprom)
            readMemory(MEM_EEPROM);
    });
}

ShownResult TOperations::ButReadClick() {
    return Read(ReadRequest{Controls.checked(Ctl::chkFlash), Controls.checked(Ctl::chkEEP)});
}

// --- ERASE ------------------------------------------------------------------

void TOperations::eraseChip() {
    showStatus(QStringLiteral("Erasing Device..."));
    const OpResult erased = session_.erase();
    if (erased.kind == ErrorKind::Cancelled)
        fail(erased, QString());
    if (!erased.ok())
        fail(erased, QStringLiteral("Error erasing device!"));
}

ShownResult TOperations::Erase(const EraseRequest&) {
    if (busy_)
        return {};
    EnableControls(false);
    return runFrame(false, [this] {
        ReadDeviceInfo(true);
        eraseChip();
        CloseDevice();
        ReadDeviceInfo(true);
    });
}

ShownResult TOperations::ButEraseClick() {
    return Erase();
}

// --- RUN --------------------------------------------------------------------

ShownResult TOperations::Start(const StartRequest& request) {
    if (busy_)
        return {};
    EnableControls(false);
    return runFrame(false, [this, &request] {
        ReadDeviceInfo(true);
        if (!request.problem.ok())
            throw WindowFailure(request.problem);
        const std::uint16_t address = request.reset ? 0 : request.address;
        const OpResult started = session_.start(request.reset ? StartMode::Reset : StartMode::Jump, address);
        if (started.kind == ErrorKind::Cancelled)
            fail(started, QString());
        if (!started.ok())
            fail(started, QStringLiteral("Error starting application!"));
    });
}

ShownResult TOperations::ButRunClick() {
    if (busy_)
        return {};
    StartRequest request;
    request.reset = Controls.checked(Ctl::chkReset);
    if (!request.reset) {
        if (const auto address = Controls.hexValue(Ctl::EdStart))
            request.address = static_cast<std::uint16_t>(*address & 0xFFFF);
        else
            request.problem = ShownResult::of(OpResult::failure(ErrorKind::BadInput, OpStep::Start),
                                              QStringLiteral("RUN-Address: no valid hexadecimal number"));
    }
    return Start(request);
}

} // namespace corvane
