// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures of the buttons, drawn at start-up, and the program's icon.

#include <QIcon>

namespace corvane {

QIcon appIcon(); // the program's icon (resource :/corvane/corvane.png)
QIcon loadIcon();
QIcon saveIcon();
QIcon readIcon();
QIcon eraseIcon();
QIcon writeIcon();
QIcon runIcon();

} // namespace corvane
