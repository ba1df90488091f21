// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/hex_view_widget.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>

namespace corvane {

const QColor HexView::kGutterColor{0xD0, 0xD0, 0xD0};
const QColor HexView::kTextColor{0x00, 0x00, 0x00};
const QColor HexView::kChangedTextColor{0x80, 0x00, 0x00};
const QColor HexView::kChangedBackground{0xFF, 0xFF, 0xA8};

namespace {

QString hexByte(std::uint8_t b) {
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString offsetText(std::size_t offset) {
    return QStringLiteral("%1").arg(static_cast<qulonglong>(offset), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::IBeamCursor);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(mono);
    updateMetrics();
}

void HexView::setDataSize(std::size_t size) {
    model_.setDataSize(size);
    afterModelChange();
}

void HexView::refresh(const TBuffer& bytes) {
    model_.refresh(bytes);
    afterModelChange();
}

void HexView::setDataBackground(const QColor& color) {
    dataBackground_ = color;
    viewport()->update();
}

void HexView::updateMetrics() {
    const QFontMetrics fm(font());
    layout_.charWidth = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    layout_.lineHeight = std::max(1, fm.height());
    fontAscent_ = fm.ascent();
    model_.setVisibleRows(layout_.visibleRows(viewport()->height()));
    syncScrollBar();
    viewport()->update();
}

void HexView::syncScrollBar() {
    syncing_ = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, static_cast<int>(model_.maxTopRow()));
    bar->setPageStep(model_.visibleRows());
    bar->setSingleStep(1);
    bar->setValue(static_cast<int>(model_.topRow()));
    syncing_ = false;
}

void HexView::afterModelChange() {
    syncScrollBar();
    viewport()->update();
}

void HexView::scrollContentsBy(int, int) {
    if (syncing_)
        return;
    model_.setTopRow(static_cast<std::size_t>(std::max(0, verticalScrollBar()->value())));
    viewport()->update();
}

void HexView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    model_.setVisibleRows(layout_.visibleRows(viewport()->height()));
    syncScrollBar();
}

void HexView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void HexView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    // Reached with Tab or Shift+Tab, the view takes hex digits first, at the
    // byte it was left on: digits typed at once must not become characters.
    if ((event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) &&
        model_.column() != HexColumn::Hex)
        model_.setCursor(model_.cursor(), HexColumn::Hex);
    afterModelChange();
}

void HexView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// Tab is the view's own key (see keyPressEvent), not the window's focus step.
bool HexView::focusNextPrevChild(bool) {
    return false;
}

void HexView::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    bool handled = true;
    if (event->matches(QKeySequence::Undo)) {
        if (model_.undo())
            emit edited();
    } else {
        switch (event->key()) {
        case Qt::Key_Left:
            model_.navigate(HexMove::Left);
            break;
        case Qt::Key_Right:
            model_.navigate(HexMove::Right);
            break;
        case Qt::Key_Up:
            model_.navigate(HexMove::Up);
            break;
        case Qt::Key_Down:
            model_.navigate(HexMove::Down);
            break;
        case Qt::Key_PageUp:
            model_.navigate(HexMove::PageUp);
            break;
        case Qt::Key_PageDown:
            model_.navigate(HexMove::PageDown);
            break;
        case Qt::Key_Home:
            model_.navigate(ctrl ? HexMove::DataStart : HexMove::RowStart);
            break;
        case Qt::Key_End:
            model_.navigate(ctrl ? HexMove::DataEnd : HexMove::RowEnd);
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab: {
            // Ctrl+Tab and Ctrl+Shift+Tab leave the view; so do Tab from the
            // character column and Shift+Tab from the hex column. Otherwise
            // Tab switches the column.
            const bool forward = event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
            const HexColumn edge = forward ? HexColumn::Char : HexColumn::Hex;
            if (ctrl || model_.column() == edge) {
                QWidget::focusNextPrevChild(forward);
                event->accept();
                return;
            }
            model_.toggleColumn();
            break;
        }
        default: {
            const QString text = event->text();
            handled = !ctrl && text.size() == 1 && model_.typeChar(text.at(0).unicode());
            if (handled)
                emit edited();
        }
        }
    }
    if (!handled) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
    afterModelChange();
}

void HexView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    if (const auto hit = layout_.hitTest(p.x(), p.y(), model_.topRow(), model_.dataSize())) {
        model_.setCursor(hit->offset, hit->column, hit->nibble);
        afterModelChange();
    }
    event->accept();
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.setFont(font());
    const int w = viewport()->width();
    const int h = viewport()->height();
    const HexViewLayout& L = layout_;

    paintFrame(p, w, h);
    const bool focused = hasFocus();
    const std::size_t rows = model_.rowCount();
    const int shown = L.visibleRows(h) + 1; // a partly visible row at the bottom too
    p.setClipRect(0, L.rulerHeight(), w, h - L.rulerHeight());
    for (int vr = 0; vr < shown; ++vr) {
        const std::size_t row = model_.topRow() + static_cast<std::size_t>(vr);
        if (row >= rows)
            break;
        paintRow(p, row, L.rowTop(vr), focused);
    }
    p.setClipping(false);
    if (focused) {
        // Focus frame around the whole view.
        p.setPen(QPen(palette().color(QPalette::Highlight), 1));
        p.drawRect(0, 0, w - 1, h - 1);
    }
}

