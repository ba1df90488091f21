// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of corvane-cli: the command, its arguments and every
// option, checked and converted into values. What the options mean for a
// chip is the jobs' business; this only reads them.

#include "cli/serial_number.h"
#include "core/chip_table.h"
#include "image/image_file.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace corvane::cli {

// config: only what was named.
struct ConfigChange {
    std::optional<int> oscMegahertz; // 32, 16 or 8
    std::optional<bool> bljb;        // on: the bootloader starts at reset
    std::optional<bool> x2;
    std::map<ConfigId, std::uint8_t> bytes; // BSB, SBV, EB, P1CF, P3CF, P4CF
    std::optional<int> securityLevel;       // 3 none, 2 isp, 0 isp-verify

    bool hsb() const { return oscMegahertz || bljb || x2; }
    bool empty() const { return !hsb() && bytes.empty() && !securityLevel; }
};

struct CommandLine {
    QString command;       // list, info, read, erase, write, config, run, convert
    QStringList arguments; // convert: IN OUT

    // Which devices: one number (default 0), a list, or every attached one;
    // a device may be named by its bus-port path too, resolved to its number
    // when the run starts.
    std::vector<int> devices{0};
    QStringList devicePaths;      // "1-2.1"
    bool deviceGiven = false;     // named by -d
    bool deviceListGiven = false; // -d with a list, or --all: a summary follows
    bool all = false;
    // --wait: the named (or any) bootloader is waited for before the command
    // runs, without a limit or for waitSeconds.
    bool wait = false;
    std::optional<int> waitSeconds;
    // --repeat: a station, one board after another at one socket.
    bool repeat = false;
    int controllerIndex = 0;      // the first table entry unless named
    bool controllerGiven = false; // named by --controller: the chip must be of that type
    bool force = false;           // go on with a chip of another type
    bool simulate = false;
    QString simFolder; // empty: the folder named by the environment
    bool quiet = false;
    bool verbose = false; // every request told as it goes
    bool json = false;

    // read, write
    QString flashFile;
    QString eepromFile;
    // blank-check: which memories
    bool checkFlash = false;
    bool checkEeprom = false;
    // write
    bool erase = false;
    bool eepromWhole = false; // all of EEPROM, not only the bytes the file defines
    bool flashAll = false;
    bool verify = true;
    // write, convert: drop data beyond the chip's memory instead of refusing the file
    bool truncate = false;
    // --format: the format of the FLASH file and of the EEPROM file
    // (convert: IN and OUT); none: told by the extension.
    std::optional<ImageFormat> firstFormat;
    std::optional<ImageFormat> secondFormat;
    // write: serial numbers
    std::optional<SerialLayout> serial;
    QString serialFile; // the counter shared between runs
    QString serialLog;  // the CSV log

    ConfigChange config;

    // run
    bool reset = false;
    std::uint16_t address = 0;
    bool addressGiven = false;

    bool severalDevices() const { return deviceListGiven || devices.size() + devicePaths.size() > 1; }
};

enum class ParseResult { Run, Help, Version, Error };

// Parses the arguments (program name first). On Error, error holds the text
// to show; with --json among the arguments, json is set even then, so that
// the error can be told as a document.
ParseResult parseCommandLine(const QStringList& arguments, CommandLine& out, QString& error);

QString helpText();

// A byte or an address as typed: hexadecimal, with or without "$" or "0x".
std::optional<std::uint32_t> parseHexArgument(const QString& text, std::uint32_t max);

// Parses a device list such as "3", "0,2-5" or "1-2,6": numbers 0 to 7,
// ranges low-high, separated by commas, each device at most once. The result
// is in device order. std::nullopt with error set when the list is bad (a
// bus-port path included: parseDeviceSelection takes those).
std::optional<std::vector<int>> parseDeviceList(const QString& text, QString& error);

// What -d names: device numbers and ranges as parseDeviceList takes them,
// and bus-port paths. An item is a path when it holds a dot or begins with
// "usb:": "1-2.1", "usb:1-2" (a port of the root hub, which without the
// prefix would be the range 1 to 2). A path is the bus and the ports from the
// root hub, as libusb numbers them, each 1 to 255, at most 7 ports.
struct DeviceSelection {
    std::vector<int> numbers; // in device order
    QStringList paths;        // as given, without "usb:"
    bool list = false;        // several items, or a range
};
std::optional<DeviceSelection> parseDeviceSelection(const QString& text, QString& error);
// A bus-port path without "usb:" in its plain form ("1-2.1"); nothing when
// text is not one.
std::optional<QString> parseBusPortPath(const QString& text);

// The known name nearest to text (at most two edits away), if any.
std::optional<QString> nearestName(const QString& text, const QStringList& known);

} // namespace corvane::cli
