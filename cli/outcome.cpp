// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/outcome.h"

#include "core/chip_table.h"

#include <array>

namespace corvane::cli {

namespace {

const char* statusName(std::uint8_t status) {
    static constexpr std::array<const char*, 16> kNames{
        "OK",      "errTARGET", "errFILE",    "errWRITE",     "errERASE",    "errCHECK_ERASED",
        "errPROG", "errVERIFY", "errADDRESS", "errNOTDONE",   "errFIRMWARE", "errVENDOR",
        "errUSBR", "errPOR",    "errUNKNOWN", "errSTALLEDPKT"};
    return status < kNames.size() ? kNames[status] : "unknown status";
}

QString configName(std::uint32_t address) {
    for (const ConfigByteInfo& b : kConfigBytes) {
        if (configAddress(b.id) == address)
            return QString::fromLatin1(b.name);
    }
    return QStringLiteral("configuration byte %1").arg(hex4(address));
}

// What the step was doing, as the start of a sentence.
QString stepText(const OpResult& r) {
    switch (r.step) {
    case OpStep::Open:
        return QStringLiteral("opening the device");
    case OpStep::Identify:
        return r.address == 0 && r.command.status == CommandStatus::TransferFailed
                   ? QStringLiteral("reading the identification")
                   : QStringLiteral("reading %1").arg(configName(r.address));
    case OpStep::ReadConfig:
        return QStringLiteral("reading %1").arg(configName(r.address));
    case OpStep::ReadFlash:
        return QStringLiteral("reading FLASH at %1").arg(hex4(r.address));
    case OpStep::ReadEeprom:
        return QStringLiteral("reading EEPROM at %1").arg(hex4(r.address));
    case OpStep::BlankCheck:
        return QStringLiteral("the blank check at %1").arg(hex4(r.address));
    case OpStep::Erase:
        return QStringLiteral("erasing the chip");
    case OpStep::ProgramFlash:
        return QStringLiteral("writing FLASH at %1").arg(hex4(r.address));
    case OpStep::VerifyFlash:
        return QStringLiteral("reading FLASH back at %1").arg(hex4(r.address));
    case OpStep::ProgramEeprom:
        return QStringLiteral("writing EEPROM at %1").arg(hex4(r.address));
    case OpStep::VerifyEeprom:
        return QStringLiteral("reading EEPROM back at %1").arg(hex4(r.address));
    case OpStep::WriteFuses:
        return QStringLiteral("writing %1").arg(configName(r.address));
    case OpStep::WriteSecurity:
        return QStringLiteral("writing the security byte");
    case OpStep::Start:
        return QStringLiteral("starting the application");
    case OpStep::None:
        break;
    }
    return QStringLiteral("the request");
}

QString why(const OpResult& r) {
    QString text;
    switch (r.command.status) {
    case CommandStatus::Ok:
    case CommandStatus::TransferFailed:
        text = QStringLiteral("the request failed");
        break;
    case CommandStatus::DeviceStatus:
        text = QStringLiteral("the device answered %1 (status %2)")
                   .arg(QLatin1String(statusName(r.command.deviceStatus)))
                   .arg(r.command.deviceStatus);
        break;
    case CommandStatus::StatusRequestFailed:
        text = QStringLiteral("the status request after it failed");
        break;
    }
    if (!r.linkError.empty() && r.command.status != CommandStatus::DeviceStatus)
        text += QStringLiteral(" (%1)").arg(QString::fromStdString(r.linkError));
    return text;
}

} // namespace

QString hex4(std::uint32_t value) {
    return QString::number(value, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

int exitStatusFor(Failure failure) {
    switch (failure) {
    case Failure::None:
        return ExitOk;
    case Failure::Usage:
        return ExitUsage;
    case Failure::FileAccess:
        return ExitFileAccess;
    case Failure::FileContent:
        return ExitFileContent;
    case Failure::NoDevice:
    case Failure::NotBootloader:
    case Failure::AccessDenied:
    case Failure::InUse:
    case Failure::WrongController:
        return ExitNoDevice;
    case Failure::Locked:
    case Failure::TransferFailed:
        return ExitDeviceError;
    case Failure::VerifyMismatch:
    case Failure::NotBlank:
        return ExitVerify;
    case Failure::Cancelled:
        return ExitCancelled;
    case Failure::Internal:
        break;
    }
    return ExitInternal;
}

QString failureName(Failure failure) {
    switch (failure) {
    case Failure::None:
        return {};
    case Failure::Usage:
        return QStringLiteral("usage");
    case Failure::FileAccess:
        return QStringLiteral("file-access");
    case Failure::FileContent:
        return QStringLiteral("file-content");
    case Failure::NoDevice:
        return QStringLiteral("no-device");
    case Failure::NotBootloader:
        return QStringLiteral("not-bootloader");
    case Failure::AccessDenied:
        return QStringLiteral("access-denied");
    case Failure::InUse:
        return QStringLiteral("in-use");
    case Failure::WrongController:
        return QStringLiteral("wrong-controller");
    case Failure::Locked:
        return QStringLiteral("locked");
    case Failure::TransferFailed:
        return QStringLiteral("transfer-failed");
    case Failure::VerifyMismatch:
        return QStringLiteral("verify-mismatch");
    case Failure::NotBlank:
        return QStringLiteral("not-blank");
    case Failure::Cancelled:
        return QStringLiteral("cancelled");
    case Failure::Internal:
        break;
    }
    return QStringLiteral("internal");
}

Failure failureFor(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return Failure::None;
    case ErrorKind::NoDevice:
        return Failure::NoDevice;
    case ErrorKind::NotBootloader:
        return Failure::NotBootloader;
    case ErrorKind::AccessDenied:
        return Failure::AccessDenied;
    case ErrorKind::InUse:
        return Failure::InUse;
    case ErrorKind::Locked:
        return Failure::Locked;
    case ErrorKind::TransferFailed:
        return Failure::TransferFailed;
    case ErrorKind::VerifyMismatch:
        return Failure::VerifyMismatch;
    case ErrorKind::BadInput:
        return Failure::Internal; // the tool checks its input before the engine sees it
    case ErrorKind::Cancelled:
        return Failure::Cancelled;
    }
    return Failure::Internal;
}

QString resultText(const OpResult& r, int device, std::uint16_t vendor, std::uint16_t product) {
    switch (r.kind) {
    case ErrorKind::None:
        return {};
    case ErrorKind::NoDevice:
        return QStringLiteral("no bootloader answers at device %1").arg(device);
    case ErrorKind::AccessDenied:
        return QStringLiteral("the bootloader at device %1 is attached, but access to it was denied: install "
                              "the udev rule 70-corvane.rules and re-plug the device")
            .arg(device);
    case ErrorKind::InUse:
        return QStringLiteral("device %1 is in use by another program").arg(device);
    case ErrorKind::NotBootloader:
        return QStringLiteral("device %1 is not the bootloader (vendor %2, product %3)")
            .arg(device)
            .arg(hex4(vendor), hex4(product));
    case ErrorKind::Cancelled:
        return QStringLiteral("stopped on request");
    case ErrorKind::Locked:
        return QStringLiteral("%1 failed: %2; the chip is locked").arg(stepText(r), why(r));
    case ErrorKind::VerifyMismatch:
    case ErrorKind::BadInput:
    case ErrorKind::TransferFailed:
        break;
    }
    return QStringLiteral("%1 failed: %2").arg(stepText(r), why(r));
}

} // namespace corvane::cli
