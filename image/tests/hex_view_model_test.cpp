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

// --- Typing ---

TEST(HexViewModelTyping, HexDigitsOverwriteHighThenLowDigitAndMoveOn) {
    HexViewModel m = viewOf(64);
    type(m, U"a5");
    EXPECT_EQ(m.byteAt(0), 0xA5);
    EXPECT_EQ(m.cursor(), 1u);
    EXPECT_EQ(m.nibble(), 0);
    type(m, U"3");
    EXPECT_EQ(m.byteAt(1), 0x3F) << "only the high digit is replaced";
    EXPECT_EQ(m.nibble(), 1);
    EXPECT_TRUE(m.isChanged(0));
    EXPECT_TRUE(m.isChanged(1));
    EXPECT_FALSE(m.isChanged(2));
    EXPECT_EQ(m.dataSize(), 64u);
}

TEST(HexViewModelTyping, CharacterColumnStoresTheCharacterCode) {
    HexViewModel m = viewOf(64);
    m.toggleColumn();
    type(m, U"Az\u00E4");
    EXPECT_EQ(m.byteAt(0), 'A');
    EXPECT_EQ(m.byteAt(1), 'z');
    EXPECT_EQ(m.byteAt(2), 0xE4);
    EXPECT_EQ(m.cursor(), 3u);
    EXPECT_EQ(m.column(), HexColumn::Char);
}

TEST(HexViewModelTyping, RefusesWhatTheColumnCannotHold) {
    HexViewModel m = viewOf(32);
    for (char32_t c : {U'g', U'G', U' ', U'$', U'\n'})
        EXPECT_FALSE(m.typeChar(c)) << static_cast<int>(c);
    m.toggleColumn();
    for (char32_t c : {U'\t', U'\x7F', U'\u0100', U'\u20AC'})
        EXPECT_FALSE(m.typeChar(c)) << static_cast<int>(c);
    EXPECT_FALSE(m.canUndo());
    EXPECT_EQ(m.changedCount(), 0u);
    EXPECT_EQ(m.byteAt(0), 0xFF);
}

TEST(HexViewModelTyping, TypingPastTheLastByteNeverGrowsTheData) {
    HexViewModel m = viewOf(16);
    m.navigate(HexMove::DataEnd);
    type(m, U"1234");
    EXPECT_EQ(m.dataSize(), 16u);
    EXPECT_EQ(m.byteAt(15), 0x34);
    EXPECT_EQ(m.cursor(), 15u);
    EXPECT_EQ(m.nibble(), 0);
    m.toggleColumn();
    type(m, U"xy");
    EXPECT_EQ(m.dataSize(), 16u);
    EXPECT_EQ(m.byteAt(15), 'y');

    HexViewModel empty = viewOf(0);
    EXPECT_FALSE(empty.typeChar(U'1'));
    empty.navigate(HexMove::DataEnd);
    EXPECT_EQ(empty.cursor(), 0u);
}

// --- Navigation ---

TEST(HexViewModelNavigation, ArrowsStopAtTheEdgesOfTheData) {
    HexViewModel m = viewOf(48);
    m.navigate(HexMove::Left);
    m.navigate(HexMove::Up);
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.nibble(), 0);

    m.navigate(HexMove::Right);
    EXPECT_EQ(m.nibble(), 1) << "right moves by digit in the hex column";
    m.navigate(HexMove::Right);
    EXPECT_EQ(m.cursor(), 1u);
    m.navigate(HexMove::Left);
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.nibble(), 1);

    m.setCursor(47, HexColumn::Hex, 1);
    m.navigate(HexMove::Right);
    m.navigate(HexMove::Down);
    EXPECT_EQ(m.cursor(), 47u);
    EXPECT_EQ(m.nibble(), 1);

    m.setCursor(40, HexColumn::Char);
    m.navigate(HexMove::Up);
    EXPECT_EQ(m.cursor(), 24u);
    m.navigate(HexMove::Right);
    EXPECT_EQ(m.cursor(), 25u) << "right moves by byte in the character column";
}

TEST(HexViewModelNavigation, DownIntoAShortLastRowLandsOnTheLastByte) {
    HexViewModel m = viewOf(20);
    m.setCursor(9, HexColumn::Hex);
    m.navigate(HexMove::Down);
    EXPECT_EQ(m.cursor(), 19u);
}

TEST(HexViewModelNavigation, PagesMoveByTheVisibleRowsAndClamp) {
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
    EXPECT_EQ(m.maxTopRow(), 60u);
}

