// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/fonts.h"

#include <QFontDatabase>

namespace corvane {

namespace {

QFont makeFont(const QString& family, QFontDatabase::SystemFont fallback, int points, bool bold) {
    QFont f = QFontDatabase::hasFamily(family) ? QFont(family) : QFontDatabase::systemFont(fallback);
    f.setPixelSize(pointsToPixels(points));
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    if (fallback == QFontDatabase::FixedFont)
        f.setStyleHint(QFont::Monospace);
    return f;
}

} // namespace

QFont sansFont(int points, bool bold) {
    return makeFont(QStringLiteral("Liberation Sans"), QFontDatabase::GeneralFont, points, bold);
}

QFont monoFont(int points, bool bold) {
    return makeFont(QStringLiteral("Liberation Mono"), QFontDatabase::FixedFont, points, bold);
}

} // namespace corvane
