// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/json_report.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace corvane::lines {

namespace {

QJsonObject textMap(const std::map<QString, QString>& values) {
    QJsonObject o;
    for (const auto& [key, value] : values)
        o.insert(key, value);
    return o;
}

QString verifyField(Verify v) {
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

} // namespace

QJsonObject chipJson(const ChipReport& chip) {
    QJsonObject o;
    o.insert(QStringLiteral("device"), chip.device);
    o.insert(QStringLiteral("result"), chip.ok() ? QStringLiteral("ok") : QStringLiteral("failed"));
    o.insert(QStringLiteral("exitStatus"), chip.exitStatus);
    o.insert(QStringLiteral("errorKind"), chip.ok() ? QJsonValue() : QJsonValue(chip.errorKind));
    o.insert(QStringLiteral("message"), chip.message);
    o.insert(QStringLiteral("seconds"), chip.seconds);
    o.insert(QStringLiteral("bytesWritten"), qint64(chip.bytesWritten));
    o.insert(QStringLiteral("verify"), verifyField(chip.verify));
    // A serial number may need more than the 53 bits a JSON number holds exactly.
    o.insert(QStringLiteral("serial"),
             chip.serial ? QJsonValue(QString::number(*chip.serial)) : QJsonValue(QJsonValue::Null));
    o.insert(QStringLiteral("identification"), textMap(chip.identification));
    o.insert(QStringLiteral("configuration"), textMap(chip.configuration));
    QJsonObject timings;
    for (const auto& [step, seconds] : chip.timings)
        timings.insert(step, seconds);
    o.insert(QStringLiteral("timings"), timings);
    return o;
}

QByteArray summaryJson(const QString& command, const RunSummary& summary, int exitStatus) {
    QJsonArray devices;
    for (const ChipReport& c : summary.chips)
        devices.append(chipJson(c));
    QJsonObject o;
    o.insert(QStringLiteral("command"), command);
    o.insert(QStringLiteral("result"), exitStatus == 0 ? QStringLiteral("ok") : QStringLiteral("failed"));
    o.insert(QStringLiteral("exitStatus"), exitStatus);
    o.insert(QStringLiteral("seconds"), summary.seconds);
    o.insert(QStringLiteral("devices"), devices);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

} // namespace corvane::lines
