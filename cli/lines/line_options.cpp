// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/line_options.h"

#include "cli/lines/device_selection.h"

#include <map>

namespace corvane::lines {

namespace {

constexpr int kMaxSerialSize = 16;

// One option's name and, for "--name=value", its value.
struct Named {
    QString name;
    std::optional<QString> value;
};

Named split(const QString& argument) {
    const qsizetype eq = argument.indexOf(QLatin1Char('='));
    if (argument.startsWith(QLatin1String("--")) && eq > 0)
        return {argument.left(eq), argument.mid(eq + 1)};
    return {argument, std::nullopt};
}

struct Collected {
    std::optional<QString> start, at, size, format;
    bool littleEndian = false, overwrite = false;
};

bool serialSpec(const Collected& c, LineOptions& out, QString& error) {
    const bool any = c.start || c.at || c.size || c.format || c.littleEndian || c.overwrite ||
                     !out.serialFile.isEmpty() || !out.serialLog.isEmpty();
    if (!any)
        return true;
    if (!c.start || !c.at) {
        error =
            QStringLiteral("Serial numbers need --serial START and --serial-at flash:ADDR or eeprom:ADDR.");
        return false;
    }
    SerialLayout layout;
    const auto start = parseSerialValue(*c.start);
    if (!start) {
        error = QStringLiteral("--serial takes a number, decimal or hexadecimal after 0x.");
        return false;
    }
    layout.start = *start;
    const auto place = parseSerialPlace(*c.at);
    if (!place) {
        error = QStringLiteral("--serial-at is flash:ADDR or eeprom:ADDR, the address hexadecimal.");
        return false;
    }
    layout.place = *place;
    if (c.format) {
        const auto format = parseSerialFormat(*c.format);
        if (!format) {
            error = QStringLiteral("--serial-format is hex, bcd or ascii.");
            return false;
        }
        layout.format = *format;
    }
    layout.size = layout.format == SerialFormat::Ascii ? 8 : 4;
    if (c.size) {
        bool ok = false;
        layout.size = c.size->toInt(&ok);
        if (!ok || layout.size < 1 || layout.size > kMaxSerialSize) {
            error = QStringLiteral("--serial-size is 1 to %1 bytes.").arg(kMaxSerialSize);
            return false;
        }
    }
    if (c.littleEndian && layout.format == SerialFormat::Ascii) {
        error = QStringLiteral("--serial-le goes with hex or bcd, not with ascii.");
        return false;
    }
    layout.littleEndian = c.littleEndian;
    layout.overwrite = c.overwrite;
    // The first number must fit, or no chip could take one.
    if (QString why; !encodeSerial(layout.start, layout, why)) {
        error = why;
        return false;
    }
    out.serial = layout;
    return true;
}

} // namespace

namespace {

// Reads the arguments one by one: the line options go into out and serial,
// everything else is kept for the ordinary parser.
class LineArguments {
public:
    LineArguments(const QStringList& arguments, LineOptions& out, Collected& serial, QString& error)
        : arguments_(arguments), out_(out), serial_(serial), error_(error) {}

    // False with error set when an option is given wrongly.
    bool read() {
        bool ordinaryOnly = false; // after "--"
        for (i_ = 0; i_ < arguments_.size(); ++i_) {
            const QString& a = arguments_[i_];
            if (i_ == 0 || ordinaryOnly || a == QLatin1String("--")) {
                ordinaryOnly = ordinaryOnly || (i_ > 0 && a == QLatin1String("--"));
                kept_ << a;
                continue;
            }
            name_ = split(a);
            const auto taken = take();
            if (!taken)
                kept_ << a;
            else if (!*taken)
                return false;
        }
        return true;
    }
    const QStringList& kept() const { return kept_; }

private:
    // True or false when the argument is a line option (false: given
    // wrongly); std::nullopt when it is not one.
    std::optional<bool> take() {
        const QString& n = name_.name;
        if (n == QLatin1String("-d") || n == QLatin1String("--device"))
            return devices();
        if (n == QLatin1String("--all"))
            return flag(out_.all);
        if (n == QLatin1String("--json"))
            return flag(out_.json);
        if (n == QLatin1String("--serial-le"))
            return flag(serial_.littleEndian);
        if (n == QLatin1String("--serial-overwrite"))
            return flag(serial_.overwrite);
        if (n == QLatin1String("--serial-file"))
            return fileName(out_.serialFile);
        if (n == QLatin1String("--serial-log"))
            return fileName(out_.serialLog);
        static const std::map<QString, std::optional<QString> Collected::*> values{
            {QStringLiteral("--serial"), &Collected::start},
            {QStringLiteral("--serial-at"), &Collected::at},
            {QStringLiteral("--serial-size"), &Collected::size},
            {QStringLiteral("--serial-format"), &Collected::format},
        };
        if (const auto it = values.find(n); it != values.end()) {
            serial_.*(it->second) = value();
            return (serial_.*(it->second)).has_value();
        }
        return std::nullopt;
    }

