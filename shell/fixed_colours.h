// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The colours the main window fixes, kept readable with any desktop palette:
// a fixed background comes with a fixed text colour, and a fixed text colour
// gets a light ground of its own where the palette's is too dark for it.

#include <QColor>

class QWidget;

namespace corvane {

inline const QColor kNavy(0x00, 0x00, 0x80);
inline const QColor kMaroon(0x80, 0x00, 0x00);
inline const QColor kSilver(0xC0, 0xC0, 0xC0);
inline const QColor kSelectorGray(0xD4, 0xD4, 0xD4);
inline const QColor kFlashBackground(0xFF, 0xF2, 0xF2);
inline const QColor kEepromBackground(0xFF, 0xFF, 0xE1);

// The widget's text in color.
void setTextColor(QWidget* w, const QColor& color);
// The widget's background (Base and Button) in color, its text black.
void setBackground(QWidget* w, const QColor& color);
// After a change of the palette: every widget below window with a fixed text
// colour checks its ground again.
void suitFixedTextColours(QWidget* window);

} // namespace corvane
