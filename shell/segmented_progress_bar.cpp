// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/segmented_progress_bar.h"

#include "core/progress.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace corvane {

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
        // The text in white over filled segments, in black elsewhere.
        const QString text = percentageText();
        const int split = inner.left() + filled * inner.width() / kSegments;
        p.save();
        p.setClipRect(QRect(QPoint(inner.left(), inner.top()), QPoint(split - 1, inner.bottom())));
        p.setPen(Qt::white);
        p.drawText(inner, Qt::AlignCenter, text);
        p.setClipRect(QRect(QPoint(split, inner.top()), inner.bottomRight()));
        p.setPen(Qt::black);
        p.drawText(inner, Qt::AlignCenter, text);
        p.restore();
    }
}

} // namespace corvane
