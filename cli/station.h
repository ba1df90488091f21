// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A station (--repeat): at one socket, the command runs on each board as it
// is attached, one board after another. Each board gets its serial number
// before it is touched, and a line when it is done; the station then waits
// for it to leave before it waits for the next. A stop signal, or with
// --wait=SECONDS no board for that long, ends the station; the report holds
// every board.

#include "cli/device_watch.h"
#include "cli/report.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>

namespace corvane::cli {

struct StationSteps {
    // Takes the board's serial number (none without --serial); a failure
    // ends the station before the board is touched.
    std::function<Outcome(std::optional<std::uint64_t>& serial)> takeSerial;
    // Runs the command on the board at device number n.
    std::function<ChipReport(int device, std::optional<std::uint64_t> serial)> runBoard;
    // Status lines (stderr, not when quiet).
    std::function<void(const QString&)> tell;
    // Where each board's line goes.
    std::FILE* lines = nullptr;
};

// Runs the station; the boards land in report.chips, what ended the station
// before its time (the list or a serial number failed) in report.outcome.
void runStation(const CommandLine& o, DeviceWatch& watch, const StationSteps& steps,
                const std::function<bool()>& stop, RunReport& report);

} // namespace corvane::cli
