// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/hex_view_layout.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(HexViewLayout, HitTestFindsEveryCellAndMissesGutterRulerAndBytesPastTheEnd) {
    const HexViewLayout l{.charWidth = 7, .lineHeight = 13};
    // Both columns fit the views' client width (545 minus frame and scroll bar).
    EXPECT_LE(l.contentWidth(), 545 - 4 - 16);
    const std::size_t top = 5;
    for (int vr = 0; vr < 3; ++vr) {
        const int y = l.rowTop(vr) + l.lineHeight / 2;
        for (int col = 0; col < kHexBytesPerRow; ++col) {
            const std::size_t offset = (top + vr) * 16 + col;
            for (int nibble = 0; nibble < 2; ++nibble) {
                const auto hit = l.hitTest(l.hexNibbleX(col, nibble) + 1, y, top, 0x8000);
                ASSERT_TRUE(hit.has_value()) << col;
                EXPECT_EQ(*hit, (HexHit{offset, HexColumn::Hex, nibble}));
            }
            const auto ch = l.hitTest(l.charX(col) + l.charWidth / 2, y, top, 0x8000);
            ASSERT_TRUE(ch.has_value()) << col;
            EXPECT_EQ(*ch, (HexHit{offset, HexColumn::Char, 0}));
        }
    }

    const int dataY = l.rowTop(0) + 2;
    EXPECT_FALSE(l.hitTest(l.gutterWidth - 1, dataY, 0, 1024).has_value());
    EXPECT_FALSE(l.hitTest(l.hexX(3), l.rulerHeight() - 1, 0, 1024).has_value());
    EXPECT_FALSE(l.hitTest(l.contentWidth() + 20, dataY, 0, 1024).has_value());
    // 20 bytes: the second row holds offsets 16..19 only.
    const int row1 = l.rowTop(1) + 2;
    EXPECT_TRUE(l.hitTest(l.hexX(3), row1, 0, 20).has_value());
    EXPECT_FALSE(l.hitTest(l.hexX(4), row1, 0, 20).has_value());
    EXPECT_FALSE(l.hitTest(l.hexX(0), l.rowTop(2) + 2, 0, 20).has_value());
}

TEST(HexViewLayout, VisibleRowsCountsOnlyWholeRowsBelowTheRuler) {
    const HexViewLayout l{.charWidth = 7, .lineHeight = 13};
    EXPECT_EQ(l.visibleRows(l.rulerHeight() + 10 * l.lineHeight), 10);
    EXPECT_EQ(l.visibleRows(l.rulerHeight() + 10 * l.lineHeight - 1), 9);
    EXPECT_EQ(l.visibleRows(0), 1);
    EXPECT_EQ(hexRowCount(16), 1u);
    EXPECT_EQ(hexRowCount(17), 2u);
}