    // The option's value: after "=" or the next argument.
    std::optional<QString> value() {
        if (name_.value)
            return name_.value;
        if (i_ + 1 < arguments_.size())
            return arguments_[++i_];
        error_ = QStringLiteral("Missing value after '%1'.").arg(name_.name);
        return std::nullopt;
    }

    bool flag(bool& to) {
        if (name_.value) {
            error_ = QStringLiteral("%1 takes no value.").arg(name_.name);
            return false;
        }
        to = true;
        return true;
    }

    bool fileName(QString& to) {
        const auto v = value();
        if (v && v->isEmpty())
            error_ = QStringLiteral("%1 needs a file name.").arg(name_.name);
        to = v.value_or(QString());
        return v.has_value() && !v->isEmpty();
    }

    bool devices() {
        const auto v = value();
        if (!v)
            return false;
        if (!v->contains(QLatin1Char(',')) && !v->contains(QLatin1Char('-'))) {
            kept_ << QStringLiteral("--device=") + *v; // one number: the ordinary option
            return true;
        }
        const auto devices = parseDeviceList(*v, error_);
        if (!devices)
            return false;
        out_.devices = *devices;
        kept_ << QStringLiteral("--device=%1").arg(out_.devices.front());
        return true;
    }

    const QStringList& arguments_;
    LineOptions& out_;
    Collected& serial_;
    QString& error_;
    QStringList kept_;
    qsizetype i_ = 0;
    Named name_;
};

} // namespace

bool extractLineOptions(QStringList& arguments, LineOptions& out, QString& error) {
    Collected serial;
    LineArguments reader(arguments, out, serial, error);
    if (!reader.read())
        return false;
    if (out.all && !out.devices.empty()) {
        error = QStringLiteral("Give a device list or --all, not both.");
        return false;
    }
    if (!serialSpec(serial, out, error))
        return false;
    arguments = reader.kept();
    return true;
}

QString checkLineOptions(const LineOptions& options, const QString& command, bool flashFile,
                         bool eepromFile) {
    const bool deviceCommand = command != QLatin1String("convert") && command != QLatin1String("list");
    if ((options.all || !options.devices.empty()) && !deviceCommand)
        return QStringLiteral("%1 takes no device list and no --all.").arg(command);
    if (options.json && command == QLatin1String("convert"))
        return QStringLiteral("convert has no --json.");
    if (options.serial && command != QLatin1String("write"))
        return QStringLiteral("Serial numbers go with write.");
    if (options.serial && options.serial->place.memory == MEM_FLASH && !flashFile)
        return QStringLiteral("A serial number in FLASH goes with --flash FILE.");
    (void)eepromFile; // without an EEPROM file only the serial's bytes are written there
    return {};
}

QString lineHelpText() {
    return QStringLiteral(R"(
Options for several devices and production lines:
  A device list after -d or --device names numbers and ranges ("0,2-5").
  Each device runs on its own, at the same time as the others; each line of
  output begins with its device number, and a summary table follows (device,
  result, seconds, bytes written, verify). The exit status is that of the
  first failing device in device order.
  --all                Every attached bootloader (on the simulated bench, every
                       slot that holds a chip).
  --json               list, info and every command's summary as one JSON
                       document on stdout instead of text, also on failure.
                       README.md lists its fields.
  read with several devices saves each into FILE with "-N" before its
  extension ("flash.hex" becomes "flash-3.hex" for device 3).
  write with --erase programs only the 128-byte FLASH pages that hold data and
  confirms the pages left blank with the bootloader's blank check.

Serial number options (write):
  --serial <START>     The first number; each device gets the next one, in
                       device order. Decimal, or hexadecimal after 0x.
  --serial-at <WHERE>  flash:ADDR or eeprom:ADDR, the address hexadecimal.
  --serial-size <N>    Bytes, 1 to 16 (default 4; 8 for ascii).
  --serial-format <hex|bcd|ascii>
                       hex: binary (default); bcd: two decimal digits a byte;
                       ascii: decimal digits, zero-padded.
  --serial-le          Least significant byte first (hex, bcd).
  --serial-overwrite   The serial number may replace bytes of the image.
  --serial-file <COUNTER>
                       Counter file shared between runs and stations: the next
                       number is read from it (START while it is new or empty)
                       and the one after it stored, under a file lock.
  --serial-log <CSV>   Log with one row per device: time, device, serial,
                       result. A number is used up once written, also when the
                       device then fails.
)");
}

} // namespace corvane::lines
