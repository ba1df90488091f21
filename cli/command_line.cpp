// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include "cli/commands.h"

#include "core/chip_variants.h"

#include <QCommandLineParser>

#include <array>
#include <set>

namespace corvane::cli {

namespace {

struct ByteOption {
    const char* name;
    Ctl field;
    const char* what;
};
constexpr std::array<ByteOption, 6> kByteOptions{{
    {"bsb", Ctl::EdBSB, "Boot Status Byte"},
    {"sbv", Ctl::EdSBV, "Start Boot Vector"},
    {"eb", Ctl::EdEB, "Extra Byte"},
    {"p1cf", Ctl::EdP1CF, "P1_CF"},
    {"p3cf", Ctl::EdP3CF, "P3_CF"},
    {"p4cf", Ctl::EdP4CF, "P4_CF"},
}};

// "5131|5130" and "Controller type: 5131 (32 KB FLASH, the default) or 5130 (16 KB)."
QString controllerValues() {
    QStringList names;
    for (const ChipVariant& v : kChipVariants)
        names << QString::fromLatin1(v.shortName);
    return names.join(QLatin1Char('|'));
}

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

void setUp(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Reads, erases and writes AT89C5131(A) and AT89C5130(A) controllers through their USB bootloader."));
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("What to do (see Commands below)."),
                                 QStringLiteral("command [arguments]"));
    auto add = [&parser](const QStringList& names, const char* description, const char* value = nullptr) {
        parser.addOption(
            value ? QCommandLineOption(names, QString::fromLatin1(description), QString::fromLatin1(value))
                  : QCommandLineOption(names, QString::fromLatin1(description)));
    };
    add({QStringLiteral("d"), QStringLiteral("device")},
        "Device number, 0 to 7 (default 0), or a list (see below).", "N");
    parser.addOption(QCommandLineOption(QStringLiteral("controller"), controllerHelp(), controllerValues()));
    add({QStringLiteral("force")}, "Go on when the chip is not the type given by --controller.");
    add({QStringLiteral("simulate")},
        "Use the simulated bench: its state folder FOLDER, or without it the folder named by "
        "CORVANE_SIM_DIR.",
        "FOLDER");
    add({QStringLiteral("q"), QStringLiteral("quiet")}, "Print no status and no progress, only failures.");
    add({QStringLiteral("h"), QStringLiteral("help")}, "Show this help.");
    add({QStringLiteral("version")}, "Show the version.");
    add({QStringLiteral("flash")}, "read, write: FLASH file (.hex or .bin).", "FILE");
    add({QStringLiteral("eeprom")}, "read, write: EEPROM file (.hex or .bin).", "FILE");
    add({QStringLiteral("erase")}, "write: erase the chip before writing FLASH.");
    add({QStringLiteral("flash-all")}, "write: write all of FLASH, not only up to the last used byte.");
    add({QStringLiteral("no-verify")}, "write: do not read back and compare what was written.");
    add({QStringLiteral("truncate")},
        "write, convert: drop data beyond the chip's memory (else the file is refused as bad content).");
    add({QStringLiteral("osc")}, "config: oscillator range up to 32, 16 or 8 MHz.", "MHZ");
    add({QStringLiteral("bljb")}, "config: bootloader jump bit (on: the bootloader starts at reset).",
        "on|off");
    add({QStringLiteral("x2")}, "config: oscillator clock x 2.", "on|off");
    for (const ByteOption& b : kByteOptions) {
        const QString description = QStringLiteral("config: %1, hexadecimal.").arg(QLatin1String(b.what));
        parser.addOption(QCommandLineOption(QString::fromLatin1(b.name), description, QStringLiteral("V")));
    }
    add({QStringLiteral("ssb")},
        "config: software security: no locks, ISP disabled, ISP and verify disabled.", "none|isp|isp-verify");
    add({QStringLiteral("reset")}, "run: reset the controller.");
    add({QStringLiteral("address")}, "run: jump to this address, hexadecimal (default 0000).", "ADDR");
}

// "--simulate" may stand alone or be followed by its folder; the parser wants
// one form, so both become "--simulate=FOLDER" (empty: from the environment).
QStringList joinSimulateFolder(const QStringList& arguments) {
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (i > 0 && a == QLatin1String("--simulate")) {
            const bool folderFollows = i + 1 < arguments.size() &&
                                       !arguments[i + 1].startsWith(QLatin1Char('-')) &&
                                       !findCommand(arguments[i + 1]);
            out.append(QStringLiteral("--simulate=") + (folderFollows ? arguments[++i] : QString()));
        } else {
            out.append(a);
        }
    }
    return out;
}

