// SPDX-License-Identifier: GPL-3.0-or-later
// The option table and the help made from it.

#include "cli/commands.h"
#include "cli/option_table.h"
#include "cli/options.h"
#include "core/chip_table.h"

#include <QStringList>

namespace corvane::cli {

QString controllerValues() {
    QStringList names;
    for (const ChipVariant& v : kChipVariants)
        names << QString::fromLatin1(v.shortName);
    return names.join(QLatin1Char('|'));
}

const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table{
        {"d", "device", "N",
         "Device number, 0 to 7 (default 0), a list of numbers and ranges such as 0,2-5, or the bus-port "
         "path a device is attached at, such as 1-2.1 (usb:1-2 for a port of the root hub: 1-2 is a "
         "range)."},
        {nullptr, "all", nullptr,
         "Every attached bootloader (on the simulated bench, every slot that holds a chip)."},
        {nullptr, "wait", "=SECONDS",
         "Wait for the named bootloader (without -d for any, and use the first) to be attached before the "
         "command runs; with SECONDS at most that long, then exit 5."},
        {nullptr, "repeat", nullptr,
         "A station: run the command on each board as it is attached at one socket, one after another, "
         "each with its own serial number, until a signal ends it with a summary."},
        {nullptr, "controller", "TYPE", nullptr},
        {nullptr, "force", nullptr,
         "Go on when the chip is not the type given by --controller, or not the "
         "default type when none is given."},
        {nullptr, "simulate", "=FOLDER",
         "Use the simulated bench: the state folder FOLDER, or without it the folder named by "
         "CORVANE_SIM_DIR."},
        {nullptr, "json", nullptr,
         "Print one JSON document on stdout instead of the text, also on failure; corvane-cli(1) lists its "
         "fields."},
        {"q", "quiet", nullptr, "Print no status and no progress, only failures."},
        {"v", "verbose", nullptr,
         "Print every request to the device as it goes, with its setup fields and data."},
        {"h", "help", nullptr, "Show this help."},
        {nullptr, "version", nullptr, "Show the version."},
        {nullptr, "flash", "FILE",
         "read, write: FLASH file (see Files below; - is standard input or output)."},
        {nullptr, "eeprom", "FILE",
         "read, write: EEPROM file (see Files below; - is standard input or output)."},
        {nullptr, "format", "ihex|srec|bin",
         "read, write, convert: the format of the files, whatever their names; FLASH,EEPROM (convert: "
         "IN,OUT) "
         "gives each its own, an empty one told by the extension."},
        {nullptr, "eeprom-whole", nullptr,
         "write: all of EEPROM, the bytes the file does not define as 0xFF (else they keep what the chip "
         "holds)."},
        {nullptr, "erase", nullptr, "write: erase the chip before writing FLASH."},
        {nullptr, "flash-all", nullptr, "write: write all of FLASH, not only up to the last used byte."},
        {nullptr, "no-verify", nullptr, "write: do not read back and compare what was written."},
        {nullptr, "truncate", nullptr,
         "write, convert: drop data beyond the chip's memory (else the file is refused as bad content)."},
        {nullptr, "serial", "START",
         "write: a serial number for each device, the next one for each in device order; decimal, or "
         "hexadecimal after 0x."},
        {nullptr, "serial-at", "WHERE",
         "write: where the serial number goes: flash:ADDR or eeprom:ADDR, the "
         "address hexadecimal."},
        {nullptr, "serial-size", "N", "write: bytes of the serial number, 1 to 16 (default 4; 8 for ascii)."},
        {nullptr, "serial-format", "hex|bcd|ascii",
         "write: hex binary (the default), bcd two decimal digits a byte, ascii decimal digits zero-padded."},
        {nullptr, "serial-le", nullptr, "write: least significant byte first (hex, bcd)."},
        {nullptr, "serial-overwrite", nullptr, "write: the serial number may replace bytes of the image."},
        {nullptr, "serial-file", "COUNTER",
         "write: counter file shared between runs and stations: the numbers are taken from it (START while "
         "it "
         "is new or empty) under a file lock before any chip is touched."},
        {nullptr, "serial-log", "CSV",
         "write: log with one row per number taken: time, device, serial, result."},
        {nullptr, "osc", "32|16|8", "config: oscillator range up to 32, 16 or 8 MHz."},
        {nullptr, "bljb", "on|off", "config: bootloader jump bit (on: the bootloader starts at reset)."},
        {nullptr, "x2", "on|off", "config: oscillator clock x 2."},
        {nullptr, "bsb", "V", "config: Boot Status Byte, hexadecimal."},
        {nullptr, "sbv", "V", "config: Start Boot Vector, hexadecimal."},
        {nullptr, "eb", "V", "config: Extra Byte, hexadecimal."},
        {nullptr, "p1cf", "V", "config: P1_CF, hexadecimal."},
        {nullptr, "p3cf", "V", "config: P3_CF, hexadecimal."},
        {nullptr, "p4cf", "V", "config: P4_CF, hexadecimal."},
        {nullptr, "ssb", "none|isp|isp-verify",
         "config: software security: no locks, ISP disabled, ISP and verify disabled."},
        {nullptr, "reset", nullptr, "run: reset the controller."},
        {nullptr, "address", "ADDR", "run: jump to this address, hexadecimal (default 0000)."},
    };
    return table;
}