void HexView::paintFrame(QPainter& p, int w, int h) const {
    const HexViewLayout& L = layout_;
    p.fillRect(0, 0, w, h, dataBackground_);
    p.fillRect(0, 0, L.gutterWidth, h, kGutterColor);
    p.fillRect(0, 0, w, L.rulerHeight() - 1, kGutterColor);
    p.setPen(kGutterColor.darker(130));
    p.drawLine(0, L.rulerHeight() - 1, w, L.rulerHeight() - 1);
    p.drawLine(L.gutterWidth - 1, 0, L.gutterWidth - 1, h);

    // Ruler: column numbers above both columns.
    p.setPen(kTextColor);
    const int rulerBase = (L.rulerHeight() - 1 - L.lineHeight) / 2 + fontAscent_;
    for (int col = 0; col < kHexBytesPerRow; ++col) {
        p.drawText(L.hexX(col), rulerBase, hexByte(static_cast<std::uint8_t>(col)));
        p.drawText(L.charX(col), rulerBase, QString(QChar(u"0123456789ABCDEF"[col])));
    }
}

void HexView::paintRow(QPainter& p, std::size_t row, int top, bool focused) const {
    const HexViewLayout& L = layout_;
    const QColor text = kTextColor;
    const std::size_t size = model_.dataSize();
    const int base = top + fontAscent_;
    p.setPen(text);
    p.drawText(2, base, offsetText(row * kHexBytesPerRow));
    for (int col = 0; col < kHexBytesPerRow; ++col) {
        const std::size_t off = row * kHexBytesPerRow + static_cast<std::size_t>(col);
        if (off >= size)
            break;
        const std::uint8_t b = model_.byteAt(off);
        const bool changed = model_.isChanged(off);
        const QRect hexCell(L.hexX(col), top, L.hexCellWidth(), L.lineHeight);
        const QRect charCell(L.charX(col), top, L.charWidth, L.lineHeight);
        if (changed) {
            p.fillRect(hexCell, kChangedBackground);
            p.fillRect(charCell, kChangedBackground);
        }
        const QColor fg = changed ? kChangedTextColor : text;
        if (off == model_.cursor()) {
            paintCursorByte(p, col, top, b, fg, focused);
        } else {
            p.setPen(fg);
            p.drawText(hexCell.left(), base, hexByte(b));
            p.drawText(charCell.left(), base, QString(QChar(hexDisplayChar(b))));
        }
    }
}

void HexView::paintCursorByte(QPainter& p, int col, int top, std::uint8_t b, const QColor& fg,
                              bool focused) const {
    // The cursor: the active digit or character inverted, the same byte
    // framed in the other column.
    const HexViewLayout& L = layout_;
    const QColor text = kTextColor;
    const int base = top + fontAscent_;
    const QRect hexCell(L.hexX(col), top, L.hexCellWidth(), L.lineHeight);
    const QRect charCell(L.charX(col), top, L.charWidth, L.lineHeight);
    const QString digits = hexByte(b);
    const bool hexActive = model_.column() == HexColumn::Hex;
    // The palette's highlight pair while focused, a fixed pair otherwise.
    const QColor caretBg = focused ? palette().color(QPalette::Highlight) : QColor(Qt::darkGray);
    const QColor caretFg = focused ? palette().color(QPalette::HighlightedText) : QColor(Qt::white);
    const QRect caret =
        hexActive ? QRect(L.hexNibbleX(col, model_.nibble()), top, L.charWidth, L.lineHeight) : charCell;
    p.fillRect(caret, caretBg);
    for (int n = 0; n < 2; ++n) {
        const bool inCaret = hexActive && n == model_.nibble();
        p.setPen(inCaret ? caretFg : fg);
        p.drawText(L.hexNibbleX(col, n), base, digits.mid(n, 1));
    }
    p.setPen(hexActive ? fg : caretFg);
    p.drawText(L.charX(col), base, QString(QChar(hexDisplayChar(b))));
    // Focus frame around the active field, a plain frame around its twin.
    const QRect other = hexActive ? charCell : hexCell;
    p.setPen(QPen(text, 1, Qt::DotLine));
    p.drawRect(other.adjusted(0, 0, -1, -1));
    if (focused) {
        const QRect field = hexActive ? hexCell : charCell;
        p.setPen(QPen(text, 1, Qt::DotLine));
        p.drawRect(field.adjusted(-1, 0, 0, -1));
    }
}

} // namespace corvane
