// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What an operation reports to its front end: whether it succeeded, what kind
// of failure ended it, in which step and at which address. The window shows
// the message; the command-line tool maps the kind to its exit status.

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

namespace corvane {

enum class ErrorKind {
    None,
    NoDevice,       // nothing answers at the device number
    NotBootloader,  // something answers, but not the bootloader
    AccessDenied,   // the bootloader is attached, but the system refused access
    InUse,          // the bootloader is attached, but another program holds it
    Locked,         // the device's security level refused the request
    TransferFailed, // a request failed or the device reported an error
    VerifyMismatch, // what was read back differs from what was written
    BadInput,       // a value to send is missing or unusable
    Cancelled,      // the user asked the operation to stop
};

enum class OpStep {
    None,
    Open,
    Identify,
    ReadConfig,
    ReadFlash,
    ReadEeprom,
    Erase,
    ProgramFlash,
    VerifyFlash,
    ProgramEeprom,
    VerifyEeprom,
    WriteFuses,
    WriteSecurity,
    Start,
};

struct OpResult {
    ErrorKind kind = ErrorKind::None;
    OpStep step = OpStep::None;
    // The first address of the failing block, or the configuration byte as
    // area * 256 + index; 0 where no address belongs to the step.
    std::uint32_t address = 0;
    // The text the window shows for this failure (empty on success and when
    // cancelled).
    QString message;

    bool ok() const { return kind == ErrorKind::None; }

    static OpResult failure(ErrorKind kind, OpStep step, QString message, std::uint32_t address = 0) {
        return {kind, step, address, std::move(message)};
    }
};

// Ends an operation's body with its result; the operation frame catches it.
class OpFailure : public std::exception {
public:
    explicit OpFailure(OpResult result) : result_(std::move(result)), what_(result_.message.toStdString()) {}
    const OpResult& result() const { return result_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    OpResult result_;
    std::string what_;
};

} // namespace corvane
