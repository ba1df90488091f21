// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Program version and title.

#include <QString>
#include <cstdint>

namespace corvane {

constexpr std::int32_t VersionCode = 0x13;

// "1.3": high and low nibble of VersionCode as one hex digit each.
inline QString versionText() {
    return QStringLiteral("%1.%2").arg((VersionCode >> 4) & 0xF, 1, 16).arg(VersionCode & 0xF, 1, 16);
}

// "Corvane v1.3": window caption and application title.
inline QString titleText() {
    return QStringLiteral("Corvane v") + versionText();
}

} // namespace corvane