const OptionSpec* findOption(const QString& name, bool shortForm) {
    for (const OptionSpec& o : optionTable()) {
        const char* n = shortForm ? o.shortName : o.longName;
        if (n && name == QLatin1String(n))
            return &o;
    }
    return nullptr;
}

namespace {

QString controllerHelp() {
    QStringList types;
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        const ChipVariant& v = kChipVariants[i];
        types << QStringLiteral("%1 (%2 KB%3)")
                     .arg(QLatin1String(v.shortName))
                     .arg(v.flashSize / 1024)
                     .arg(i == 0 ? QStringLiteral(" FLASH, the default") : QString());
    }
    const QString last = types.takeLast();
    return QStringLiteral("Controller type: %1 or %2.").arg(types.join(QStringLiteral(", ")), last);
}

// "  -d, --device <N>" and the help wrapped into the second column.
QString optionHelp(const OptionSpec& o) {
    constexpr int kColumn = 31;
    constexpr int kWidth = 80;
    QString spec = o.shortName ? QStringLiteral("-%1, ").arg(QLatin1String(o.shortName)) : QString();
    spec += QStringLiteral("--") + QLatin1String(o.longName);
    if (o.value) {
        const QString value = QLatin1String(o.value);
        if (value.startsWith(QLatin1Char('=')))
            spec += QStringLiteral("[") + value + QStringLiteral("]");
        else if (QLatin1String(o.longName) == QLatin1String("controller"))
            spec += QStringLiteral(" <") + controllerValues() + QStringLiteral(">");
        else
            spec += QStringLiteral(" <") + value + QStringLiteral(">");
    }
    const QString help = o.help ? QString::fromLatin1(o.help) : controllerHelp();
    QStringList lines;
    QString line;
    for (const QString& word : help.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && kColumn + line.size() + 1 + word.size() > kWidth) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    lines << line;
    QString head = QStringLiteral("  ") + spec;
    QString text = head.size() + 2 <= kColumn
                       ? head.leftJustified(kColumn)
                       : head + QStringLiteral("\n") + QString(kColumn, QLatin1Char(' '));
    text += lines.join(QLatin1Char('\n') + QString(kColumn, QLatin1Char(' '))) + QLatin1Char('\n');
    return text;
}

} // namespace

QString helpText() {
    QString text =
        QStringLiteral("Usage: corvane-cli [options] command [arguments]\n"
                       "Reads, erases and writes AT89C5131(A) and AT89C5130(A) controllers through\n"
                       "their USB bootloader.\n\nOptions:\n");
    for (const OptionSpec& o : optionTable())
        text += optionHelp(o);
    return text + QStringLiteral(R"(
%1
Several devices: with a device list or --all each device runs on its own, at
the same time as the others; each line of output begins with its device
number, and a summary table follows (device, result, seconds, bytes written,
verify). The exit status is that of the first failing device in device
order. read with several devices saves each into FILE with "-N" before its
extension ("flash.hex" becomes "flash-3.hex" for device 3).

Stations: with --repeat the command runs on each board as it is attached at
one socket (-d N, -d PATH, or without -d any), then waits for the board to
leave before the next, until SIGINT, SIGTERM or SIGHUP (or, with
--wait=SECONDS, no board for that long). Each board takes its serial number
before it is touched and has a line on stdout (on stderr with --json); a
summary of every board follows. The exit status is that of the first failing
board.

Files: ".hex", ".ihx" and ".ihex" are Intel HEX; ".srec", ".s19", ".s28",
".s37" and ".mot" Motorola S-record; ".bin" raw binary; --format names the
format instead. "-" reads standard input or writes standard output, Intel HEX
unless --format names another format (not written with --json or several
devices, whose text goes there). Devices and FIFOs such as /dev/stdout or a
named pipe are written as they are; a regular file is replaced only once the
new one is complete. A name without an extension is saved as ".hex" (with
--format as it is), any other extension as Intel HEX. Text files have CR LF
line ends; S-records are saved as S0 header, S1 data, S5 count and S9 end.

Signals: SIGINT, SIGTERM and SIGHUP stop every device between two requests;
the summary still follows. A second signal ends the program at once.

Exit status:
  0  success
  1  unexpected failure inside the program
  2  usage: the command line is wrong
  3  a file is missing, or cannot be read or written
  4  a file's content is bad, or its extension tells no format
  5  device not found: nothing answers at the device number or path, it
     is not the bootloader, access to it is denied, another program holds
     it, it is not the controller given by --controller, or --wait=SECONDS
     ended without it
  6  device error: the device failed or refused a request
  7  verify mismatch: what was read back differs from what was written
  8  stopped by a signal
)")
                      .arg(commandsHelp());
}

} // namespace corvane::cli
