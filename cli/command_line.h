// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of corvane-cli: global options, the command and its
// options, checked and converted into values.

#include "ops/controls.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>

namespace corvane::cli {

struct CommandLine {
    QString command;       // list, info, read, erase, write, config, run, convert
    QStringList arguments; // convert: IN OUT

    int device = 0;
    int controllerIndex = 0;      // 0: AT89C5131 (32 KB), 1: AT89C5130 (16 KB)
    bool controllerGiven = false; // named by --controller: the chip must be of that type
    bool force = false;           // accept a chip of another type than --controller names
    bool simulate = false;
    QString simFolder; // empty: the folder named by the environment
    bool quiet = false;

    // read, write
    QString flashFile;
    QString eepromFile;
    // write
    bool erase = false;
    bool flashAll = false;
    bool verify = true;
    // write, convert: drop data beyond the chip's memory instead of refusing the file
    bool truncate = false;

    // config: only what was named
    std::optional<int> oscIndex; // cbOsc item
    std::optional<bool> bljb;
    std::optional<bool> x2;
    std::map<Ctl, std::uint8_t> bytes; // EdBSB, EdSBV, EdEB, EdP1CF, EdP3CF, EdP4CF
    std::optional<int> ssbItem;        // cbSSB item

    // run
    bool reset = false;
    std::uint16_t address = 0;
    bool addressGiven = false;
};

enum class ParseResult { Run, Help, Version, Error };

// Parses the arguments (program name first). On Error, error holds the text
// to show; on Help, error is empty and helpText() is what to show.
ParseResult parseCommandLine(const QStringList& arguments, CommandLine& out, QString& error);

QString helpText();

// A byte or an address as typed: hexadecimal, with or without "$" or "0x".
std::optional<std::uint32_t> parseHexArgument(const QString& text, std::uint32_t max);

} // namespace corvane::cli
