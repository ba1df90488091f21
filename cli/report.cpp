// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/report.h"

#include <QStringList>

namespace corvane::cli {

namespace {

QString hex2(std::uint8_t v) {
    return QString::number(v, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString securityText(std::uint8_t ssb) {
    switch (securityLevel(ssb)) {
    case 3:
        return QStringLiteral("level 3, no program locks");
    case 2:
        return QStringLiteral("level 2, ISP disabled");
    default:
        return QStringLiteral("level %1, ISP and verify disabled").arg(securityLevel(ssb));
    }
}

} // namespace

int RunReport::exitStatus() const {
    if (!outcome.ok())
        return outcome.exitStatus();
    for (const ChipReport& c : chips) {
        if (!c.ok() && !c.listed)
            return c.outcome.exitStatus();
    }
    return ExitOk;
}

QString verifyName(Verify v) {
    switch (v) {
    case Verify::NotAsked:
        return QStringLiteral("not-asked");
    case Verify::Passed:
        return QStringLiteral("passed");
    case Verify::Mismatch:
        return QStringLiteral("mismatch");
    case Verify::NotReached:
        return QStringLiteral("not-reached");
    }
    return {};
}

QString summaryTable(const RunReport& report) {
    QStringList results;
    int width = 6; // "Result"
    for (const ChipReport& c : report.chips) {
        results << (c.ok() ? QStringLiteral("ok") : failureName(c.outcome.failure));
        width = std::max(width, int(results.back().size()));
    }
    // The bytes column tells what the command moved: written, or read.
    const bool reads = report.command == QLatin1String("read") || report.command == QLatin1String("verify");
    QStringList lines;
    lines << QStringLiteral("Device  %1  Seconds  %2  Verify")
                 .arg(QStringLiteral("Result"), -width)
                 .arg(reads ? QStringLiteral("   Bytes read") : QStringLiteral("Bytes written"));
    QStringList failures;
    for (std::size_t i = 0; i < report.chips.size(); ++i) {
        const ChipReport& c = report.chips[i];
        lines << QStringLiteral("%1  %2  %3  %4  %5")
                     .arg(c.device, 6)
                     .arg(results[qsizetype(i)], -width)
                     .arg(c.seconds, 7, 'f', 2)
                     .arg(reads ? c.bytesRead : c.bytesWritten, 13)
                     .arg(verifyName(c.verify));
        if (!c.ok())
            failures << QStringLiteral("device %1: %2").arg(c.device).arg(c.outcome.message);
    }
    const std::size_t good = report.chips.size() - std::size_t(failures.size());
    lines << QStringLiteral("%1 of %2 device(s) succeeded in %3 s.")
                 .arg(good)
                 .arg(report.chips.size())
                 .arg(report.seconds, 0, 'f', 2);
    if (!failures.isEmpty())
        lines << QStringLiteral("Failed: ") + failures.join(QStringLiteral("; "));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString byteText(const ChipBytes& bytes, ConfigId id) {
    const std::optional<std::uint8_t> b = bytes.get(id);
    if (!b)
        return QStringLiteral("--");
    if (id == ConfigId::BootVersion)
        return QStringLiteral("1.0.") + QString::number(*b, 16).toUpper();
    return hex2(*b);
}

QString infoText(const ChipBytes& bytes) {
    QStringList lines;
    auto row = [&lines](const char* caption, const QString& value) {
        lines << QString::fromLatin1(caption).leftJustified(24) + value;
    };
    auto value = [&bytes](ConfigId id) { return bytes.get(id).value_or(0xFF); };
    row("Manufacturer:", byteText(bytes, ConfigId::Manufacturer));
    row("Family Code:", byteText(bytes, ConfigId::Family));
    row("Product Name:", byteText(bytes, ConfigId::ProductName));
    row("Product Revision:", byteText(bytes, ConfigId::ProductRevision));
    row("Bootloader Version:", byteText(bytes, ConfigId::BootVersion));
    const std::uint8_t hsb = value(ConfigId::HSB);
    const std::optional<int> mhz = oscillatorMegahertz(hsb);
    row("HSB:", QLatin1Char('$') + hex2(hsb));
    row("  Oscillator:", mhz ? QStringLiteral("up to %1 MHz").arg(*mhz) : QStringLiteral("none (bits 00)"));
    row("  BLJB:", onOff((hsb & kHsbBljb) == 0));
    row("  X2:", onOff((hsb & kHsbX2) == 0));
    for (ConfigId id :
         {ConfigId::BSB, ConfigId::EB, ConfigId::SBV, ConfigId::P1CF, ConfigId::P3CF, ConfigId::P4CF})
        row((QString::fromLatin1(configByte(id).name) + QLatin1Char(':')).toLatin1().constData(),
            QLatin1Char('$') + hex2(value(id)));
    row("Software Security Byte:", QLatin1Char('$') + hex2(value(ConfigId::SSB)) + QStringLiteral(", ") +
                                       securityText(value(ConfigId::SSB)));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString writtenText(const ChipReport& chip) {
    QString text;
    for (ConfigId id : chip.written)
        text += (QString::fromLatin1(configByte(id).name) + QLatin1Char(':')).leftJustified(24) +
                QLatin1Char('$') + byteText(chip.bytes, id) + QLatin1Char('\n');
    return text;
}

QString listLine(const ChipReport& chip) {
    if (!chip.ok())
        return QStringLiteral("%1: %2\n").arg(chip.device).arg(chip.outcome.message);
    const ChipBytes& b = chip.bytes;
    return QStringLiteral("%1: Manufacturer %2, Family Code %3, Product Name %4, Product Revision %5, "
                          "Bootloader Version %6\n")
        .arg(chip.device)
        .arg(byteText(b, ConfigId::Manufacturer), byteText(b, ConfigId::Family),
             byteText(b, ConfigId::ProductName), byteText(b, ConfigId::ProductRevision),
             byteText(b, ConfigId::BootVersion));
}

} // namespace corvane::cli
