// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include "cli/session.h"

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

QString checkWrite(const CommandLine& o) {
    if (QString text = needsAFile(o); !text.isEmpty())
        return text;
    if (o.flashFile.isEmpty() && (o.erase || o.flashAll))
        return QStringLiteral("--erase and --flash-all go with --flash.");
    return {};
}

QString checkConfig(const CommandLine& o) {
    if (!o.oscIndex && !o.bljb && !o.x2 && o.bytes.empty() && !o.ssbItem)
        return QStringLiteral("config needs at least one byte to write.");
    return {};
}

QString checkRun(const CommandLine& o) {
    if (o.reset && o.addressGiven)
        return QStringLiteral("run takes --reset or --address, not both.");
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
         "Each device number where something answers, with the\nbootloader's identification.",
         none,
         &Session::list},
        {"info",
         "",
         0,
         "",
         {},
         "Identification and configuration bytes of the device.",
         none,
         &Session::info},
        {"read", "", 0, "", names({"flash", "eeprom"}),
         "Read the chip into files: --flash FILE, --eeprom FILE.", needsAFile, &Session::read},
        {"erase",
         "",
         0,
         "",
         {},
         "Erase the chip (FLASH, security byte, BSB and SBV).",
         none,
         &Session::erase},
        {"write", "", 0, "", names({"flash", "eeprom", "erase", "flash-all", "no-verify", "truncate"}),
         "Write files into the chip: --flash FILE, --eeprom FILE,\n--erase, --flash-all; then read back and "
         "compare, unless\n--no-verify.",
         checkWrite, &Session::write},
        {"config", "", 0, "", names({"osc", "bljb", "x2", "bsb", "sbv", "eb", "p1cf", "p3cf", "p4cf", "ssb"}),
         "Write configuration bytes: --osc, --bljb, --x2, --bsb,\n--sbv, --eb, --p1cf, --p3cf, --p4cf, "
         "--ssb. "
         "Bytes not\nnamed keep the chip's values.",
         checkConfig, &Session::config},
        {"run", "", 0, "", names({"reset", "address"}), "Start the application: --reset, or --address ADDR.",
         checkRun, &Session::run},
        {"convert", "IN OUT", 2, "an input and an output file", names({"truncate"}),
         "Convert between Intel HEX and binary, sized by\n--controller.", none, &Session::convert},
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
        text += QStringLiteral("  ") + head.leftJustified(kColumn) + lines.first() + QLatin1Char('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(kColumn + 2, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    return text;
}

} // namespace corvane::cli
