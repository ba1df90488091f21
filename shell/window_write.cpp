// SPDX-License-Identifier: GPL-3.0-or-later
// The window's WRITE: FLASH, EEPROM and the fuse step.

#include "shell/hex_field.h"
#include "shell/window_failure.h"
#include "shell/window_ops.h"

#include <array>

namespace corvane {

namespace {

QString noNumberText(const char* field) {
    return QString::fromLatin1(field) + QStringLiteral(": no valid hexadecimal number");
}

QString unreadText(const char* field) {
    return QString::fromLatin1(field) + QStringLiteral(": value not read from the device");
}

// The field each byte of the fuse order is taken from.
constexpr std::array kFuseFields{Ctl::EdEB,   Ctl::EdBSB,  Ctl::EdSBV, Ctl::LabHSB,
                                 Ctl::EdP1CF, Ctl::EdP3CF, Ctl::EdP4CF};

} // namespace

void TOperations::writeFlash(const TBuffer& image, bool flashAll) {
    images_.FlashImage = image;
    const std::size_t length = flashWriteLength(image, flashAll);
    if (length == 0)
        return;
    progressTotal(int(length / kFlashBlock));
    showStatus(QStringLiteral("Writing Flash-Memory..."));
    // Every block goes whole, the 0xFF bytes at its end included.
    check(session_
              .program(MEM_FLASH, pieces(0, std::uint32_t(length), kFlashBlock), images_.FlashImage,
                       [this](std::size_t b, std::size_t) { progressCompleted(int(b) + 1); })
              .result,
          "Flash-Memory Write Error!");
}

void TOperations::writeEeprom(const TBuffer& image) {
    images_.EepromImage = image;
    const std::size_t blocks = image.size() / kEepromBlock;
    progressTotal(int(blocks) - 1);
    showStatus(QStringLiteral("Writing EEPROM..."));
    view_.pause(100);
    check(session_
              .program(MEM_EEPROM, pieces(0, std::uint32_t(image.size()), kEepromBlock), images_.EepromImage,
                       [this](std::size_t b, std::size_t) { progressCompleted(int(b)); })
              .result,
          "EEPROM Write Error!");
}

ShownResult TOperations::Write(const WriteRequest& request) {
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
        const bool erases = request.flash && request.erase;
        ReadDeviceInfo(false);
        if (request.config)
            checkConfig(*request.config, erases);

        if (erases) {
            eraseChip();
            CloseDevice();
            ReadDeviceInfo(false);
            // The erase has lifted the lock.
            if (request.config)
                checkConfig(*request.config, false);
        }
        if (request.flash)
            writeFlash(*request.flash, request.flashAll);
        if (request.eeprom)
            writeEeprom(*request.eeprom);
        if (request.config)
            writeConfig(*request.config);
    });
}

ShownResult TOperations::ButWriteClick() {
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

std::optional<std::uint8_t> TOperations::fieldByte(Ctl field, const char* name) const {
    // A byte that nobody read or typed since the controls were cleared keeps
    // the chip's value.
    if (untouched_.count(field))
        return std::nullopt;
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
        for (std::size_t i = 0; i < kFuseOrder.size(); ++i)
            config.bytes[i] = fieldByte(kFuseFields[i], configByte(kFuseOrder[i]).name);
    } catch (const WindowFailure& e) {
        config.problem = e.result();
    }
    return config;
}

void TOperations::checkConfig(const ConfigRequest& config, bool erases) const {
    // A failed read of the security byte leaves the lock state unknown.
    if (!securityRead_)
        fail(ErrorKind::TransferFailed, OpStep::Identify, unreadText("SSB"), configAddress(ConfigId::SSB));
    // A locked device takes only the security byte, unless the erase to come
    // lifts the lock.
    if ((SecurityLevel == kNotLocked || erases) && !config.problem.ok())
        throw WindowFailure(config.problem);
}

void TOperations::writeConfig(const ConfigRequest& config) {
    showStatus(QStringLiteral("Writing Fuses..."));
    view_.pause(200);
    checkConfig(config, false);

    if (SecurityLevel == kNotLocked) {
        for (std::size_t i = 0; i < kFuseOrder.size(); ++i) {
            if (!config.bytes[i])
                continue;
            const OpResult written = session_.writeByte(kFuseOrder[i], *config.bytes[i]);
            if (written.kind == ErrorKind::Cancelled)
                fail(written, QString());
            if (!written.ok())
                fail(written, QStringLiteral("Can't write %1 (%2)")
                                  .arg(QLatin1String(configByte(kFuseOrder[i]).name))
                                  .arg(written.command.code()));
        }
    }

    if (config.ssb) {
        const OpResult written = session_.writeByte(ConfigId::SSB, *config.ssb);
        if (written.kind == ErrorKind::Cancelled)
            fail(written, QString());
        if (!written.ok())
            fail(written, QStringLiteral("Can't write Security Flags!"));
    }
}

} // namespace corvane
