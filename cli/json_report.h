// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The run as one JSON document for scripts. The field names are stable;
// the manual page and the README list them.

#include "cli/report.h"

#include <QByteArray>
#include <QJsonObject>

namespace corvane::cli {

QJsonObject chipJson(const ChipReport& chip);
// {"command", "result", "exitStatus", "errorKind", "message", "seconds",
// "devices": [...]}.
QByteArray runJson(const RunReport& report);

} // namespace corvane::cli
