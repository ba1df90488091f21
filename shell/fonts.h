// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's fonts. The layout was drawn for "MS Sans Serif"/"Arial" and
// "Courier New" at 96 DPI; the closest installed families stand in for them
// at pixel sizes, so the fixed positions hold on any screen resolution.

#include <QFont>

namespace corvane {

// Points at 96 DPI to pixels: 8 pt = 11 px, 16 pt = 21 px.
constexpr int pointsToPixels(int points) {
    return (points * 96 + 36) / 72;
}

// Sans serif (Liberation Sans, else the default family).
QFont sansFont(int points = 8, bool bold = false);
// Fixed pitch (Liberation Mono, else the default fixed-pitch family).
QFont monoFont(int points = 8, bool bold = false);

} // namespace corvane
