// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a step of the device engine reports: whether it succeeded, what kind
// of failure ended it, in which step and at which address, and what the
// bootloader or the link said. Front ends turn it into their own words: the
// window into its message boxes, the command-line tool into its messages and
// exit statuses.

#include "link/boot_frames.h"

#include <cstdint>
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
    BlankCheck,
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
    // The first address of the failing block or difference, or the
    // configuration byte as area * 256 + index; 0 where none belongs to the step.
    std::uint32_t address = 0;
    // The failing command's outcome at the bootloader, where a command failed.
    CommandResult command;
    // What the link knew of the failure (the USB library's reason), if anything.
    std::string linkError;

    bool ok() const { return kind == ErrorKind::None; }

    static OpResult failure(ErrorKind kind, OpStep step, std::uint32_t address = 0,
                            CommandResult command = {}) {
        OpResult r;
        r.kind = kind;
        r.step = step;
        r.address = address;
        r.command = command;
        return r;
    }
};

} // namespace corvane
