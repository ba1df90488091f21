// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/station.h"

#include "cli/text_out.h"

#include <algorithm>

namespace corvane::cli {

namespace {

// The board the station waits for: at the path named, at the number named,
// or any (the first one listed).
const AttachedDevice* boardFor(const CommandLine& o, const std::vector<AttachedDevice>& list) {
    if (!o.devicePaths.isEmpty())
        return deviceAt(list, o.devicePaths.first());
    if (o.deviceGiven)
        return deviceNumbered(list, o.devices.front());
    return list.empty() ? nullptr : &list.front();
}

// Where a board is while it stays: its path, or where the link cannot tell
// paths, its number.
bool stillThere(const AttachedDevice& board, const std::vector<AttachedDevice>& list) {
    if (board.bus == 0)
        return deviceNumbered(list, board.number) != nullptr;
    const std::string path = busPortPath(board);
    return std::any_of(list.begin(), list.end(),
                       [&path](const AttachedDevice& d) { return busPortPath(d) == path; });
}

} // namespace

void runStation(const CommandLine& o, DeviceWatch& watch, const StationSteps& steps,
                const std::function<bool()>& stop, RunReport& report) {
    const QString socket = o.deviceGiven ? QStringLiteral(" at ") + waitedFor(o) : QString();
    std::vector<AttachedDevice> listed;
    for (;;) {
        steps.tell(QStringLiteral("Waiting for a board%1...").arg(socket));
        const auto arrived = [&o](const std::vector<AttachedDevice>& list) {
            return boardFor(o, list) != nullptr;
        };
        const DeviceWatch::End came = watch.waitUntil(arrived, o.waitSeconds, listed);
        if (came == DeviceWatch::End::Failed)
            report.outcome = Outcome::failed(Failure::NoDevice, watch.error());
        if (came == DeviceWatch::End::TimedOut)
            steps.tell(QStringLiteral("No board came within %1 s: the station ends.").arg(*o.waitSeconds));
        if (came != DeviceWatch::End::Ready)
            return;
        const AttachedDevice board = *boardFor(o, listed);

        std::optional<std::uint64_t> serial;
        if (Outcome taken = steps.takeSerial(serial); !taken.ok()) {
            report.outcome = std::move(taken);
            return;
        }
        ChipReport done = steps.runBoard(board.number, serial);
        done.path = QString::fromStdString(busPortPath(board));
        done.board = int(report.chips.size()) + 1;
        write(steps.lines, boardLine(done));
        report.chips.push_back(std::move(done));
        if (stop && stop())
            return;

        steps.tell(QStringLiteral("Board %1 done: waiting for it to leave...").arg(report.chips.size()));
        const auto left = [&board](const std::vector<AttachedDevice>& list) {
            return !stillThere(board, list);
        };
        const DeviceWatch::End went = watch.waitUntil(left, std::nullopt, listed);
        if (went == DeviceWatch::End::Failed)
            report.outcome = Outcome::failed(Failure::NoDevice, watch.error());
        if (went != DeviceWatch::End::Ready)
            return;
    }
}

} // namespace corvane::cli
