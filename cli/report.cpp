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
    // The byte as the chip gives it, and the chip it names when the table knows it.
    const std::optional<std::uint8_t> product = bytes.get(ConfigId::ProductName);
    const std::optional<int> variant = product ? chipVariantForProduct(*product) : std::nullopt;
    row("Product Name:",
        byteText(bytes, ConfigId::ProductName) +
            (variant ? QStringLiteral(" (%1)").arg(QLatin1String(chipVariant(*variant).name)) : QString()));
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

QString chipName(const ChipBytes& bytes) {
    const std::optional<std::uint8_t> product = bytes.get(ConfigId::ProductName);
    if (!product)
        return QStringLiteral("--");
    if (const std::optional<int> known = chipVariantForProduct(*product))
        return QLatin1String(chipVariant(*known).name);
    return QStringLiteral("product byte ") + hex2(*product);
}

QString listLine(const ChipReport& chip) {
    const QString head = QString::number(chip.device) + QLatin1Char(':') +
                         (chip.path.isEmpty() ? QString() : QLatin1Char(' ') + chip.path);
    if (!chip.ok())
        return QStringLiteral("%1 not usable: %2\n").arg(head, chip.outcome.message);
    return QStringLiteral("%1 %2, bootloader %3\n")
        .arg(head, chipName(chip.bytes), byteText(chip.bytes, ConfigId::BootVersion));
}

namespace {

QString placeText(const ChipReport& c) {
    return c.path.isEmpty() ? QStringLiteral("device %1").arg(c.device)
                            : QStringLiteral("device %1 at %2").arg(c.device).arg(c.path);
}

} // namespace

QString boardLine(const ChipReport& board) {
    const QString serial = board.serial ? QStringLiteral(", serial %1").arg(*board.serial) : QString();
    if (board.ok())
        return QStringLiteral("board %1: %2: ok%3\n").arg(board.board).arg(placeText(board), serial);
    return QStringLiteral("board %1: %2: %3%4: %5\n")
        .arg(board.board)
        .arg(placeText(board), failureName(board.outcome.failure), serial, board.outcome.message);
}

QString stationTable(const RunReport& report) {
    QStringList results, paths, serials;
    int width = 6, pathWidth = 4, serialWidth = 6; // "Result", "Path", "Serial"
    for (const ChipReport& c : report.chips) {
        results << (c.ok() ? QStringLiteral("ok") : failureName(c.outcome.failure));
        paths << (c.path.isEmpty() ? QStringLiteral("--") : c.path);
        serials << (c.serial ? QString::number(*c.serial) : QStringLiteral("--"));
        width = std::max(width, int(results.back().size()));
        pathWidth = std::max(pathWidth, int(paths.back().size()));
        serialWidth = std::max(serialWidth, int(serials.back().size()));
    }
    QStringList lines;
    lines << QStringLiteral("Board  Device  %1  %2  Seconds  %3  Verify")
                 .arg(QStringLiteral("Path"), -pathWidth)
                 .arg(QStringLiteral("Result"), -width)
                 .arg(QStringLiteral("Serial"), serialWidth);
    QStringList failures;
    for (std::size_t i = 0; i < report.chips.size(); ++i) {
        const ChipReport& c = report.chips[i];
        const auto at = qsizetype(i);
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6  %7")
                     .arg(c.board, 5)
                     .arg(c.device, 6)
                     .arg(paths[at], -pathWidth)
                     .arg(results[at], -width)
                     .arg(c.seconds, 7, 'f', 2)
                     .arg(serials[at], serialWidth)
                     .arg(verifyName(c.verify));
        if (!c.ok())
            failures << QStringLiteral("board %1: %2").arg(c.board).arg(c.outcome.message);
    }
    const std::size_t good = report.chips.size() - std::size_t(failures.size());
    lines << QStringLiteral("%1 of %2 board(s) succeeded in %3 s.")
                 .arg(good)
                 .arg(report.chips.size())
                 .arg(report.seconds, 0, 'f', 2);
    if (!failures.isEmpty())
        lines << QStringLiteral("Failed: ") + failures.join(QStringLiteral("; "));
    if (!report.outcome.ok())
        lines << QStringLiteral("The station ended: ") + report.outcome.message;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace corvane::cli
