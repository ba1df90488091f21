// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/hex_view_layout.h"

#include <algorithm>

namespace corvane {

int HexViewLayout::hexX(int col) const {
    const int gap = col >= kHexBytesPerRow / 2 ? charWidth : 0;
    return gutterWidth + gutterPad + col * 3 * charWidth + gap;
}

int HexViewLayout::charX(int col) const {
    // Two characters after the last hexadecimal cell.
    return hexX(kHexBytesPerRow - 1) + hexCellWidth() + 2 * charWidth + col * charWidth;
}

int HexViewLayout::visibleRows(int viewportHeight) const {
    if (lineHeight <= 0)
        return 1;
    return std::max(1, (viewportHeight - rulerHeight()) / lineHeight);
}

std::optional<HexHit> HexViewLayout::hitTest(int x, int y, std::size_t topRow, std::size_t dataSize) const {
    if (y < rulerHeight() || x < gutterWidth || lineHeight <= 0 || charWidth <= 0)
        return std::nullopt;
    const std::size_t row = topRow + static_cast<std::size_t>((y - rulerHeight()) / lineHeight);

    HexHit hit;
    bool found = false;
    for (int col = 0; col < kHexBytesPerRow && !found; ++col) {
        // A hexadecimal cell reaches half a character to each side, so the
        // blank between two cells belongs to its neighbours.
        const int left = hexX(col) - (col == 0 ? gutterPad : charWidth / 2);
        const int right = hexX(col) + hexCellWidth() + charWidth / 2;
        if (x >= left && x < right) {
            hit.column = HexColumn::Hex;
            hit.nibble = x >= hexNibbleX(col, 1) ? 1 : 0;
            hit.offset = row * kHexBytesPerRow + static_cast<std::size_t>(col);
            found = true;
        } else if (x >= charX(col) && x < charX(col) + charWidth) {
            hit.column = HexColumn::Char;
            hit.offset = row * kHexBytesPerRow + static_cast<std::size_t>(col);
            found = true;
        }
    }
    if (!found || hit.offset >= dataSize)
        return std::nullopt;
    return hit;
}

} // namespace corvane
