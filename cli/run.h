// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one path every device command takes, for one chip or many: what the
// chips share is prepared and checked before any chip is touched (files,
// serial numbers), each chip runs its job on a link of its own, in its own
// thread, and the run's report is printed as text or JSON.

#include "cli/link_source.h"
#include "cli/options.h"
#include "cli/report.h"

#include <cstdio>
#include <functional>

namespace corvane::cli {

// Runs a device command; the exit status. stop is asked between requests.
int runDeviceCommand(const CommandLine& options, LinkSource& links, std::FILE* out, std::FILE* err,
                     const std::function<bool()>& stop);

// The run's report without printing it (for tests of what a run did); a
// station's line per board goes to lines (nullptr: err).
RunReport runReport(const CommandLine& options, LinkSource& links, std::FILE* err,
                    const std::function<bool()>& stop, std::FILE* lines = nullptr);

// "flash.hex" becomes "flash-3.hex" for device 3.
QString perDeviceName(const QString& fileName, int device);

} // namespace corvane::cli
