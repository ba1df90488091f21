// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// HexView: an editable hex view of a fixed-size block of bytes. Paints a
// HexViewModel through a HexViewLayout and maps keys, clicks and the scroll
// bar onto the model.
//
// Keys: arrows, Page Up/Down, Home/End (row), Ctrl+Home/End (data), Tab or
// Shift+Tab (hex <-> character column; from the last column on, or with Ctrl,
// to the window's next or previous control), Ctrl+Z (undo); typing overwrites.

#include "image/hex_view_layout.h"
#include "image/hex_view_model.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <cstddef>
#include <cstdint>

class QPainter;

namespace corvane {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    HexViewModel& model() { return model_; }
    const HexViewModel& model() const { return model_; }
    const HexViewLayout& layout() const { return layout_; }

    // Convenience wrappers that keep the painting in step with the model.
    std::size_t dataSize() const { return model_.dataSize(); }
    const TBuffer& data() const { return model_.data(); }
    void setDataSize(std::size_t size);
    void refresh(const TBuffer& bytes);

    // Background of the data area (the gutter and the ruler keep theirs).
    void setDataBackground(const QColor& color);
    QColor dataBackground() const { return dataBackground_; }

    // The backgrounds are fixed, so is the text on them: readable with any palette.
    static const QColor kTextColor;         // black
    static const QColor kGutterColor;       // #D0D0D0
    static const QColor kChangedTextColor;  // maroon
    static const QColor kChangedBackground; // #FFFFA8

signals:
    // The user typed or undid something.
    void edited();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void paintFrame(QPainter& p, int w, int h) const;
    void paintRow(QPainter& p, std::size_t row, int top, bool focused) const;
    void paintCursorByte(QPainter& p, int col, int top, std::uint8_t b, const QColor& fg, bool focused) const;
    void updateMetrics();
    void syncScrollBar();
    void afterModelChange();

    HexViewModel model_;
    HexViewLayout layout_;
    QColor dataBackground_{Qt::white};
    int fontAscent_ = 10;
    bool syncing_ = false;
};

} // namespace corvane
