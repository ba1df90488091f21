// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace corvane {

namespace {

// Draws a picture on a 16 x 16 grid at 16 and 32 pixels.
QIcon drawIcon(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// A chip: dark body with pins above and below.
void drawChip(QPainter& p, const QRectF& body) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9A, 0x9A, 0x9A));
    for (int i = 0; i < 4; ++i) {
        const qreal x = body.left() + 1.0 + i * (body.width() - 2.0) / 4.0;
        p.drawRect(QRectF(x, body.top() - 1.5, 1.2, 1.5));
        p.drawRect(QRectF(x, body.bottom(), 1.2, 1.5));
    }
    p.setBrush(QColor(0x30, 0x30, 0x38));
    p.drawRoundedRect(body, 0.8, 0.8);
    p.setBrush(QColor(0x70, 0x70, 0x78));
    p.drawEllipse(QPointF(body.left() + 1.5, body.top() + 1.5), 0.6, 0.6);
}

void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
    p.setPen(QPen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    QPainterPath head;
    head.moveTo(to + u * 1.2);
    head.lineTo(to - u * 2.2 + n * 2.4);
    head.lineTo(to - u * 2.2 - n * 2.4);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(head);
}

} // namespace

QIcon appIcon() {
    return QIcon(QStringLiteral(":/corvane/corvane.png"));
}

QIcon loadIcon() {
    return drawIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x8A, 0x6A, 0x10), 0.8));
        p.setBrush(QColor(0xE8, 0xC0, 0x50));
        QPainterPath back;
        back.moveTo(1.5, 4);
        back.lineTo(6, 4);
        back.lineTo(7, 5);
        back.lineTo(13, 5);
        back.lineTo(13, 13.5);
        back.lineTo(1.5, 13.5);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(0xF8, 0xD8, 0x70));
        QPainterPath front;
        front.moveTo(1.5, 13.5);
        front.lineTo(4, 7.5);
        front.lineTo(15, 7.5);
        front.lineTo(12.5, 13.5);
        front.closeSubpath();
        p.drawPath(front);
        drawArrow(p, QPointF(10.5, 6.5), QPointF(13.5, 2.2), QColor(0x20, 0x90, 0x30));
    });
}

QIcon saveIcon() {
    return drawIcon([](QPainter& p) {
        p.setPen(QPen(QColor(0x10, 0x28, 0x60), 0.8));
        p.setBrush(QColor(0x30, 0x60, 0xB0));
        QPainterPath disk;
        disk.moveTo(1.5, 1.5);
        disk.lineTo(12.5, 1.5);
        disk.lineTo(14.5, 3.5);
        disk.lineTo(14.5, 14.5);
        disk.lineTo(1.5, 14.5);
        disk.closeSubpath();
        p.drawPath(disk);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 2, 9, 5));
        p.setBrush(QColor(0xC8, 0xC8, 0xD0));
        p.drawRect(QRectF(4, 9.5, 8, 5));
        p.setBrush(QColor(0x30, 0x60, 0xB0));
        p.drawRect(QRectF(9.5, 10.5, 1.6, 3));
    });
}

QIcon readIcon() {
    return drawIcon([](QPainter& p) {
        drawChip(p, QRectF(1.5, 2.5, 8, 11));
        drawArrow(p, QPointF(9, 8), QPointF(13.5, 8), QColor(0x20, 0x90, 0x30));
    });
}

QIcon writeIcon() {
    return drawIcon([](QPainter& p) {
        drawChip(p, QRectF(6.5, 2.5, 8, 11));
        drawArrow(p, QPointF(0.8, 8), QPointF(5.2, 8), QColor(0xD0, 0x50, 0x10));
    });
}

QIcon eraseIcon() {
    return drawIcon([](QPainter& p) {
        drawChip(p, QRectF(1.5, 2.5, 8, 11));
        p.translate(11.5, 10);
        p.rotate(-35);
        p.setPen(QPen(QColor(0x80, 0x30, 0x40), 0.7));
        p.setBrush(QColor(0xF0, 0x90, 0xA8));
        p.drawRoundedRect(QRectF(-2.5, -4.5, 5, 6), 0.8, 0.8);
        p.setBrush(QColor(0xF4, 0xF4, 0xF4));
        p.drawRoundedRect(QRectF(-2.5, 1.5, 5, 3), 0.8, 0.8);
    });
}

QIcon runIcon() {
    return drawIcon([](QPainter& p) {
        QPainterPath tri;
        tri.moveTo(4, 2);
        tri.lineTo(14, 8);
        tri.lineTo(4, 14);
        tri.closeSubpath();
        p.setPen(QPen(QColor(0x10, 0x60, 0x20), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0x30, 0xB0, 0x40));
        p.drawPath(tri);
    });
}

} // namespace corvane
