// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a run reports, chip by chip, and its two formatters: text (the
// summary table, the information of info and list) and JSON (json_report.h).
// Both take the same per-chip results.

#include "cli/outcome.h"
#include "ops/chip_session.h"

#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace corvane::cli {

enum class Verify {
    NotAsked,   // --no-verify, or a command that does not verify
    NotReached, // asked, but the run ended before a verdict
    Passed,
    Mismatch,
};

// What one chip's run reports.
struct ChipReport {
    int device = 0;
    QString path;  // the bus-port path it is attached at, empty when unknown
    int board = 0; // a station's boards count from 1; 0 outside a station
    Outcome outcome;
    double seconds = 0; // wall time of the chip's run
    // Bytes that reached the chip's FLASH and EEPROM, also when a later
    // frame failed.
    std::size_t bytesWritten = 0;
    std::size_t bytesRead = 0;
    Verify verify = Verify::NotAsked;
    std::optional<Difference> difference; // a mismatch: where and how many
    std::optional<std::uint64_t> serial;  // the serial number taken for it
    // The identification and configuration bytes as read.
    ChipBytes bytes;
    bool bootloaderFound = false; // the descriptor named the bootloader
    // config: the bytes written, in the order written.
    std::vector<ConfigId> written;
    // Files written for it (read).
    std::vector<QString> files;
    // Seconds per step ("erase", "write", "verify", ...).
    std::map<QString, double> timings;

    // list: shown as found, whatever answered; it does not fail the run.
    bool listed = false;

    bool ok() const { return outcome.ok(); }
};

struct RunReport {
    QString command;
    std::vector<ChipReport> chips; // in device order
    double seconds = 0;
    // What ended the run before or besides the chips (a file, no device).
    Outcome outcome;

    // The run's exit status: the run's own failure, else that of the first
    // failing chip in device order.
    int exitStatus() const;
};

// The summary as a table: device, result, seconds, bytes written, verify;
// and a line naming every failure.
QString summaryTable(const RunReport& report);
QString verifyName(Verify v);

// info: one line per byte, as the window's captions name them.
QString infoText(const ChipBytes& bytes);
// config: the bytes written, as the chip holds them now, as info shows them.
QString writtenText(const ChipReport& chip);
// list: one line for the chip at device n: number, path, chip and
// bootloader version, or why it is not usable.
QString listLine(const ChipReport& chip);
// The chip's name by its product byte ("AT89C5131"), "product byte 42" for
// one the table does not know, "--" when it was not read.
QString chipName(const ChipBytes& bytes);
// A station: one line per board as it is done, and the summary of every
// board (board, device, path, result, seconds, serial, verify).
QString boardLine(const ChipReport& board);
QString stationTable(const RunReport& report);
// A byte read, as two hexadecimal digits, the bootloader version as "1.0.5";
// "--" when unknown.
QString byteText(const ChipBytes& bytes, ConfigId id);

} // namespace corvane::cli