std::optional<bool> parseOnOff(const QString& text) {
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

} // namespace

std::optional<std::uint32_t> parseHexArgument(const QString& text, std::uint32_t max) {
    QString digits = text;
    if (digits.startsWith(QLatin1Char('$')))
        digits.remove(0, 1);
    else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits.remove(0, 2);
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    for (QChar c : digits) {
        if (!isxdigit(c.toLatin1()))
            return std::nullopt;
    }
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || value > max)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

QString helpText() {
    QCommandLineParser parser;
    setUp(parser);
    QString usage = parser.helpText();
    // The parser names the program only through an application object, which
    // the tool does without; and it knows no option with an optional value.
    usage.replace(QStringLiteral("<executable_name>"), QStringLiteral("corvane-cli"));
    usage.replace(QStringLiteral("--simulate <FOLDER>"), QStringLiteral("--simulate [FOLDER]"));
    return usage + QStringLiteral(R"(
%1
Files: ".hex" is Intel HEX, ".bin" raw binary. A name without an extension
is saved as ".hex"; any other extension is saved as Intel HEX.

Exit status:
  0  success
  1  unexpected failure inside the program
  2  usage: the command line is wrong
  3  a file is missing, or cannot be read or written
  4  a file's content is bad, or its extension is neither .hex nor .bin
  5  device not found: nothing answers at the device number, it is not
     the bootloader, access to it is denied, it is in use by another
     program, or it is not the controller given by --controller
  6  device error: the device failed or refused a request
  7  verify mismatch: what was read back differs from what was written
)")
                       .arg(commandsHelp());
}

