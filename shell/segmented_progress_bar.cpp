// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/segmented_progress_bar.h"

#include "core/progress.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace corvane {

const QColor SegmentedProgressBar::kPlateColor{0xFF, 0xFF, 0xFF};
const QColor SegmentedProgressBar::kTextColor{0x00, 0x00, 0x00};

SegmentedProgressBar::SegmentedProgressBar(QWidget* parent) : QWidget(parent) {}

int SegmentedProgressBar::percent() const {
    return progressPercent(completed_, total_);
}

int SegmentedProgressBar::filledSegments() const {
    return progressSegments(completed_, total_, kSegments);
}

QString SegmentedProgressBar::percentageText() const {
    return showPercentage_ ? QStringLiteral("%1 %").arg(percent()) : QString();
}

void SegmentedProgressBar::setTotal(int total) {
    total_ = std::max(0, total);
    completed_ = 0;
    update();
}

void SegmentedProgressBar::setCompleted(int completed) {
    completed_ = std::clamp(completed, 0, total_);
    update();
}

void SegmentedProgressBar::setPercentageVisible(bool visible) {
    showPercentage_ = visible;
    update();
}

void SegmentedProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect outer = rect();
    // Sunken frame.
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(outer.topLeft(), outer.topRight());
    p.drawLine(outer.topLeft(), outer.bottomLeft());
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(outer.bottomLeft(), outer.bottomRight());
    p.drawLine(outer.topRight(), outer.bottomRight());

    const QRect inner = outer.adjusted(2, 2, -2, -2);
    const int filled = filledSegments();
    const QColor segmentColor(0x00, 0x00, 0x80);
    for (int i = 0; i < filled; ++i) {
        const int left = inner.left() + i * inner.width() / kSegments;
        const int right = inner.left() + (i + 1) * inner.width() / kSegments - 2; // 2 px gap
        p.fillRect(QRect(QPoint(left, inner.top()), QPoint(right, inner.bottom())), segmentColor);
    }
    if (showPercentage_) {
        // The text on a plate of its own in the middle: over segments, their
        // gaps or an empty bar, with any palette, it stays readable.
        const QString text = percentageText();
        const int width = std::min(inner.width(), p.fontMetrics().horizontalAdvance(text) + 8);
        const QRect plate(inner.left() + (inner.width() - width) / 2, inner.top(), width, inner.height());
        p.fillRect(plate, kPlateColor);
        p.setPen(segmentColor);
        p.drawRect(plate.adjusted(0, 0, -1, -1));
        p.setPen(kTextColor);
        p.drawText(plate, Qt::AlignCenter, text);
    }
}

} // namespace corvane
