// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs one command on several chips at once: each chip on its own link in its
// own thread, independently, so that one failing chip never stops another.
// What each chip reports makes the summary and the exit status.

#include <QString>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace corvane::lines {

enum class Verify { NotAsked, Passed, Mismatch, NotReached };

// What one chip's run reports.
struct ChipReport {
    int device = 0;
    int exitStatus = 0; // 0 for success, else the tool's exit status for the failure
    QString errorKind;  // empty for success, else a short name of the kind of failure
    QString message;    // the failure as the tool tells it, lines joined by "; "
    double seconds = 0; // wall time of the chip's run
    std::size_t bytesWritten = 0;
    Verify verify = Verify::NotAsked;
    std::optional<std::uint64_t> serial; // the serial number it was given
    // Identification and configuration bytes as read ("manufacturer" -> "58").
    std::map<QString, QString> identification;
    std::map<QString, QString> configuration;
    // Seconds per step ("erase", "write", "verify", ...).
    std::map<QString, double> timings;

    bool ok() const { return exitStatus == 0; }
};

struct RunSummary {
    std::vector<ChipReport> chips; // in device order
    double seconds = 0;            // wall time of the whole run
    // 0 when every chip succeeded, else the status of the first failing chip
    // in device order.
    int exitStatus() const;
};

// Lets the chips' threads pass a point in device order: chip i passes only
// after every chip before it has passed or left. Serial numbers are handed
// out this way, the next one to each chip in device order, whichever thread
// gets there first.
class DeviceOrder {
public:
    explicit DeviceOrder(std::size_t count) : done_(count, false) {}
    // Waits until every chip before index has passed or left.
    void waitTurn(std::size_t index);
    // The chip at index has passed the point (or will never reach it).
    void pass(std::size_t index);

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> done_;
};

// The work for one chip: index is its position in the run, device its number.
// An exception it lets out is reported as an internal failure of that chip.
using ChipJob = std::function<ChipReport(std::size_t index, int device, DeviceOrder& order)>;

// Runs the job for every device, each in its own thread (one device runs in
// the calling thread), and waits for all; or, not concurrent, one after the
// other in device order. The report's order is the devices' order. Every chip
// has passed the order when its job has returned.
RunSummary runChips(const std::vector<int>& devices, const ChipJob& job, bool concurrent = true);

// The summary as a table: device, result, seconds, bytes written, verify; and
// a line naming every failure.
QString summaryTable(const RunSummary& summary);

QString verifyName(Verify v);

} // namespace corvane::lines