namespace {

// Each step returns the usage error, or an empty text.

QString parseCommand(const QCommandLineParser& parser, CommandLine& out) {
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return QStringLiteral("No command given.");
    out.command = positional.first();
    const Command* command = findCommand(out.command);
    if (!command)
        return QStringLiteral("Unknown command '%1'.").arg(out.command);
    out.arguments = positional.mid(1);
    if (out.arguments.size() != command->argumentCount) {
        return command->argumentCount
                   ? QStringLiteral("%1 needs %2.").arg(out.command, command->argumentsNeeded)
                   : QStringLiteral("Unexpected argument '%1'.").arg(out.arguments.first());
    }
    // Every option named must belong to the command or be a global one.
    static const QStringList global{QStringLiteral("d"),          QStringLiteral("device"),
                                    QStringLiteral("controller"), QStringLiteral("simulate"),
                                    QStringLiteral("q"),          QStringLiteral("quiet"),
                                    QStringLiteral("force")};
    for (const QString& name : parser.optionNames()) {
        if (!global.contains(name) && !command->options.contains(name))
            return QStringLiteral("The option --%1 does not belong to %2.").arg(name, out.command);
    }
    return {};
}

QString parseGlobalOptions(const QCommandLineParser& parser, CommandLine& out) {
    if (parser.isSet(QStringLiteral("device"))) {
        bool ok = false;
        out.device = parser.value(QStringLiteral("device")).toInt(&ok);
        if (!ok || out.device < 0 || out.device > 7)
            return QStringLiteral("The device number is 0 to 7.");
    }
    if (parser.isSet(QStringLiteral("controller"))) {
        const auto index = chipVariantIndex(parser.value(QStringLiteral("controller")).toStdString());
        if (!index) {
            QStringList names;
            for (const ChipVariant& v : kChipVariants)
                names << QString::fromLatin1(v.shortName);
            return QStringLiteral("The controller is %1.").arg(names.join(QStringLiteral(" or ")));
        }
        out.controllerIndex = *index;
        out.controllerGiven = true;
    }
    out.force = parser.isSet(QStringLiteral("force"));
    out.simulate = parser.isSet(QStringLiteral("simulate"));
    out.simFolder = parser.value(QStringLiteral("simulate"));
    out.quiet = parser.isSet(QStringLiteral("quiet"));
    return {};
}

QString parseFileOptions(const QCommandLineParser& parser, CommandLine& out) {
    out.flashFile = parser.value(QStringLiteral("flash"));
    out.eepromFile = parser.value(QStringLiteral("eeprom"));
    if ((parser.isSet(QStringLiteral("flash")) && out.flashFile.isEmpty()) ||
        (parser.isSet(QStringLiteral("eeprom")) && out.eepromFile.isEmpty()))
        return QStringLiteral("A file name is empty.");
    out.erase = parser.isSet(QStringLiteral("erase"));
    out.flashAll = parser.isSet(QStringLiteral("flash-all"));
    out.verify = !parser.isSet(QStringLiteral("no-verify"));
    out.truncate = parser.isSet(QStringLiteral("truncate"));
    return {};
}

QString parseConfigOptions(const QCommandLineParser& parser, CommandLine& out) {
    if (parser.isSet(QStringLiteral("osc"))) {
        const QString mhz = parser.value(QStringLiteral("osc"));
        static const QStringList ranges{QStringLiteral("32"), QStringLiteral("16"), QStringLiteral("8")};
        if (!ranges.contains(mhz))
            return QStringLiteral("The oscillator range is 32, 16 or 8 (MHz).");
        out.oscIndex = int(ranges.indexOf(mhz));
    }
    for (const char* bit : {"bljb", "x2"}) {
        const QString name = QString::fromLatin1(bit);
        if (!parser.isSet(name))
            continue;
        const auto on = parseOnOff(parser.value(name));
        if (!on)
            return QStringLiteral("--%1 is on or off.").arg(name);
        (name == QLatin1String("bljb") ? out.bljb : out.x2) = *on;
    }
    for (const ByteOption& b : kByteOptions) {
        const QString name = QString::fromLatin1(b.name);
        if (!parser.isSet(name))
            continue;
        const auto value = parseHexArgument(parser.value(name), 0xFF);
        if (!value)
            return QStringLiteral("--%1 takes a hexadecimal byte, 00 to FF.").arg(name);
        out.bytes[b.field] = static_cast<std::uint8_t>(*value);
    }
    if (parser.isSet(QStringLiteral("ssb"))) {
        static const QStringList levels{QStringLiteral("none"), QStringLiteral("isp"),
                                        QStringLiteral("isp-verify")};
        const QString level = parser.value(QStringLiteral("ssb"));
        if (!levels.contains(level))
            return QStringLiteral("--ssb is none, isp or isp-verify.");
        out.ssbItem = int(levels.indexOf(level));
    }
    return {};
}

QString parseRunOptions(const QCommandLineParser& parser, CommandLine& out) {
    out.reset = parser.isSet(QStringLiteral("reset"));
    out.addressGiven = parser.isSet(QStringLiteral("address"));
    if (out.addressGiven) {
        const auto address = parseHexArgument(parser.value(QStringLiteral("address")), 0xFFFF);
        if (!address)
            return QStringLiteral("--address takes a hexadecimal address, 0000 to FFFF.");
        out.address = static_cast<std::uint16_t>(*address);
    }
    return {};
}

} // namespace

ParseResult parseCommandLine(const QStringList& arguments, CommandLine& out, QString& error) {
    QCommandLineParser parser;
    setUp(parser);
    error.clear();
    if (!parser.parse(joinSimulateFolder(arguments))) {
        error = parser.errorText();
        return ParseResult::Error;
    }
    if (parser.isSet(QStringLiteral("help")))
        return ParseResult::Help;
    if (parser.isSet(QStringLiteral("version")))
        return ParseResult::Version;

    for (auto step :
         {parseCommand, parseGlobalOptions, parseFileOptions, parseConfigOptions, parseRunOptions}) {
        error = step(parser, out);
        if (!error.isEmpty())
            return ParseResult::Error;
    }
    // What the command needs beyond single values.
    error = findCommand(out.command)->check(out);
    return error.isEmpty() ? ParseResult::Run : ParseResult::Error;
}

} // namespace corvane::cli
