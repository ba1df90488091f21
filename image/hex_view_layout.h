// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Geometry of the hex view: where each row, byte and character cell sits in
// the viewport, and which byte lies under a point. Pure arithmetic on the font
// metrics, so it is tested without painting.

#include <cstddef>
#include <optional>

namespace corvane {

inline constexpr int kHexBytesPerRow = 16;

enum class HexColumn { Hex, Char };

struct HexHit {
    std::size_t offset = 0;
    HexColumn column = HexColumn::Hex;
    int nibble = 0; // 0 high digit, 1 low digit (always 0 in the character column)

    friend bool operator==(const HexHit&, const HexHit&) = default;
};

struct HexViewLayout {
    int charWidth = 7;    // advance of one digit of the fixed-pitch font
    int lineHeight = 14;  // height of one row
    int gutterWidth = 38; // offset column at the left
    int gutterPad = 5;    // space between the gutter and the first digit

    // Left edge of the hexadecimal cell of column col (0..15). A gap of one
    // character splits the row after eight bytes.
    int hexX(int col) const;
    int hexNibbleX(int col, int nibble) const { return hexX(col) + nibble * charWidth; }
    // Width of a hexadecimal cell: two digits.
    int hexCellWidth() const { return 2 * charWidth; }
    // Left edge of the character cell of column col.
    int charX(int col) const;
    int charAreaX() const { return charX(0); }
    // Right edge of the last character cell.
    int contentWidth() const { return charX(kHexBytesPerRow - 1) + charWidth + gutterPad; }

    // The ruler occupies the first line; data rows follow.
    int rulerHeight() const { return lineHeight + 2; }
    int rowTop(int visibleRow) const { return rulerHeight() + visibleRow * lineHeight; }
    // Rows that fit wholly into a viewport of the given height (at least 1).
    int visibleRows(int viewportHeight) const;

    // Byte, column and digit under the point (x, y) when the first shown row
    // is topRow; nothing for the gutter, the ruler, gaps and rows past the end.
    std::optional<HexHit> hitTest(int x, int y, std::size_t topRow, std::size_t dataSize) const;
};

// Number of rows for dataSize bytes.
inline std::size_t hexRowCount(std::size_t dataSize) {
    return (dataSize + kHexBytesPerRow - 1) / kHexBytesPerRow;
}

} // namespace corvane
