// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_line.h"

#include <QCommandLineParser>

#include <array>
#include <set>

namespace corvane::cli {

namespace {

const QStringList& commandNames() {
    static const QStringList names{
        QStringLiteral("list"),  QStringLiteral("info"),   QStringLiteral("read"), QStringLiteral("erase"),
        QStringLiteral("write"), QStringLiteral("config"), QStringLiteral("run"),  QStringLiteral("convert")};
    return names;
}

// The options each command takes besides the global ones (long names).
const std::set<QString>& commandOptions(const QString& command) {
    static const std::map<QString, std::set<QString>> table{
        {QStringLiteral("list"), {}},
        {QStringLiteral("info"), {}},
        {QStringLiteral("read"), {QStringLiteral("flash"), QStringLiteral("eeprom")}},
        {QStringLiteral("erase"), {}},
        {QStringLiteral("write"),
         {QStringLiteral("flash"), QStringLiteral("eeprom"), QStringLiteral("erase"),
          QStringLiteral("flash-all"), QStringLiteral("no-verify")}},
        {QStringLiteral("config"),
         {QStringLiteral("osc"), QStringLiteral("bljb"), QStringLiteral("x2"), QStringLiteral("bsb"),
          QStringLiteral("sbv"), QStringLiteral("eb"), QStringLiteral("p1cf"), QStringLiteral("p3cf"),
          QStringLiteral("p4cf"), QStringLiteral("ssb")}},
        {QStringLiteral("run"), {QStringLiteral("reset"), QStringLiteral("address")}},
        {QStringLiteral("convert"), {}},
    };
    return table.at(command);
}

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
    add({QStringLiteral("controller")}, "Controller type: 5131 (32 KB FLASH, the default) or 5130 (16 KB).",
        "5131|5130");
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
                                       !commandNames().contains(arguments[i + 1]);
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
Commands:
  list                 Each device number where something answers, with the
                       bootloader's identification.
  info                 Identification and configuration bytes of the device.
  read                 Read the chip into files: --flash FILE, --eeprom FILE.
  erase                Erase the chip (FLASH, security byte, BSB and SBV).
  write                Write files into the chip: --flash FILE, --eeprom FILE,
                       --erase, --flash-all; then read back and compare, unless
                       --no-verify.
  config               Write configuration bytes: --osc, --bljb, --x2, --bsb,
                       --sbv, --eb, --p1cf, --p3cf, --p4cf, --ssb. Bytes not
                       named keep the chip's values.
  run                  Start the application: --reset, or --address ADDR.
  convert IN OUT       Convert between Intel HEX and binary, sized by
                       --controller.

Files: ".hex" is Intel HEX, ".bin" raw binary. A name without an extension
is saved as ".hex"; any other extension is saved as Intel HEX.

Exit status:
  0  success
  1  unexpected failure inside the program
  2  usage: the command line is wrong
  3  a file is missing, or cannot be read or written
  4  a file's content is bad, or its extension is neither .hex nor .bin
  5  device not found: nothing answers at the device number, it is not
     the bootloader, access to it is denied, or it is not the controller
     given by --controller
  6  device error: the device failed or refused a request
  7  verify mismatch: what was read back differs from what was written
)");
}

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

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        error = QStringLiteral("No command given.");
        return ParseResult::Error;
    }
    out.command = positional.first();
    if (!commandNames().contains(out.command)) {
        error = QStringLiteral("Unknown command '%1'.").arg(out.command);
        return ParseResult::Error;
    }
    out.arguments = positional.mid(1);
    const qsizetype wanted = out.command == QLatin1String("convert") ? 2 : 0;
    if (out.arguments.size() != wanted) {
        error = wanted ? QStringLiteral("convert needs an input and an output file.")
                       : QStringLiteral("Unexpected argument '%1'.").arg(out.arguments.first());
        return ParseResult::Error;
    }

    // Every option named must belong to the command or be a global one.
    static const std::set<QString> global{QStringLiteral("d"),          QStringLiteral("device"),
                                          QStringLiteral("controller"), QStringLiteral("simulate"),
                                          QStringLiteral("q"),          QStringLiteral("quiet"),
                                          QStringLiteral("force")};
    const std::set<QString>& own = commandOptions(out.command);
    for (const QString& name : parser.optionNames()) {
        if (!global.count(name) && !own.count(name)) {
            error = QStringLiteral("The option --%1 does not belong to %2.").arg(name, out.command);
            return ParseResult::Error;
        }
    }

    auto fail = [&error](const QString& text) {
        error = text;
        return ParseResult::Error;
    };

    if (parser.isSet(QStringLiteral("device"))) {
        bool ok = false;
        out.device = parser.value(QStringLiteral("device")).toInt(&ok);
        if (!ok || out.device < 0 || out.device > 7)
            return fail(QStringLiteral("The device number is 0 to 7."));
    }
    if (parser.isSet(QStringLiteral("controller"))) {
        const QString c = parser.value(QStringLiteral("controller")).toUpper();
        if (c == QLatin1String("5131") || c == QLatin1String("AT89C5131"))
            out.controllerIndex = 0;
        else if (c == QLatin1String("5130") || c == QLatin1String("AT89C5130"))
            out.controllerIndex = 1;
        else
            return fail(QStringLiteral("The controller is 5131 or 5130."));
        out.controllerGiven = true;
    }
    out.force = parser.isSet(QStringLiteral("force"));
    out.simulate = parser.isSet(QStringLiteral("simulate"));
    out.simFolder = parser.value(QStringLiteral("simulate"));
    out.quiet = parser.isSet(QStringLiteral("quiet"));

    out.flashFile = parser.value(QStringLiteral("flash"));
    out.eepromFile = parser.value(QStringLiteral("eeprom"));
    if ((parser.isSet(QStringLiteral("flash")) && out.flashFile.isEmpty()) ||
        (parser.isSet(QStringLiteral("eeprom")) && out.eepromFile.isEmpty()))
        return fail(QStringLiteral("A file name is empty."));
    out.erase = parser.isSet(QStringLiteral("erase"));
    out.flashAll = parser.isSet(QStringLiteral("flash-all"));
    out.verify = !parser.isSet(QStringLiteral("no-verify"));

    if (parser.isSet(QStringLiteral("osc"))) {
        const QString mhz = parser.value(QStringLiteral("osc"));
        static const QStringList ranges{QStringLiteral("32"), QStringLiteral("16"), QStringLiteral("8")};
        if (!ranges.contains(mhz))
            return fail(QStringLiteral("The oscillator range is 32, 16 or 8 (MHz)."));
        out.oscIndex = int(ranges.indexOf(mhz));
    }
    for (const char* bit : {"bljb", "x2"}) {
        const QString name = QString::fromLatin1(bit);
        if (!parser.isSet(name))
            continue;
        const auto on = parseOnOff(parser.value(name));
        if (!on)
            return fail(QStringLiteral("--%1 is on or off.").arg(name));
        (name == QLatin1String("bljb") ? out.bljb : out.x2) = *on;
    }
    for (const ByteOption& b : kByteOptions) {
        const QString name = QString::fromLatin1(b.name);
        if (!parser.isSet(name))
            continue;
        const auto value = parseHexArgument(parser.value(name), 0xFF);
        if (!value)
            return fail(QStringLiteral("--%1 takes a hexadecimal byte, 00 to FF.").arg(name));
        out.bytes[b.field] = static_cast<std::uint8_t>(*value);
    }
    if (parser.isSet(QStringLiteral("ssb"))) {
        static const QStringList levels{QStringLiteral("none"), QStringLiteral("isp"),
                                        QStringLiteral("isp-verify")};
        const QString level = parser.value(QStringLiteral("ssb"));
        if (!levels.contains(level))
            return fail(QStringLiteral("--ssb is none, isp or isp-verify."));
        out.ssbItem = int(levels.indexOf(level));
    }

    out.reset = parser.isSet(QStringLiteral("reset"));
    if (parser.isSet(QStringLiteral("address"))) {
        const auto address = parseHexArgument(parser.value(QStringLiteral("address")), 0xFFFF);
        if (!address)
            return fail(QStringLiteral("--address takes a hexadecimal address, 0000 to FFFF."));
        out.address = static_cast<std::uint16_t>(*address);
    }

    // What each command needs.
    const bool anyFile = !out.flashFile.isEmpty() || !out.eepromFile.isEmpty();
    if ((out.command == QLatin1String("read") || out.command == QLatin1String("write")) && !anyFile)
        return fail(QStringLiteral("%1 needs --flash FILE, --eeprom FILE or both.").arg(out.command));
    if (out.command == QLatin1String("write") && out.flashFile.isEmpty() && (out.erase || out.flashAll))
        return fail(QStringLiteral("--erase and --flash-all go with --flash."));
    if (out.command == QLatin1String("config") && !out.oscIndex && !out.bljb && !out.x2 &&
        out.bytes.empty() && !out.ssbItem)
        return fail(QStringLiteral("config needs at least one byte to write."));
    if (out.reset && parser.isSet(QStringLiteral("address")))
        return fail(QStringLiteral("run takes --reset or --address, not both."));
    return ParseResult::Run;
}

} // namespace corvane::cli
