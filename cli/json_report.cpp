// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/json_report.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace corvane::cli {

namespace {

QJsonValue byteValue(const ChipBytes& bytes, ConfigId id) {
    if (!bytes.get(id))
        return QJsonValue(QJsonValue::Null);
    return byteText(bytes, id);
}

QJsonValue nameOrNull(Failure f) {
    return f == Failure::None ? QJsonValue(QJsonValue::Null) : QJsonValue(failureName(f));
}

} // namespace

QJsonObject chipJson(const ChipReport& chip) {
    QJsonObject o;
    o.insert(QStringLiteral("device"), chip.device);
    o.insert(QStringLiteral("path"),
             chip.path.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(chip.path));
    o.insert(QStringLiteral("board"), chip.board ? QJsonValue(chip.board) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("chip"), chip.bytes.get(ConfigId::ProductName) ? QJsonValue(chipName(chip.bytes))
                                                                           : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("result"), chip.ok() ? QStringLiteral("ok") : QStringLiteral("failed"));
    o.insert(QStringLiteral("exitStatus"), chip.outcome.exitStatus());
    o.insert(QStringLiteral("errorKind"), nameOrNull(chip.outcome.failure));
    o.insert(QStringLiteral("message"), chip.outcome.message);
    o.insert(QStringLiteral("seconds"), chip.seconds);
    o.insert(QStringLiteral("bytesWritten"), qint64(chip.bytesWritten));
    o.insert(QStringLiteral("bytesRead"), qint64(chip.bytesRead));
    o.insert(QStringLiteral("verify"), verifyName(chip.verify));
    if (chip.difference) {
        QJsonObject d;
        d.insert(QStringLiteral("first"), hex4(chip.difference->first));
        d.insert(QStringLiteral("count"), qint64(chip.difference->count));
        o.insert(QStringLiteral("difference"), d);
    } else {
        o.insert(QStringLiteral("difference"), QJsonValue(QJsonValue::Null));
    }
    // A serial number may need more than the 53 bits a JSON number holds exactly.
    o.insert(QStringLiteral("serial"),
             chip.serial ? QJsonValue(QString::number(*chip.serial)) : QJsonValue(QJsonValue::Null));
    QJsonObject identification;
    identification.insert(QStringLiteral("manufacturer"), byteValue(chip.bytes, ConfigId::Manufacturer));
    identification.insert(QStringLiteral("family"), byteValue(chip.bytes, ConfigId::Family));
    identification.insert(QStringLiteral("productName"), byteValue(chip.bytes, ConfigId::ProductName));
    identification.insert(QStringLiteral("productRevision"),
                          byteValue(chip.bytes, ConfigId::ProductRevision));
    identification.insert(QStringLiteral("bootloaderVersion"), byteValue(chip.bytes, ConfigId::BootVersion));
    o.insert(QStringLiteral("identification"), identification);
    QJsonObject configuration;
    for (ConfigId id : {ConfigId::HSB, ConfigId::BSB, ConfigId::SBV, ConfigId::EB, ConfigId::P1CF,
                        ConfigId::P3CF, ConfigId::P4CF, ConfigId::SSB})
        configuration.insert(QString::fromLatin1(configByte(id).name), byteValue(chip.bytes, id));
    const std::optional<std::uint8_t> level = chip.bytes.securityLevel();
    configuration.insert(QStringLiteral("securityLevel"), level ? QJsonValue(int(*level)) : QJsonValue());
    o.insert(QStringLiteral("configuration"), configuration);
    QJsonArray files;
    for (const QString& f : chip.files)
        files.append(f);
    o.insert(QStringLiteral("files"), files);
    QJsonObject timings;
    for (const auto& [step, seconds] : chip.timings)
        timings.insert(step, seconds);
    o.insert(QStringLiteral("timings"), timings);
    return o;
}

QByteArray runJson(const RunReport& report) {
    QJsonArray devices;
    for (const ChipReport& c : report.chips)
        devices.append(chipJson(c));
    const int status = report.exitStatus();
    // The run's own failure, else the first failing chip's.
    Outcome first = report.outcome;
    for (const ChipReport& c : report.chips) {
        if (first.ok() && !c.ok() && !c.listed)
            first = c.outcome;
    }
    QJsonObject o;
    o.insert(QStringLiteral("command"), report.command);
    o.insert(QStringLiteral("result"), status == 0 ? QStringLiteral("ok") : QStringLiteral("failed"));
    o.insert(QStringLiteral("exitStatus"), status);
    o.insert(QStringLiteral("errorKind"), nameOrNull(first.failure));
    o.insert(QStringLiteral("message"), first.message);
    o.insert(QStringLiteral("seconds"), report.seconds);
    o.insert(QStringLiteral("devices"), devices);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

} // namespace corvane::cli
