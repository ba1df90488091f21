// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include "cli/commands.h"
#include "cli/option_table.h"
#include "image/stream_names.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <functional>

namespace corvane::cli {

namespace {

constexpr int kMaxSerialSize = 16;

QString formatUsage() {
    return QStringLiteral("--format is ihex, srec or bin, or two of them as FLASH,EEPROM (convert: IN,OUT), "
                          "one of them left empty to go by the extension.");
}

std::optional<ImageFormat> formatNamed(const QString& name) {
    if (name == QLatin1String("ihex"))
        return ImageFormat::IntelHex;
    if (name == QLatin1String("srec"))
        return ImageFormat::SRecord;
    if (name == QLatin1String("bin"))
        return ImageFormat::Binary;
    return std::nullopt;
}

const QStringList& globalOptions() {
    static const QStringList names{
        QStringLiteral("device"), QStringLiteral("all"),      QStringLiteral("controller"),
        QStringLiteral("force"),  QStringLiteral("simulate"), QStringLiteral("json"),
        QStringLiteral("quiet"),  QStringLiteral("verbose"),  QStringLiteral("wait"),
        QStringLiteral("repeat"), QStringLiteral("help"),     QStringLiteral("version")};
    return names;
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

// What an option's value after "=" is, for its error: "a folder".
QString valueNoun(const OptionSpec& spec) {
    const QString noun = QString::fromLatin1(spec.value + 1).toLower();
    return noun == QLatin1String("seconds") ? QStringLiteral("a number of seconds")
                                            : QStringLiteral("a ") + noun;
}

// The values given, by long name, in the order given; flags hold "".
using Given = std::vector<std::pair<QString, QString>>;

// The error for an option nobody knows, with the nearest known name.
QString unknownOption(const QString& shown) {
    QStringList known;
    for (const OptionSpec& o : optionTable())
        known << QStringLiteral("--") + QLatin1String(o.longName);
    const auto near = nearestName(shown, known);
    return near ? QStringLiteral("unknown option '%1'; did you mean '%2'?").arg(shown, *near)
                : QStringLiteral("unknown option '%1'").arg(shown);
}

// "--name=value", "--name", "-xVALUE" or "-x": the name and the value given
// in the same word.
std::pair<QString, std::optional<QString>> splitOption(const QString& a, bool longForm) {
    if (!longForm)
        return {a.mid(1, 1), a.size() > 2 ? std::optional(a.mid(2)) : std::nullopt};
    const qsizetype eq = a.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {a.mid(2), std::nullopt};
    return {a.mid(2, eq - 2), a.mid(eq + 1)};
}

// Splits the arguments into options and positional words. Returns the
// usage error, or an empty text.
// flagsHere: options that take no value for the command at hand (--flash
// and --eeprom of blank-check).
QString tokenize(const QStringList& arguments, Given& given, QStringList& positional,
                 const QStringList& flagsHere = {}) {
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
        auto [name, value] = splitOption(a, longForm);
        const OptionSpec* spec = findOption(name, !longForm);
        if (!spec)
            return unknownOption((longForm ? QStringLiteral("--") : QStringLiteral("-")) + name);
        const QString longName = QLatin1String(spec->longName);
        const bool optionalValue = spec->value && spec->value[0] == '=';
        if (!spec->value || optionalValue || flagsHere.contains(longName)) {
            if (value && !optionalValue)
                return QStringLiteral("--%1 takes no value").arg(longName);
            if (value && value->isEmpty())
                return QStringLiteral("--%1= needs %2").arg(longName, valueNoun(*spec));
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
            const auto selection = parseDeviceSelection(*d, error);
            if (!selection)
                return error;
            out_.devices = selection->numbers;
            out_.devicePaths = selection->paths;
            out_.deviceGiven = true;
            out_.deviceListGiven = selection->list;
        }
        out_.all = has("all");
        if (out_.all && has("device"))
            return QStringLiteral("Give a device list or --all, not both.");
        out_.deviceListGiven = out_.deviceListGiven || out_.all;
        return {};
    }

    QString station() {
        out_.wait = has("wait");
        if (const auto seconds = value("wait"); seconds && !seconds->isEmpty()) {
            bool ok = seconds->size() <= 9;
            for (QChar c : *seconds)
                ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
            if (!ok)
                return QStringLiteral("--wait= takes a whole number of seconds, 0 or more.");
            out_.waitSeconds = seconds->toInt();
        }
        out_.repeat = has("repeat");
        if (out_.repeat && out_.command == QLatin1String("list"))
            return QStringLiteral("--repeat goes with a command that works on each board, not with list.");
        if (out_.repeat && out_.command == QLatin1String("read"))
            return QStringLiteral("--repeat does not go with read: each board would replace the files of the "
                                  "one before.");
        if (out_.repeat && out_.deviceListGiven)
            return QStringLiteral("--repeat works at one socket: give one device (-d N or -d PATH) or none, "
                                  "not a list or --all.");
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
        out_.verbose = has("verbose");
        return {};
    }

    QString files() {
        if (out_.command == QLatin1String("blank-check")) {
            // Neither named: FLASH.
            out_.checkEeprom = has("eeprom");
            out_.checkFlash = has("flash") || !out_.checkEeprom;
            return {};
        }
        out_.flashFile = value("flash").value_or(QString());
        out_.eepromFile = value("eeprom").value_or(QString());
        if ((has("flash") && out_.flashFile.isEmpty()) || (has("eeprom") && out_.eepromFile.isEmpty()))
            return QStringLiteral("A file name is empty.");
        out_.erase = has("erase");
        out_.eepromWhole = has("eeprom-whole");
        out_.flashAll = has("flash-all");
        out_.verify = !has("no-verify");
        out_.truncate = has("truncate");
        return {};
    }

    QString formats() {
        const auto text = value("format");
        if (!text)
            return {};
        const QStringList parts = text->split(QLatin1Char(','));
        std::array<std::optional<ImageFormat>, 2> chosen;
        bool any = false;
        for (qsizetype i = 0; i < parts.size() && parts.size() <= 2; ++i) {
            if (parts[i].isEmpty())
                continue;
            chosen[std::size_t(i)] = formatNamed(parts[i]);
            if (!chosen[std::size_t(i)])
                return formatUsage();
            any = true;
        }
        if (!any || parts.size() > 2)
            return formatUsage();
        out_.firstFormat = chosen[0];
        out_.secondFormat = parts.size() == 1 ? chosen[0] : chosen[1];
        return {};
    }

    // "-" and the names of the program's descriptors: a stream can be read
    // or written once, and standard output may carry the tool's own text.
    QString streams() const {
        if (out_.command == QLatin1String("blank-check") || out_.command == QLatin1String("convert"))
            return {};
        const bool read = out_.command == QLatin1String("read");
        const int standard = read ? 1 : 0;
        auto stream = [standard](const QString& name) -> std::optional<int> {
            if (name.isEmpty())
                return std::nullopt;
            return isStandardStreamName(name) ? std::optional<int>(standard) : descriptorNamed(name);
        };
        const std::optional<int> flash = stream(out_.flashFile);
        const std::optional<int> eeprom = stream(out_.eepromFile);
        if (flash && flash == eeprom) {
            const QString which = *flash == standard
                                      ? QString::fromLatin1(read ? "standard output" : "standard input")
                                      : QStringLiteral("descriptor %1").arg(*flash);
            return read
                       ? QStringLiteral("--flash and --eeprom both write %1; each memory needs its own file.")
                             .arg(which)
                       : QStringLiteral("--flash and --eeprom both read %1; a stream can be read only once.")
                             .arg(which);
        }
        if (read && (flash == 1 || eeprom == 1) && (has("json") || out_.severalDevices()))
            return QStringLiteral(
                "Standard output carries the tool's own text with --json or several devices: "
                "name a file to read into.");
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
                                  name == QLatin1String("json") || name == QLatin1String("force") ||
                                  name == QLatin1String("wait") || name == QLatin1String("repeat");
        // --format goes with every command that names files: convert, and
        // those that take --flash FILE (blank-check's --flash is a flag).
        const bool namesFiles =
            command->argumentCount > 0 || (command->options.contains(QStringLiteral("flash")) &&
                                           out.command != QLatin1String("blank-check"));
        if ((globalOptions().contains(name) && (command->device || !deviceOption)) ||
            command->options.contains(name) || (name == QLatin1String("format") && namesFiles))
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

ParseResult parseCommandLine(const QStringList& arguments, CommandLine& out, QString& error) {
    out.json = arguments.contains(QStringLiteral("--json"));
    Given given;
    QStringList positional;
    error = tokenize(arguments, given, positional);
    // blank-check takes --flash and --eeprom without files.
    if ((!positional.isEmpty() && positional.first() == QLatin1String("blank-check")) ||
        (!error.isEmpty() && arguments.contains(QStringLiteral("blank-check")))) {
        given.clear();
        positional.clear();
        error = tokenize(arguments, given, positional, {QStringLiteral("flash"), QStringLiteral("eeprom")});
    }
    if (!error.isEmpty())
        return ParseResult::Error;
    Reader reader(given, out);
    if (reader.has("help"))
        return ParseResult::Help;
    if (reader.has("version"))
        return ParseResult::Version;
    for (const std::function<QString()>& step : std::initializer_list<std::function<QString()>>{
             [&] { return checkCommand(given, positional, out); }, [&] { return reader.devices(); },
             [&] { return reader.station(); }, [&] { return reader.globals(); },
             [&] { return reader.files(); }, [&] { return reader.formats(); },
             [&] { return reader.streams(); }, [&] { return reader.serial(); },
             [&] { return reader.config(); }, [&] { return reader.run(); }}) {
        error = step();
        if (!error.isEmpty())
            return ParseResult::Error;
    }
    out.json = reader.has("json");
    error = findCommand(out.command)->check(out);
    return error.isEmpty() ? ParseResult::Run : ParseResult::Error;
}

} // namespace corvane::cli
