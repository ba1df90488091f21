// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include <vector>

namespace corvane::cli {

namespace {

QString none(const CommandLine&) {
    return {};
}

QString needsAFile(const CommandLine& o) {
    if (o.flashFile.isEmpty() && o.eepromFile.isEmpty())
        return QStringLiteral("%1 needs --flash FILE, --eeprom FILE or both.").arg(o.command);
    return {};
}

QString checkRead(const CommandLine& o) {
    if (QString text = needsAFile(o); !text.isEmpty())
        return text;
    if (o.flashFile == o.eepromFile)
        return QStringLiteral("--flash and --eeprom name the same file; each memory needs its own.");
    return {};
}

QString checkWrite(const CommandLine& o) {
    if (QString text = needsAFile(o); !text.isEmpty() && !o.serial)
        return text;
    if (o.flashFile.isEmpty() && (o.erase || o.flashAll))
        return QStringLiteral("--erase and --flash-all go with --flash.");
    if (o.eepromFile.isEmpty() && o.eepromWhole)
        return QStringLiteral("--eeprom-whole goes with --eeprom.");
    if (o.serial && o.serial->place.memory == MEM_FLASH && o.flashFile.isEmpty())
        return QStringLiteral("A serial number in FLASH goes with --flash FILE.");
    return {};
}

QString checkConfig(const CommandLine& o) {
    if (o.config.empty())
        return QStringLiteral("config needs at least one byte to write.");
    return {};
}

QString checkRun(const CommandLine& o) {
    if (o.reset && o.addressGiven)
        return QStringLiteral("run takes --reset or --address, not both.");
    return {};
}

QString checkBench(const CommandLine& o) {
    const QString& slot = o.arguments.value(1);
    if (o.arguments.value(0) != QLatin1String("attach") && o.arguments.value(0) != QLatin1String("remove"))
        return QStringLiteral("bench takes attach or remove, then a slot number 0 to 7.");
    if (slot.size() != 1 || slot[0] < QLatin1Char('0') || slot[0] > QLatin1Char('7'))
        return QStringLiteral("The bench's slots are 0 to 7.");
    if (!o.simulate)
        return QStringLiteral("bench changes the simulated bench: give --simulate or --simulate=FOLDER.");
    return {};
}

QStringList names(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* n : list)
        out << QString::fromLatin1(n);
    return out;
}

const std::vector<Command>& table() {
    static const std::vector<Command> commands{
        {"list",
         "",
         0,
         "",
         {},
         "One line per attached bootloader: device number,\nbus-port path, chip and bootloader version; "
         "exit 0\nalso when none is attached.",
         none,
         true},
        {"info", "", 0, "", {}, "Identification and configuration bytes of the device.", none, true},
        {"read", "", 0, "", names({"flash", "eeprom"}),
         "Read the chip into files: --flash FILE, --eeprom FILE.", checkRead, true},
        {"erase", "", 0, "", {}, "Erase the chip (FLASH, security byte, BSB and SBV).", none, true},
        {"write", "", 0, "",
         names({"flash", "eeprom", "eeprom-whole", "erase", "flash-all", "no-verify", "truncate", "serial",
                "serial-at", "serial-size", "serial-format", "serial-le", "serial-overwrite", "serial-file",
                "serial-log"}),
         "Write files into the chip: --flash FILE, --eeprom FILE\n(only the EEPROM bytes the file defines, "
         "unless\n--eeprom-whole), --erase, --flash-all; then read back\nand compare, unless --no-verify.",
         checkWrite, true},
        {"verify", "", 0, "", names({"flash", "eeprom", "truncate"}),
         "Compare the chip with files: --flash FILE, --eeprom FILE;\nonly the bytes the files define. Exit 7 "
         "names the first\ndifference.",
         needsAFile, true},
        {"blank-check", "", 0, "", names({"flash", "eeprom"}),
         "Whether the chip's FLASH (or with --eeprom its EEPROM, or\nboth) is blank: exit 7 names the first "
         "used byte.",
         none, true},
        {"config", "", 0, "", names({"osc", "bljb", "x2", "bsb", "sbv", "eb", "p1cf", "p3cf", "p4cf", "ssb"}),
         "Write configuration bytes: --osc, --bljb, --x2, --bsb,\n--sbv, --eb, --p1cf, --p3cf, --p4cf, "
         "--ssb. Bytes not\nnamed keep the chip's values.",
         checkConfig, true},
        {"run", "", 0, "", names({"reset", "address"}), "Start the application: --reset, or --address ADDR.",
         checkRun, true},
        {"convert", "IN OUT", 2, "an input and an output file", names({"truncate"}),
         "Convert between Intel HEX, S-record and binary, sized\nby --controller.", none, false},
        {"bench",
         "attach|remove SLOT",
         2,
         "attach or remove and a slot number 0 to 7",
         {},
         "Simulated bench (--simulate): plug a new board into\nthe slot's socket, or take the board there "
         "off the bus.",
         checkBench,
         false},
    };
    return commands;
}

} // namespace

std::span<const Command> commands() {
    return table();
}

const Command* findCommand(const QString& name) {
    for (const Command& c : table()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

QString commandsHelp() {
    constexpr int kColumn = 21;
    QString text = QStringLiteral("Commands:\n");
    for (const Command& c : table()) {
        QString head = QString::fromLatin1(c.name);
        if (*c.argumentNames)
            head += QLatin1Char(' ') + QString::fromLatin1(c.argumentNames);
        const QStringList lines = QString::fromLatin1(c.help).split(QLatin1Char('\n'));
        // A head too long for its column has the help on the lines below.
        const bool below = head.size() >= kColumn;
        text += QStringLiteral("  ") +
                (below ? head + QLatin1Char('\n') + QString(kColumn + 2, QLatin1Char(' '))
                       : head.leftJustified(kColumn)) +
                lines.first() + QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kColumn + 2, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    return text;
}

} // namespace corvane::cli
