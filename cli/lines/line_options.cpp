// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/line_options.h"

#include "cli/lines/device_selection.h"

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
    SerialSpec spec;
    const auto start = parseSerialValue(*c.start);
    if (!start) {
        error = QStringLiteral("--serial takes a number, decimal or hexadecimal after 0x.");
        return false;
    }
    spec.start = *start;
    const auto place = parseSerialPlace(*c.at);
    if (!place) {
        error = QStringLiteral("--serial-at is flash:ADDR or eeprom:ADDR, the address hexadecimal.");
        return false;
    }
    spec.place = *place;
    if (c.format) {
        const auto format = parseSerialFormat(*c.format);
        if (!format) {
            error = QStringLiteral("--serial-format is hex, bcd or ascii.");
            return false;
        }
        spec.format = *format;
    }
    spec.size = spec.format == SerialFormat::Ascii ? 8 : 4;
    if (c.size) {
        bool ok = false;
        spec.size = c.size->toInt(&ok);
        if (!ok || spec.size < 1 || spec.size > kMaxSerialSize) {
            error = QStringLiteral("--serial-size is 1 to %1 bytes.").arg(kMaxSerialSize);
            return false;
        }
    }
    if (c.littleEndian && spec.format == SerialFormat::Ascii) {
        error = QStringLiteral("--serial-le goes with hex or bcd, not with ascii.");
        return false;
    }
    spec.littleEndian = c.littleEndian;
    spec.overwrite = c.overwrite;
    // The first number must fit, or no chip could take one.
    if (QString why; !encodeSerial(spec.start, spec, why)) {
        error = why;
        return false;
    }
    out.serial = spec;
    return true;
}

} // namespace

bool extractLineOptions(QStringList& arguments, LineOptions& out, QString& error) {
    QStringList kept;
    Collected serial;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (i == 0 || a == QLatin1String("--")) {
            kept << a;
            continue;
        }
        const Named n = split(a);
        // The option's value: after "=" or the next argument.
        auto value = [&]() -> std::optional<QString> {
            if (n.value)
                return n.value;
            if (i + 1 < arguments.size())
                return arguments[++i];
            error = QStringLiteral("Missing value after '%1'.").arg(n.name);
            return std::nullopt;
        };
        auto flag = [&](bool& to) {
            if (n.value) {
                error = QStringLiteral("%1 takes no value.").arg(n.name);
                return false;
            }
            to = true;
            return true;
        };
        auto take = [&](std::optional<QString>& to) {
            to = value();
            return to.has_value();
        };
        auto takeText = [&](QString& to) {
            const auto v = value();
            if (v && v->isEmpty())
                error = QStringLiteral("%1 needs a file name.").arg(n.name);
            to = v.value_or(QString());
            return v.has_value() && !v->isEmpty();
        };

        bool ok = true;
        if (n.name == QLatin1String("-d") || n.name == QLatin1String("--device")) {
            const auto v = value();
            if (!v)
                return false;
            if (!v->contains(QLatin1Char(',')) && !v->contains(QLatin1Char('-'))) {
                kept << QStringLiteral("--device=") + *v; // one number: the ordinary option
                continue;
            }
            const auto devices = parseDeviceList(*v, error);
            if (!devices)
                return false;
            out.devices = *devices;
            kept << QStringLiteral("--device=%1").arg(out.devices.front());
        } else if (n.name == QLatin1String("--all")) {
            ok = flag(out.all);
        } else if (n.name == QLatin1String("--json")) {
            ok = flag(out.json);
        } else if (n.name == QLatin1String("--serial")) {
            ok = take(serial.start);
        } else if (n.name == QLatin1String("--serial-at")) {
            ok = take(serial.at);
        } else if (n.name == QLatin1String("--serial-size")) {
            ok = take(serial.size);
        } else if (n.name == QLatin1String("--serial-format")) {
            ok = take(serial.format);
        } else if (n.name == QLatin1String("--serial-le")) {
            ok = flag(serial.littleEndian);
        } else if (n.name == QLatin1String("--serial-overwrite")) {
            ok = flag(serial.overwrite);
        } else if (n.name == QLatin1String("--serial-file")) {
            ok = takeText(out.serialFile);
        } else if (n.name == QLatin1String("--serial-log")) {
            ok = takeText(out.serialLog);
        } else {
            kept << a;
        }
        if (!ok)
            return false;
    }
    if (out.all && !out.devices.empty()) {
        error = QStringLiteral("Give a device list or --all, not both.");
        return false;
    }
    if (!serialSpec(serial, out, error))
        return false;
    arguments = kept;
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
