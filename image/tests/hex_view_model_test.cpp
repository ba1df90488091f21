// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/hex_view_model.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

HexViewModel viewOf(std::size_t size, int visibleRows = 10) {
    HexViewModel m;
    m.setVisibleRows(visibleRows);
    m.setDataSize(size);
    return m;
}

void type(HexViewModel& m, std::u32string_view text) {
    for (char32_t c : text)
        m.typeChar(c);
}

} // namespace

// --- Typing and undo ---

TEST(HexViewModelTyping, DigitsOverwriteOneNibbleEachAndUndoTakesThemBackWithTheCursor) {
    HexViewModel m = viewOf(64);
    m.setCursor(5, HexColumn::Hex);
    type(m, U"12");
    m.toggleColumn();
    EXPECT_EQ(m.nibble(), 0);
    type(m, U"\u00E4");
    EXPECT_EQ(m.byteAt(5), 0x12);
    EXPECT_EQ(m.byteAt(6), 0xE4);
    EXPECT_EQ(m.cursor(), 7u);
    EXPECT_EQ(m.changedCount(), 2u);

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(6), 0xFF);
    EXPECT_EQ(m.cursor(), 6u);
    EXPECT_EQ(m.column(), HexColumn::Char);
    EXPECT_FALSE(m.isChanged(6));

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(5), 0x1F);
    EXPECT_EQ(m.column(), HexColumn::Hex);
    EXPECT_EQ(m.nibble(), 1);
    EXPECT_TRUE(m.isChanged(5)) << "only the high digit is replaced, and its edit is still there";
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(5), 0xFF);
    EXPECT_FALSE(m.isChanged(5));
    EXPECT_FALSE(m.undo());
    EXPECT_FALSE(m.isModified());
}

TEST(HexViewModelTyping, RefusesWhatTheColumnCannotHold) {
    HexViewModel m = viewOf(32);
    for (char32_t c : {U'g', U' ', U'\n'})
        EXPECT_FALSE(m.typeChar(c)) << static_cast<int>(c);
    m.toggleColumn();
    for (char32_t c : {U'\t', U'\x7F', U'\u0100'})
        EXPECT_FALSE(m.typeChar(c)) << static_cast<int>(c);
    EXPECT_FALSE(m.canUndo());
    EXPECT_EQ(m.byteAt(0), 0xFF);
}

TEST(HexViewModelTyping, TypingPastTheLastByteNeverGrowsTheData) {
    HexViewModel m = viewOf(16);
    m.navigate(HexMove::DataEnd);
    type(m, U"1234");
    EXPECT_EQ(m.byteAt(15), 0x34);
    EXPECT_EQ(m.cursor(), 15u);
    EXPECT_EQ(m.nibble(), 0);
    m.toggleColumn();
    type(m, U"xy");
    EXPECT_EQ(m.byteAt(15), 'y');
    EXPECT_EQ(m.dataSize(), 16u);

    HexViewModel empty = viewOf(0);
    EXPECT_FALSE(empty.typeChar(U'1'));
    empty.navigate(HexMove::DataEnd);
    EXPECT_EQ(empty.cursor(), 0u);
}

// --- Navigation ---

TEST(HexViewModelNavigation, ArrowsMoveByDigitOrByteAndStopAtTheEdges) {
    HexViewModel m = viewOf(40);
    m.navigate(HexMove::Left);
    m.navigate(HexMove::Up);
    EXPECT_EQ(m.cursor(), 0u);
    m.navigate(HexMove::Right);
    EXPECT_EQ(m.nibble(), 1) << "right moves by digit in the hex column";
    m.navigate(HexMove::Right);
    m.navigate(HexMove::Left);
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.nibble(), 1);

    m.setCursor(25, HexColumn::Hex);
    m.navigate(HexMove::Down);
    EXPECT_EQ(m.cursor(), 39u) << "down into a short last row lands on the last byte";
    m.setCursor(39, HexColumn::Hex, 1);
    m.navigate(HexMove::Right);
    m.navigate(HexMove::Down);
    EXPECT_EQ(m.cursor(), 39u);
    EXPECT_EQ(m.nibble(), 1);

    m.setCursor(24, HexColumn::Char);
    m.navigate(HexMove::Up);
    m.navigate(HexMove::Right);
    EXPECT_EQ(m.cursor(), 9u) << "right moves by byte in the character column";
}

TEST(HexViewModelNavigation, PagesMoveByTheVisibleRowsHomeEndByRowOrDataAndClamp) {
    HexViewModel m = viewOf(0x400, 4); // 64 rows, 4 visible
    m.setCursor(3, HexColumn::Hex);
    m.navigate(HexMove::PageDown);
    EXPECT_EQ(m.cursor(), 3u + 4 * 16);
    EXPECT_EQ(m.topRow(), 4u);
    m.navigate(HexMove::PageUp);
    m.navigate(HexMove::PageUp);
    EXPECT_EQ(m.cursor(), 3u);
    EXPECT_EQ(m.topRow(), 0u);
    for (int i = 0; i < 20; ++i)
        m.navigate(HexMove::PageDown);
    EXPECT_EQ(m.cursor(), 0x3F3u);
    EXPECT_EQ(m.topRow(), 60u);

    m.setCursor(0x57, HexColumn::Hex, 1);
    m.navigate(HexMove::RowStart);
    EXPECT_EQ(m.cursor(), 0x50u);
    EXPECT_EQ(m.nibble(), 0);
    m.navigate(HexMove::RowEnd);
    EXPECT_EQ(m.cursor(), 0x5Fu);
    m.navigate(HexMove::DataStart);
    EXPECT_EQ(m.topRow(), 0u) << "the cursor row scrolls into view";
    m.navigate(HexMove::DataEnd);
    EXPECT_EQ(m.cursor(), 0x3FFu);
    EXPECT_EQ(m.topRow(), 60u);
}

// --- Refresh ---

TEST(HexViewModelRefresh, ClearsMarksUndoCursorAndScrollKeepingTheSize) {
    HexViewModel m = viewOf(0x4000, 8);
    m.navigate(HexMove::DataEnd);
    m.toggleColumn();
    type(m, U"x");

    m.refresh(TBuffer(0x8000, 0x11)); // a larger source fills the view only
    EXPECT_EQ(m.dataSize(), 0x4000u);
    EXPECT_EQ(m.byteAt(0x3FFF), 0x11);
    EXPECT_FALSE(m.canUndo());
    EXPECT_FALSE(m.isChanged(0x3FFF));
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.column(), HexColumn::Hex);
    EXPECT_EQ(m.topRow(), 0u);

    m.refresh(TBuffer(4, 0x22)); // a smaller one leaves the rest
    EXPECT_EQ(m.byteAt(3), 0x22);
    EXPECT_EQ(m.byteAt(4), 0x11);

    m.setDataSize(0x8000);
    EXPECT_EQ(m.byteAt(0x7FFF), 0xFF);
    TBuffer dest(0x8000, 0);
    m.copyTo(dest, 16);
    EXPECT_EQ(dest[15], 0x11);
    EXPECT_EQ(dest[16], 0x00) << "only count bytes are copied";
}

TEST(HexViewModelDisplay, ControlCodesShowAsPointOthersUntranslated) {
    for (int b : {0x00, 0x1F, 0x7F, 0x9F})
        EXPECT_EQ(hexDisplayChar(std::uint8_t(b)), u'.') << b;
    for (int b : {0x20, 0x7E, 0xA0, 0xFF})
        EXPECT_EQ(hexDisplayChar(std::uint8_t(b)), char16_t(b)) << b;
}
