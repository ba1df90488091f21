// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/operations.h"

#include "ops/config_bytes.h"
#include "ops/hex_field.h"

#include <array>

namespace corvane {

namespace {

constexpr std::uint16_t kBootVendor = 0x03EB;
constexpr std::uint16_t kBootProduct = 0x2FFD;
constexpr int kFlashBlock = 1024;
constexpr int kEepromBlock = 256;
constexpr int kEepromBlocks = 4;

QString hex4(unsigned value) {
    return QString::number(value & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString noNumberText(const char* field) {
    return QString::fromLatin1(field) + QStringLiteral(": no valid hexadecimal number");
}

QString unreadText(const char* field) {
    return QString::fromLatin1(field) + QStringLiteral(": value not read from the device");
}

std::uint32_t configAddress(ConfigByte where) {
    return std::uint32_t(where.area) << 8 | where.index;
}

[[noreturn]] void fail(ErrorKind kind, OpStep step, const QString& text, std::uint32_t address = 0) {
    throw OpFailure(OpResult::failure(kind, step, text, address));
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

} // namespace

TOperations::TOperations(TUsb& usb, MemoryImages& images, OpsView& view)
    : usb_(usb), images_(images), view_(view) {
    UsbHooks& hooks = usb_.hooks();
    hooks.deviceNumber = [this] { return Controls.index(Ctl::cbDevice); };
    hooks.clearStatus = [this] { view_.setStatusText(QString()); };
    hooks.processMessages = [this] { view_.processMessages(); };
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
    usb_.CloseDevice();
}

std::size_t flashWriteLength(const TBuffer& image, bool flashAll) {
    std::size_t used = image.size();
    if (!flashAll) {
        while (used > 0 && image[used - 1] == kErased)
            --used;
    }
    return (used + kFlashBlock - 1) / kFlashBlock * kFlashBlock;
}

// --- identification ---------------------------------------------------------

void TOperations::stopPoint(OpStep step) {
    if (view_.stopRequested())
        throw OpFailure(OpResult::failure(ErrorKind::Cancelled, step, QString()));
}

std::optional<std::uint8_t> TOperations::deviceByte(ConfigByte where) const {
    const auto found = deviceBytes_.find(configAddress(where));
    if (found == deviceBytes_.end())
        return std::nullopt;
    return found->second;
}

void TOperations::ReadDeviceInfo(bool ReadConfig) {
    showStatus(QStringLiteral("Reading device informations..."));
    view_.pause(200);
    FailedReads.clear();
    stopPoint(OpStep::Open);

    if (!usb_.OpenDevice()) {
        // The link answers for its last open; with no device number selected
        // there was none.
        const int number = usb_.hooks().deviceNumber ? usb_.hooks().deviceNumber() : -1;
        if (number >= 0 && usb_.link().lastOpenDenied())
            fail(ErrorKind::AccessDenied, OpStep::Open,
                 QStringLiteral("USB-Device not found!") + QString::fromLatin1(OpsText::kAccessDeniedNote));
        if (number >= 0 && usb_.link().lastOpenFailure() == OpenFailure::Busy)
            fail(ErrorKind::InUse, OpStep::Open,
                 QStringLiteral("device %1 is in use by another program").arg(number));
        fail(ErrorKind::NoDevice, OpStep::Open, QStringLiteral("USB-Device not found!"));
    }

    const int vendor = usb_.GetDeviceDescriptor();
    const unsigned storedVendor = usb_.DevDesc[8] | (usb_.DevDesc[9] << 8);
    const unsigned storedProduct = usb_.DevDesc[10] | (usb_.DevDesc[11] << 8);
    if (vendor < 0 || vendor != kBootVendor || storedProduct != kBootProduct) {
        fail(ErrorKind::NotBootloader, OpStep::Identify,
             QStringLiteral("No 89C513x Bootloader found!\rVendor-ID: ") + hex4(storedVendor) +
                 QStringLiteral("\rProduct-ID: ") + hex4(storedProduct));
    }

    // Every read is shown as it comes, a failed one as the failure code of
    // the link's integer results; a failed one is remembered.
    auto read = [this](ConfigByte where, const char* name, OpStep step) {
        stopPoint(step);
        const ByteRead r = usb_.frames().readConfigByte(where.area, where.index);
        if (r.result.ok()) {
            deviceBytes_[configAddress(where)] = r.value;
        } else {
            deviceBytes_.erase(configAddress(where));
            FailedReads << QString::fromLatin1(name);
        }
        return r;
    };
    auto shown = [](const ByteRead& r) { return r.result.ok() ? int(r.value) : r.result.code(); };
    auto ident = [&read, &shown](ConfigByte where, const char* name) {
        return shown(read(where, name, OpStep::Identify));
    };

    Controls.setText(Ctl::LabManufacturer,
                     identificationText(ident(ConfigMap::Manufacturer, "Manufacturer")));
    Controls.setText(Ctl::LabFamily, identificationText(ident(ConfigMap::Family, "Family")));
    Controls.setText(Ctl::LabProduct, identificationText(ident(ConfigMap::Product, "Product")));
    Controls.setText(Ctl::LabRevision, identificationText(ident(ConfigMap::Revision, "Revision")));
    Controls.setText(Ctl::LabBootVersion,
                     bootVersionText(ident(ConfigMap::BootVersion, "Bootloader Version")));

    const ByteRead ssb = read(ConfigMap::SSB, "SSB", OpStep::Identify);
    SecurityLevel = static_cast<std::uint8_t>(shown(ssb) & 3);
    securityRead_ = ssb.result.ok();

    if (!ReadConfig)
        return;
    unread_.clear();

    const ByteRead hsbRead = read(ConfigMap::HSB, "HSB", OpStep::ReadConfig);
    const auto hsb = static_cast<std::uint8_t>(shown(hsbRead) & 0xFF);
    HsbRead = hsb;
    Controls.setText(Ctl::LabHSB, formatHexValue(hsb, 2));
    const HsbControls decoded = decodeHsb(hsb);
    // The list runs no handler; a check box that changes state recomposes LabHSB.
    Controls.setIndex(Ctl::cbOsc, decoded.oscIndex);
    Controls.setChecked(Ctl::chkBLJB, decoded.bljbChecked);
    Controls.setChecked(Ctl::chkX2, decoded.x2Checked);
    // The HSB is composed of three controls: changing one of them does not
    // make the others' bits read, so it stays refused until read again.
    if (!hsbRead.result.ok())
        unread_[Ctl::LabHSB] = QString();

    struct Field {
        Ctl field;
        ConfigByte where;
        const char* name;
    };
    static constexpr std::array kFields{
        Field{Ctl::EdBSB, ConfigMap::BSB, "BSB"},     Field{Ctl::EdEB, ConfigMap::EB, "EB"},
        Field{Ctl::EdSBV, ConfigMap::SBV, "SBV"},     Field{Ctl::EdP1CF, ConfigMap::P1CF, "P1_CF"},
        Field{Ctl::EdP3CF, ConfigMap::P3CF, "P3_CF"}, Field{Ctl::EdP4CF, ConfigMap::P4CF, "P4_CF"},
    };
    for (const Field& f : kFields) {
        const ByteRead r = read(f.where, f.name, OpStep::ReadConfig);
        Controls.setHexValue(f.field, shown(r));
        if (!r.result.ok())
            unread_[f.field] = Controls.text(f.field);
    }

    Controls.setIndex(Ctl::cbSSB, ssbItemForLevel(SecurityLevel));

    LockNote.clear();
    if (SecurityLevel != kNotLocked)
        LockNote = QString::fromLatin1(OpsText::kLockNote);
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

OpResult TOperations::runFrame(bool resetsProgress, const std::function<void()>& body) {
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
    } catch (const OpFailure& e) {
        const OpResult& result = e.result();
        if (result.kind == ErrorKind::Cancelled)
            return result;
        const bool input = result.kind == ErrorKind::BadInput;
        const bool verify = result.kind == ErrorKind::VerifyMismatch;
        if (!input && !verify) {
            // What the link knows of the failure, with libusb's own error name.
            const std::string why = usb_.link().lastError();
            if (!why.empty())
                view_.addDebugLine(QString::fromStdString(why));
        }
        const char* caption = input    ? OpsText::kInputErrorCaption
                              : verify ? OpsText::kVerifyErrorCaption
                                       : OpsText::kUsbErrorCaption;
        ShowMessageBox(view_.messagePresenter(), QString::fromLatin1(caption), result.message,
                       MessageKind::Error, MessageButton::Abort, true);
        return result;
    }
    return {};
}

void TOperations::blockFailed(OpStep step, std::uint32_t address, const char* text) {
    const bool locked = securityRead_ && SecurityLevel != kNotLocked;
    fail(locked ? ErrorKind::Locked : ErrorKind::TransferFailed, step, QString::fromLatin1(text) + LockNote,
         address);
}

// --- READ -------------------------------------------------------------------

void TOperations::readBlocks(MemKind kind, std::size_t length, OpStep step) {
    const bool flash = kind == MEM_FLASH;
    const int size = flash ? kFlashBlock : kEepromBlock;
    const int blocks = static_cast<int>(length / std::size_t(size));
    progressTotal(blocks - 1);
    showStatus(flash ? QStringLiteral("Reading Flash-Memory...") : QStringLiteral("Reading EEPROM..."));
    for (int b = 0; b < blocks; ++b) {
        progressCompleted(b);
        stopPoint(step);
        const auto address = static_cast<std::uint16_t>(b * size);
        // The status after the first block tells a refused read; the later
        // blocks go without it.
        const auto check = b == 0 ? BootFrames::StatusCheck::Before : BootFrames::StatusCheck::OnFailure;
        if (!usb_.readBlock(address, static_cast<std::uint16_t>(size), kind, check).ok())
            blockFailed(step, address, flash ? "Flash-Memory Read Error!" : "EEPROM Read Error!");
    }
}

void TOperations::readMemory(MemKind kind) {
    const bool flash = kind == MEM_FLASH;
    readBlocks(kind, flash ? images_.FlashImage.size() : std::size_t(kEepromBlocks * kEepromBlock),
               flash ? OpStep::ReadFlash : OpStep::ReadEeprom);
    view_.refreshView(kind);
}

OpResult TOperations::Read(const ReadRequest& request) {
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

OpResult TOperations::Identify() {
    return Read(ReadRequest{false, false});
}

OpResult TOperations::ButReadClick() {
    return Read(ReadRequest{Controls.checked(Ctl::chkFlash), Controls.checked(Ctl::chkEEP)});
}

// --- ERASE ------------------------------------------------------------------

void TOperations::eraseChip() {
    showStatus(QStringLiteral("Erasing Device..."));
    stopPoint(OpStep::Erase);
    if (!usb_.eraseChip().ok())
        fail(ErrorKind::TransferFailed, OpStep::Erase, QStringLiteral("Error erasing device!"));
}

OpResult TOperations::Erase(const EraseRequest&) {
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

OpResult TOperations::ButEraseClick() {
    return Erase();
}

// --- WRITE ------------------------------------------------------------------

void TOperations::writeFlash(const TBuffer& image, bool flashAll) {
    images_.FlashImage = image;
    const std::size_t length = flashWriteLength(image, flashAll);
    if (length == 0)
        return;
    const int blocks = static_cast<int>(length / kFlashBlock);
    progressTotal(blocks);
    showStatus(QStringLiteral("Writing Flash-Memory..."));
    for (int b = 0; b < blocks; ++b) {
        progressCompleted(b + 1);
        stopPoint(OpStep::ProgramFlash);
        const auto address = static_cast<std::uint16_t>(b * kFlashBlock);
        if (!usb_.programBlock(address, kFlashBlock, MEM_FLASH).ok())
            blockFailed(OpStep::ProgramFlash, address, "Flash-Memory Write Error!");
    }
}

void TOperations::writeEeprom(const TBuffer& image) {
    images_.EepromImage = image;
    progressTotal(kEepromBlocks - 1);
    showStatus(QStringLiteral("Writing EEPROM..."));
    view_.pause(100);
    for (int i = 0; i < kEepromBlocks; ++i) {
        progressCompleted(i);
        stopPoint(OpStep::ProgramEeprom);
        const auto address = static_cast<std::uint16_t>(i * kEepromBlock);
        if (!usb_.programBlock(address, kEepromBlock, MEM_EEPROM).ok())
            blockFailed(OpStep::ProgramEeprom, address, "EEPROM Write Error!");
    }
}

Difference compareImages(const TBuffer& expected, const TBuffer& actual, std::size_t length) {
    Difference d;
    for (std::size_t a = 0; a < length; ++a) {
        if (expected[a] != actual[a]) {
            if (d.count == 0)
                d.first = a;
            ++d.count;
        }
    }
    return d;
}

void TOperations::verifyMemories(const WriteRequest& request) {
    // The read-back lands in the images; they hold what was written again
    // afterwards, also when the read fails.
    Finally restore([this, &request] {
        if (request.flash)
            images_.FlashImage = *request.flash;
        if (request.eeprom)
            images_.EepromImage = *request.eeprom;
    });
    QStringList report;
    OpStep step = OpStep::None;
    std::uint32_t address = 0;
    auto check = [&](MemKind kind, const TBuffer& written, std::size_t length, OpStep verifyStep) {
        if (length == 0)
            return;
        readBlocks(kind, length, verifyStep);
        const Difference d = compareImages(written, images_.image(kind), length);
        if (d.count == 0)
            return;
        report << QStringLiteral("%1 Verify Error!\rFirst difference at %2, %3 byte(s) differ")
                      .arg(kind == MEM_FLASH ? QStringLiteral("Flash-Memory") : QStringLiteral("EEPROM"),
                           formatHexValue(std::int64_t(d.first), 4))
                      .arg(d.count);
        if (step == OpStep::None) {
            step = verifyStep;
            address = std::uint32_t(d.first);
        }
    };
    if (request.flash)
        check(MEM_FLASH, *request.flash, flashWriteLength(*request.flash, request.flashAll),
              OpStep::VerifyFlash);
    if (request.eeprom)
        check(MEM_EEPROM, *request.eeprom, request.eeprom->size(), OpStep::VerifyEeprom);
    if (!report.isEmpty())
        fail(ErrorKind::VerifyMismatch, step, report.join(QLatin1Char('\r')), address);
}

OpResult TOperations::Write(const WriteRequest& request) {
    if (busy_)
        return {};
    EnableControls(false);
    return runFrame(true, [this, &request] {
        // Images of another size than the controller's cannot be written whole.
        if (request.flash && request.flash->size() != images_.FlashImage.size())
            fail(ErrorKind::BadInput, OpStep::ProgramFlash,
                 QStringLiteral("The FLASH image does not fit the controller's memory."));
        if (request.eeprom && request.eeprom->size() != images_.EepromImage.size())
            fail(ErrorKind::BadInput, OpStep::ProgramEeprom,
                 QStringLiteral("The EEPROM image does not fit the controller's memory."));
        ReadDeviceInfo(false);
        if (request.config)
            checkConfig(*request.config);

        if (request.flash && request.erase) {
            eraseChip();
            CloseDevice();
            ReadDeviceInfo(false);
            // The erase may have lifted the lock.
            if (request.config)
                checkConfig(*request.config);
        }
        if (request.flash)
            writeFlash(*request.flash, request.flashAll);
        if (request.eeprom)
            writeEeprom(*request.eeprom);
        if (request.verify)
            verifyMemories(request);
        if (request.config)
            writeConfig(*request.config);
    });
}

OpResult TOperations::ButWriteClick() {
    if (busy_)
        return {};
    WriteRequest request;
    // What the views show, edits included, is what is written.
    if (Controls.checked(Ctl::chkFlash)) {
        view_.takeViewIntoImage(MEM_FLASH);
        request.flash = images_.FlashImage;
    }
    if (Controls.checked(Ctl::chkEEP)) {
        view_.takeViewIntoImage(MEM_EEPROM);
        request.eeprom = images_.EepromImage;
    }
    request.erase = Controls.checked(Ctl::chkAutoErase);
    request.flashAll = Controls.checked(Ctl::chkFlashAll);
    if (Controls.checked(Ctl::chkFuses))
        request.config = configFromControls();
    return Write(request);
}

std::uint8_t TOperations::fieldByte(Ctl field, const char* name) const {
    const auto value = Controls.hexValue(field);
    if (!value)
        fail(ErrorKind::BadInput, OpStep::WriteFuses, noNumberText(name));
    // A byte that came from a failed read is never written back.
    if (const auto u = unread_.find(field);
        u != unread_.end() && (field == Ctl::LabHSB || u->second == Controls.text(field)))
        fail(ErrorKind::BadInput, OpStep::WriteFuses, unreadText(name));
    return static_cast<std::uint8_t>(*value & 0xFF);
}

ConfigRequest TOperations::configFromControls() const {
    ConfigRequest config;
    config.ssb = ssbValueForItem(Controls.index(Ctl::cbSSB));
    try {
        config.bytes = {
            fieldByte(Ctl::EdEB, "EB"),      fieldByte(Ctl::EdBSB, "BSB"),    fieldByte(Ctl::EdSBV, "SBV"),
            fieldByte(Ctl::LabHSB, "HSB"),   fieldByte(Ctl::EdP1CF, "P1_CF"), fieldByte(Ctl::EdP3CF, "P3_CF"),
            fieldByte(Ctl::EdP4CF, "P4_CF"),
        };
    } catch (const OpFailure& e) {
        config.problem = e.result();
    }
    return config;
}

void TOperations::checkConfig(const ConfigRequest& config) const {
    // A failed read of the security byte leaves the lock state unknown.
    if (!securityRead_)
        fail(ErrorKind::TransferFailed, OpStep::Identify, unreadText("SSB"), configAddress(ConfigMap::SSB));
    if (SecurityLevel == kNotLocked && !config.problem.ok())
        throw OpFailure(config.problem);
}

void TOperations::writeConfig(const ConfigRequest& config) {
    showStatus(QStringLiteral("Writing Fuses..."));
    view_.pause(200);
    checkConfig(config);

    if (SecurityLevel == kNotLocked) {
        static_assert(std::tuple_size_v<decltype(config.bytes)> == kFuseOrder.size());
        for (std::size_t i = 0; i < kFuseOrder.size(); ++i) {
            const FuseStep& step = kFuseOrder[i];
            stopPoint(OpStep::WriteFuses);
            const CommandResult result =
                usb_.writeConfigByte(step.where.area, step.where.index, config.bytes[i]);
            if (!result.ok())
                fail(ErrorKind::TransferFailed, OpStep::WriteFuses,
                     QStringLiteral("Can't write %1 (%2)").arg(QLatin1String(step.name)).arg(result.code()),
                     configAddress(step.where));
        }
    }

    if (config.ssb) {
        stopPoint(OpStep::WriteSecurity);
        if (!usb_.writeConfigByte(ConfigMap::SSB.area, ConfigMap::SSB.index, *config.ssb).ok())
            fail(ErrorKind::TransferFailed, OpStep::WriteSecurity,
                 QStringLiteral("Can't write Security Flags!"), configAddress(ConfigMap::SSB));
    }
}

// --- RUN --------------------------------------------------------------------

OpResult TOperations::Start(const StartRequest& request) {
    if (busy_)
        return {};
    EnableControls(false);
    return runFrame(false, [this, &request] {
        ReadDeviceInfo(true);
        if (!request.problem.ok())
            throw OpFailure(request.problem);
        stopPoint(OpStep::Start);
        const std::uint8_t mode = request.reset ? 0 : 1;
        const std::uint16_t address = request.reset ? 0 : request.address;
        // Judged by the bus: a bootloader that leaves before the last
        // transfer completes has started the application.
        if (!usb_.frames().runApplication(mode, address).ok())
            fail(ErrorKind::TransferFailed, OpStep::Start, QStringLiteral("Error starting application!"),
                 address);
    });
}

OpResult TOperations::ButRunClick() {
    if (busy_)
        return {};
    StartRequest request;
    request.reset = Controls.checked(Ctl::chkReset);
    if (!request.reset) {
        if (const auto address = Controls.hexValue(Ctl::EdStart))
            request.address = static_cast<std::uint16_t>(*address & 0xFFFF);
        else
            request.problem = {ErrorKind::BadInput, OpStep::Start, 0, noNumberText("RUN-Address")};
    }
    return Start(request);
}

} // namespace corvane
