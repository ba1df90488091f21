// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command-line options for production lines: device lists and --all,
// --json, and the serial numbers. They are taken out of the arguments before
// the ordinary options are parsed.

#include "cli/lines/serial_number.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace corvane::lines {

struct LineOptions {
    std::vector<int> devices; // -d LIST; empty when not given or a single number
    bool all = false;         // --all
    bool json = false;        // --json
    std::optional<SerialLayout> serial;
    QString serialFile; // --serial-file: the counter shared between runs
    QString serialLog;  // --serial-log: the CSV log

    // True when the command runs through the line runner rather than on one
    // device alone.
    bool needsRunner() const { return !devices.empty() || all || json || serial.has_value(); }
};

// Takes the line options out of arguments (program name first). A device
// list of one number stays in arguments as "--device=N"; a longer list is
// taken out and its first number left in its place. False with error set when
// an option is given wrongly.
bool extractLineOptions(QStringList& arguments, LineOptions& out, QString& error);

// Checks the line options against the command that the ordinary parser found
// and its options (files given). Empty when they fit, else the reason.
QString checkLineOptions(const LineOptions& options, const QString& command, bool flashFile, bool eepromFile);

// The help text's part for these options.
QString lineHelpText();

} // namespace corvane::lines