TEST(HexViewModelNavigation, HomeEndAndDataStartEnd) {
    HexViewModel m = viewOf(0x100, 4);
    m.setCursor(0x57, HexColumn::Hex, 1);
    m.navigate(HexMove::RowStart);
    EXPECT_EQ(m.cursor(), 0x50u);
    EXPECT_EQ(m.nibble(), 0);
    m.navigate(HexMove::RowEnd);
    EXPECT_EQ(m.cursor(), 0x5Fu);
    m.navigate(HexMove::DataEnd);
    EXPECT_EQ(m.cursor(), 0xFFu);
    EXPECT_EQ(m.topRow(), 12u) << "the cursor row scrolls into view";
    m.navigate(HexMove::DataStart);
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.topRow(), 0u);
}

TEST(HexViewModelNavigation, ColumnSwitchKeepsTheByte) {
    HexViewModel m = viewOf(64);
    m.setCursor(33, HexColumn::Hex, 1);
    m.toggleColumn();
    EXPECT_EQ(m.column(), HexColumn::Char);
    EXPECT_EQ(m.cursor(), 33u);
    m.toggleColumn();
    EXPECT_EQ(m.column(), HexColumn::Hex);
    EXPECT_EQ(m.nibble(), 0);
}

// --- Undo, change marks and refresh ---

TEST(HexViewModelUndo, TakesBackEditsInReverseOrderWithTheCursor) {
    HexViewModel m = viewOf(64);
    m.setCursor(5, HexColumn::Hex);
    type(m, U"12");
    m.toggleColumn();
    type(m, U"Q");
    EXPECT_EQ(m.byteAt(5), 0x12);
    EXPECT_EQ(m.byteAt(6), 'Q');

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(6), 0xFF);
    EXPECT_EQ(m.cursor(), 6u);
    EXPECT_EQ(m.column(), HexColumn::Char);
    EXPECT_FALSE(m.isChanged(6));

    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(5), 0x1F);
    EXPECT_EQ(m.nibble(), 1);
    EXPECT_TRUE(m.isChanged(5)) << "the high digit's edit is still there";
    ASSERT_TRUE(m.undo());
    EXPECT_EQ(m.byteAt(5), 0xFF);
    EXPECT_FALSE(m.isChanged(5));
    EXPECT_FALSE(m.undo());
    EXPECT_FALSE(m.isModified());
}

TEST(HexViewModelRefresh, ClearsMarksUndoAndResetsCursorAndScrollKeepingTheSize) {
    HexViewModel m = viewOf(0x4000, 8);
    m.navigate(HexMove::DataEnd);
    m.toggleColumn();
    type(m, U"x");
    ASSERT_GT(m.topRow(), 0u);

    TBuffer image(0x4000, 0xFF);
    image[0] = 0x02;
    image[0x3FFF] = 0x7E;
    m.refresh(image);
    EXPECT_EQ(m.byteAt(0), 0x02);
    EXPECT_EQ(m.byteAt(0x3FFF), 0x7E);
    EXPECT_EQ(m.changedCount(), 0u);
    EXPECT_FALSE(m.canUndo());
    EXPECT_EQ(m.cursor(), 0u);
    EXPECT_EQ(m.column(), HexColumn::Hex);
    EXPECT_EQ(m.nibble(), 0);
    EXPECT_EQ(m.topRow(), 0u);

    // A larger source fills the view only; a smaller one leaves the rest.
    m.refresh(TBuffer(0x8000, 0x11));
    EXPECT_EQ(m.dataSize(), 0x4000u);
    m.refresh(TBuffer(4, 0x22));
    EXPECT_EQ(m.byteAt(3), 0x22);
    EXPECT_EQ(m.byteAt(4), 0x11);
}

TEST(HexViewModelRefresh, SetDataSizeFillsNewBytesWithErasedValue) {
    HexViewModel m = viewOf(16);
    m.setDataSize(0x8000);
    EXPECT_EQ(m.dataSize(), 0x8000u);
    EXPECT_EQ(m.byteAt(0x7FFF), 0xFF);
    EXPECT_EQ(m.rowCount(), 0x800u);

    TBuffer dest(2, 0);
    m.copyTo(dest, 0x8000);
    EXPECT_EQ(dest.size(), 0x8000u);
    TBuffer shortDest(0x4000, 0);
    m.copyTo(shortDest, 16);
    EXPECT_EQ(shortDest[15], 0xFF);
    EXPECT_EQ(shortDest[16], 0x00) << "only count bytes are copied";
}

TEST(HexViewModelDisplay, ControlCodesShowAsPointOthersUntranslated) {
    EXPECT_EQ(hexDisplayChar(0x00), u'.');
    EXPECT_EQ(hexDisplayChar(0x1F), u'.');
    EXPECT_EQ(hexDisplayChar(0x7F), u'.');
    EXPECT_EQ(hexDisplayChar(0x9F), u'.');
    EXPECT_EQ(hexDisplayChar('A'), u'A');
    EXPECT_EQ(hexDisplayChar(0xFF), u'\u00FF');
    EXPECT_EQ(hexDisplayChar(0xA0), u'\u00A0');
}
