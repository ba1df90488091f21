// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include "cli/commands.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <functional>

namespace corvane::cli {

namespace {

constexpr int kMaxSerialSize = 16;

// One option of the table: its names, the value it takes (empty: none), the
// help and where it belongs (empty: every command).
struct OptionSpec {
    const char* shortName;
    const char* longName;
    const char* value;
    const char* help;
};

QString controllerValues() {
    QStringList names;
    for (const ChipVariant& v : kChipVariants)
        names << QString::fromLatin1(v.shortName);
    return names.join(QLatin1Char('|'));
}

const std::vector<OptionSpec>& optionTable() {
    static const std::vector<OptionSpec> table{
        {"d", "device", "N",
         "Device number, 0 to 7 (default 0), or a list of numbers and ranges such as 0,2-5."},
        {nullptr, "all", nullptr,
         "Every attached bootloader (on the simulated bench, every slot that holds a chip)."},
        {nullptr, "controller", "TYPE", nullptr},
        {nullptr, "force", nullptr,
         "Go on when the chip is not the type given by --controller, or not the "
         "default type when none is given."},
        {nullptr, "simulate", "=FOLDER",
         "Use the simulated bench: the state folder FOLDER, or without it the folder named by "
         "CORVANE_SIM_DIR."},
        {nullptr, "json", nullptr, "Print one JSON document on stdout instead of the text, also on failure."},
        {"q", "quiet", nullptr, "Print no status and no progress, only failures."},
        {"h", "help", nullptr, "Show this help."},
        {nullptr, "version", nullptr, "Show the version."},
        {nullptr, "flash", "FILE", "read, write: FLASH file (.hex or .bin)."},
        {nullptr, "eeprom", "FILE", "read, write: EEPROM file (.hex or .bin)."},
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

const QStringList& globalOptions() {
    static const QStringList names{
        QStringLiteral("device"), QStringLiteral("all"),      QStringLiteral("controller"),
        QStringLiteral("force"),  QStringLiteral("simulate"), QStringLiteral("json"),
        QStringLiteral("quiet"),  QStringLiteral("help"),     QStringLiteral("version")};
    return names;
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

const OptionSpec* findOption(const QString& name, bool shortForm) {
    for (const OptionSpec& o : optionTable()) {
        const char* n = shortForm ? o.shortName : o.longName;
        if (n && name == QLatin1String(n))
            return &o;
    }
    return nullptr;
}

std::optional<bool> parseOnOff(const QString& text) {
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

int editDistance(const QString& a, const QString& b) {
    std::vector<int> row(std::size_t(b.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[std::size_t(j)];
            row[std::size_t(j)] =
                std::min({above + 1, row[std::size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

// The values given, by long name, in the order given; flags hold "".
using Given = std::vector<std::pair<QString, QString>>;

// Splits the arguments into options and positional words. Returns the
// usage error, or an empty text.
QString tokenize(const QStringList& arguments, Given& given, QStringList& positional) {
    bool onlyPositional = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (onlyPositional || a == QLatin1String("-") || !a.startsWith(QLatin1Char('-'))) {
            positional << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        const bool longForm = a.startsWith(QLatin1String("--"));
        QString name = longForm ? a.mid(2) : a.mid(1, 1);
        std::optional<QString> value;
        if (longForm && name.contains(QLatin1Char('='))) {
            value = name.mid(name.indexOf(QLatin1Char('=')) + 1);
            name = name.left(name.indexOf(QLatin1Char('=')));
        } else if (!longForm && a.size() > 2) {
            value = a.mid(2);
        }
        const OptionSpec* spec = findOption(name, !longForm);
        if (!spec) {
            QStringList known;
            for (const OptionSpec& o : optionTable())
                known << QStringLiteral("--") + QLatin1String(o.longName);
            const QString shown = longForm ? QStringLiteral("--") + name : QStringLiteral("-") + name;
            const auto near = nearestName(shown, known);
            return near ? QStringLiteral("unknown option '%1'; did you mean '%2'?").arg(shown, *near)
                        : QStringLiteral("unknown option '%1'").arg(shown);
        }
        const QString longName = QLatin1String(spec->longName);
        const bool optionalValue = spec->value && spec->value[0] == '=';
        if (!spec->value || optionalValue) {
            if (value && !optionalValue)
                return QStringLiteral("--%1 takes no value").arg(longName);
            if (value && value->isEmpty())
                return QStringLiteral("--%1= needs a %2")
                    .arg(longName, QString::fromLatin1(spec->value + 1).toLower());
            given.emplace_back(longName, value.value_or(QString()));
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                return QStringLiteral("--%1 needs a value (%2)").arg(longName, QLatin1String(spec->value));
            value = arguments[++i];
        }
        given.emplace_back(longName, *value);
    }
    return {};
}

class Reader {
public:
    Reader(const Given& given, CommandLine& out) : given_(given), out_(out) {}

    bool has(const char* name) const { return value(name).has_value(); }
    std::optional<QString> value(const char* name) const {
        std::optional<QString> last;
        for (const auto& [n, v] : given_) {
            if (n == QLatin1String(name))
                last = v;
        }
        return last;
    }

    QString devices() {
        if (const auto d = value("device")) {
            QString error;
            const auto list = parseDeviceList(*d, error);
            if (!list)
                return error;
            out_.devices = *list;
            out_.deviceListGiven = d->contains(QLatin1Char(',')) || d->contains(QLatin1Char('-'));
        }
        out_.all = has("all");
        if (out_.all && has("device"))
            return QStringLiteral("Give a device list or --all, not both.");
        out_.deviceListGiven = out_.deviceListGiven || out_.all;
        return {};
    }

    QString globals() {
        if (const auto c = value("controller")) {
            const auto index = chipVariantIndex(c->toStdString());
            if (!index)
                return QStringLiteral("The controller is %1.").arg(controllerValues().replace('|', " or "));
            out_.controllerIndex = *index;
            out_.controllerGiven = true;
        }
        out_.force = has("force");
        out_.simulate = has("simulate");
        out_.simFolder = value("simulate").value_or(QString());
        out_.quiet = has("quiet");
        return {};
    }

    QString files() {
        out_.flashFile = value("flash").value_or(QString());
        out_.eepromFile = value("eeprom").value_or(QString());
        if ((has("flash") && out_.flashFile.isEmpty()) || (has("eeprom") && out_.eepromFile.isEmpty()))
            return QStringLiteral("A file name is empty.");
        out_.erase = has("erase");
        out_.flashAll = has("flash-all");
        out_.verify = !has("no-verify");
        out_.truncate = has("truncate");
        return {};
    }

    QString config() {
        ConfigChange& c = out_.config;
        if (const auto mhz = value("osc")) {
            bool ok = false;
            const int v = mhz->toInt(&ok);
            if (!ok || (v != 32 && v != 16 && v != 8))
                return QStringLiteral("The oscillator range is 32, 16 or 8 (MHz).");
            c.oscMegahertz = v;
        }
        for (const char* bit : {"bljb", "x2"}) {
            if (const auto text = value(bit)) {
                const auto on = parseOnOff(*text);
                if (!on)
                    return QStringLiteral("--%1 is on or off.").arg(QLatin1String(bit));
                (QLatin1String(bit) == QLatin1String("bljb") ? c.bljb : c.x2) = *on;
            }
        }
        static constexpr std::array<std::pair<const char*, ConfigId>, 6> kBytes{{{"bsb", ConfigId::BSB},
                                                                                 {"sbv", ConfigId::SBV},
                                                                                 {"eb", ConfigId::EB},
                                                                                 {"p1cf", ConfigId::P1CF},
                                                                                 {"p3cf", ConfigId::P3CF},
                                                                                 {"p4cf", ConfigId::P4CF}}};
        for (const auto& [name, id] : kBytes) {
            if (const auto text = value(name)) {
                const auto v = parseHexArgument(*text, 0xFF);
                if (!v)
                    return QStringLiteral("--%1 takes a hexadecimal byte, 00 to FF.")
                        .arg(QLatin1String(name));
                c.bytes[id] = std::uint8_t(*v);
            }
        }
        if (const auto level = value("ssb")) {
            static const QStringList levels{QStringLiteral("none"), QStringLiteral("isp"),
                                            QStringLiteral("isp-verify")};
            static constexpr int kLevels[] = {3, 2, 0};
            if (!levels.contains(*level))
                return QStringLiteral("--ssb is none, isp or isp-verify.");
            c.securityLevel = kLevels[levels.indexOf(*level)];
        }
        return {};
    }

    QString run() {
        out_.reset = has("reset");
        if (const auto a = value("address")) {
            const auto address = parseHexArgument(*a, 0xFFFF);
            if (!address)
                return QStringLiteral("--address takes a hexadecimal address, 0000 to FFFF.");
            out_.address = std::uint16_t(*address);
            out_.addressGiven = true;
        }
        return {};
    }

    QString serial();

private:
    const Given& given_;
    CommandLine& out_;
};

QString Reader::serial() {
    const bool any = has("serial") || has("serial-at") || has("serial-size") || has("serial-format") ||
                     has("serial-le") || has("serial-overwrite") || has("serial-file") || has("serial-log");
    out_.serialFile = value("serial-file").value_or(QString());
    out_.serialLog = value("serial-log").value_or(QString());
    if (!any)
        return {};
    if ((has("serial-file") && out_.serialFile.isEmpty()) || (has("serial-log") && out_.serialLog.isEmpty()))
        return QStringLiteral("A file name is empty.");
    if (!has("serial") || !has("serial-at"))
        return QStringLiteral(
            "Serial numbers need --serial START and --serial-at flash:ADDR or eeprom:ADDR.");
    SerialLayout layout;
    const auto start = parseSerialValue(*value("serial"));
    if (!start)
        return QStringLiteral("--serial takes a number, decimal or hexadecimal after 0x.");
    layout.start = *start;
    const auto place = parseSerialPlace(*value("serial-at"));
    if (!place)
        return QStringLiteral("--serial-at is flash:ADDR or eeprom:ADDR, the address hexadecimal.");
    layout.place = *place;
    if (const auto f = value("serial-format")) {
        const auto format = parseSerialFormat(*f);
        if (!format)
            return QStringLiteral("--serial-format is hex, bcd or ascii.");
        layout.format = *format;
    }
    layout.size = layout.format == SerialFormat::Ascii ? 8 : 4;
    if (const auto size = value("serial-size")) {
        bool ok = false;
        layout.size = size->toInt(&ok);
        if (!ok || layout.size < 1 || layout.size > kMaxSerialSize)
            return QStringLiteral("--serial-size is 1 to %1 bytes.").arg(kMaxSerialSize);
    }
    if (has("serial-le") && layout.format == SerialFormat::Ascii)
        return QStringLiteral("--serial-le goes with hex or bcd, not with ascii.");
    layout.littleEndian = has("serial-le");
    layout.overwrite = has("serial-overwrite");
    out_.serial = layout;
    return {};
}

QString checkCommand(const Given& given, const QStringList& positional, CommandLine& out) {
    if (positional.isEmpty())
        return QStringLiteral("No command given.");
    out.command = positional.first();
    const Command* command = findCommand(out.command);
    if (!command) {
        QStringList known;
        for (const Command& c : commands())
            known << QString::fromLatin1(c.name);
        const auto near = nearestName(out.command, known);
        return near ? QStringLiteral("unknown command '%1'; did you mean '%2'?").arg(out.command, *near)
                    : QStringLiteral("unknown command '%1'").arg(out.command);
    }
    out.arguments = positional.mid(1);
    if (out.arguments.size() != command->argumentCount) {
        return command->argumentCount
                   ? QStringLiteral("%1 needs %2.").arg(out.command, command->argumentsNeeded)
                   : QStringLiteral("Unexpected argument '%1'.").arg(out.arguments.first());
    }
    // Every option named must belong to the command or be a global one.
    for (const auto& [name, value] : given) {
        (void)value;
        const bool deviceOption = name == QLatin1String("device") || name == QLatin1String("all") ||
                                  name == QLatin1String("json") || name == QLatin1String("force");
        if ((globalOptions().contains(name) && (command->device || !deviceOption)) ||
            command->options.contains(name))
            continue;
        return QStringLiteral("The option --%1 does not belong to %2.").arg(name, out.command);
    }
    return {};
}

} // namespace

std::optional<QString> nearestName(const QString& text, const QStringList& known) {
    std::optional<QString> best;
    int bestDistance = 3;
    for (const QString& name : known) {
        const int d = editDistance(text, name);
        if (d < bestDistance) {
            bestDistance = d;
            best = name;
        }
    }
    return best;
}

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

std::optional<std::vector<int>> parseDeviceList(const QString& text, QString& error) {
    std::array<bool, kDeviceCount> named{};
    auto number = [](const QString& t) -> std::optional<int> {
        if (t.size() != 1 || t[0] < QLatin1Char('0') || t[0] > QLatin1Char('7'))
            return std::nullopt;
        return t[0].unicode() - '0';
    };
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString item = raw.trimmed();
        const QStringList ends = item.split(QLatin1Char('-'));
        const auto low = number(ends.first().trimmed());
        const auto high = ends.size() == 2 ? number(ends.last().trimmed()) : low;
        if (item.isEmpty() || ends.size() > 2 || !low || !high) {
            error = QStringLiteral("Bad device list '%1': give numbers 0 to 7 and ranges such as 0,2-5.")
                        .arg(text);
            return std::nullopt;
        }
        if (*high < *low) {
            error = QStringLiteral("Bad device range '%1': the first number is the lower one.").arg(item);
            return std::nullopt;
        }
        for (int n = *low; n <= *high; ++n) {
            if (named[std::size_t(n)]) {
                error = QStringLiteral("Device %1 is named twice.").arg(n);
                return std::nullopt;
            }
            named[std::size_t(n)] = true;
        }
    }
    std::vector<int> devices;
    for (int n = 0; n < kDeviceCount; ++n) {
        if (named[std::size_t(n)])
            devices.push_back(n);
    }
    return devices;
}

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

Files: ".hex" is Intel HEX, ".bin" raw binary. A name without an extension
is saved as ".hex"; any other extension is saved as Intel HEX.

Signals: SIGINT, SIGTERM and SIGHUP stop every device between two requests;
the summary still follows. A second signal ends the program at once.

Exit status:
  0  success
  1  unexpected failure inside the program
  2  usage: the command line is wrong
  3  a file is missing, or cannot be read or written
  4  a file's content is bad, or its extension is neither .hex nor .bin
  5  device not found: nothing answers at the device number, it is not
     the bootloader, access to it is denied, another program holds it, or
     it is not the controller given by --controller
  6  device error: the device failed or refused a request
  7  verify mismatch: what was read back differs from what was written
  8  stopped by a signal
)")
                      .arg(commandsHelp());
}

ParseResult parseCommandLine(const QStringList& arguments, CommandLine& out, QString& error) {
    out.json = arguments.contains(QStringLiteral("--json"));
    Given given;
    QStringList positional;
    error = tokenize(arguments, given, positional);
    if (!error.isEmpty())
        return ParseResult::Error;
    Reader reader(given, out);
    if (reader.has("help"))
        return ParseResult::Help;
    if (reader.has("version"))
        return ParseResult::Version;
    for (const std::function<QString()>& step : std::initializer_list<std::function<QString()>>{
             [&] { return checkCommand(given, positional, out); }, [&] { return reader.devices(); },
             [&] { return reader.globals(); }, [&] { return reader.files(); },
             [&] { return reader.serial(); }, [&] { return reader.config(); },
             [&] { return reader.run(); }}) {
        error = step();
        if (!error.isEmpty())
            return ParseResult::Error;
    }
    out.json = reader.has("json");
    error = findCommand(out.command)->check(out);
    return error.isEmpty() ? ParseResult::Run : ParseResult::Error;
}

} // namespace corvane::cli
