// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run's summary as one JSON document for scripts. The field names are
// stable; README.md lists them.

#include "cli/lines/chip_runner.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace corvane::lines {

QJsonObject chipJson(const ChipReport& chip);
// {"command", "result", "exitStatus", "seconds", "devices": [...]}. The exit
// status is the run's: a run can fail before any chip runs (a file, no device).
QByteArray summaryJson(const QString& command, const RunSummary& summary, int exitStatus);

} // namespace corvane::lines
