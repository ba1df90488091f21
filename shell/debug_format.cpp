// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/debug_format.h"

namespace corvane {

QString hexLineText(std::int32_t value) {
    return QStringLiteral("%1").arg(static_cast<std::uint32_t>(value), 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace corvane
