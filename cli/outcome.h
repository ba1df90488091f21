// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a run or one chip of it ended, in the tool's terms: the kind of
// failure with its exit status and its name in the JSON report, and the text
// the tool prints about it.

#include "ops/op_result.h"

#include <QString>

namespace corvane::cli {

enum ExitStatus : int {
    ExitOk = 0,
    ExitInternal = 1,    // an unexpected failure inside the program
    ExitUsage = 2,       // bad command line
    ExitFileAccess = 3,  // a file is missing, or cannot be read or written
    ExitFileContent = 4, // a file's content or its name's extension is unusable
    ExitNoDevice = 5,    // nothing answers at the device number, or not the bootloader
    ExitDeviceError = 6, // the device failed or refused a request
    ExitVerify = 7,      // what was read back differs from what was written
    ExitCancelled = 8,   // stopped by a signal
};

enum class Failure {
    None,
    Usage,
    FileAccess,
    FileContent,
    NoDevice,
    NotBootloader,
    AccessDenied,
    InUse,
    WrongController,
    Locked,
    TransferFailed,
    VerifyMismatch,
    NotBlank,
    Cancelled,
    Internal,
};

int exitStatusFor(Failure failure);
// The name in the JSON report and the summary ("transfer-failed").
QString failureName(Failure failure);
// The tool's kind for an engine result's kind.
Failure failureFor(ErrorKind kind);

// What ended a chip's run, or the run before any chip.
struct Outcome {
    Failure failure = Failure::None;
    OpStep step = OpStep::None;
    QString message; // one line, the tool's own words; empty on success

    bool ok() const { return failure == Failure::None; }
    int exitStatus() const { return exitStatusFor(failure); }

    static Outcome failed(Failure failure, QString message, OpStep step = OpStep::None) {
        return {failure, step, std::move(message)};
    }
};

// The tool's text for an engine result that failed on device n.
QString resultText(const OpResult& result, int device, std::uint16_t vendor = 0, std::uint16_t product = 0);

// An address as four hexadecimal digits.
QString hex4(std::uint32_t value);

} // namespace corvane::cli
