// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exit statuses of corvane-cli: one per kind of failure, so that scripts can
// tell them apart.

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
};

} // namespace corvane::cli
