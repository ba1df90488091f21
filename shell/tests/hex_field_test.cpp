// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/hex_field.h"

#include "shell/tests/window_ops_rig.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(HexFieldValue, ReadsDollarAsHexadecimalAndPlainTextAsDecimal) {
    EXPECT_EQ(parseFieldValue("$fe"), 0xFE);
    EXPECT_EQ(parseFieldValue("12"), 12);
    EXPECT_EQ(parseFieldValue("-5"), -5);
    EXPECT_EQ(parseFieldValue(formatHexValue(-1, 2)), -1); // a negative value reads back
    EXPECT_EQ(parseFieldValue("-9223372036854775808"), INT64_MIN);
    for (const char* text : {"", "$", "AB", "$G1", "$12 ", " 12", "$-1", "-", "$12345678901234567",
                             "9223372036854775808", "1.5"})
        EXPECT_FALSE(parseFieldValue(text).has_value()) << text;
}

namespace {
HexEditState at(const QString& text, int cursor) {
    return HexEditState{text, cursor, cursor, 0};
}
} // namespace

TEST(HexFieldTyping, UpperCasesLettersAndInsertsAtTheCursorWhileTheTextStaysWithinDigitsPlusOne) {
    HexEditState s = at("$F", 1);
    EXPECT_TRUE(typeHexChar(s, 'a', 2));
    EXPECT_EQ(s.text, "$AF");
    EXPECT_EQ(s.cursor, 2);
    EXPECT_FALSE(typeHexChar(s, '1', 2)); // full
    EXPECT_EQ(s.text, "$AF");

    // Replacing a selection keeps the length, so a full field takes it.
    HexEditState sel{"$FF", 2, 1, 1};
    EXPECT_TRUE(typeHexChar(sel, '3', 2));
    EXPECT_EQ(sel.text, "$3F");
    EXPECT_EQ(sel.selectionLength, 0);

    HexEditState address = at("$123", 4);
    EXPECT_TRUE(typeHexChar(address, '4', 4));
    EXPECT_FALSE(typeHexChar(address, '5', 4));
    EXPECT_EQ(address.text, "$1234");
}

TEST(HexFieldTyping, DollarReplacesEverythingByDollarZeroWithTheZeroSelected) {
    HexEditState s{"$ABCD", 3, 2, 1};
    EXPECT_TRUE(typeHexChar(s, '$', 4));
    EXPECT_EQ(s.text, "$0");
    EXPECT_TRUE(typeHexChar(s, '7', 4)); // replaces the selected zero
    EXPECT_EQ(s.text, "$7");
}

TEST(HexFieldTyping, RefusesEnterEscapeAndEveryOtherCharacter) {
    for (QChar ch : {QChar('\r'), QChar(0x1B), QChar('g'), QChar(' '), QChar('-'), QChar(0x00E4)}) {
        HexEditState s = at("$1", 2);
        EXPECT_FALSE(typeHexChar(s, ch, 2)) << int(ch.unicode());
        EXPECT_EQ(s.text, "$1");
    }
}

TEST(HexFieldTyping, PasteGoesThroughTheRulesOneCharacterAtATime) {
    HexEditState s = at("$", 1);
    EXPECT_EQ(pasteHexText(s, "1x2", 4), 1);
    EXPECT_EQ(s.text, "$12");
    // A "$" inside pasted text starts over; digits beyond the width are refused.
    s = at("$99", 3);
    EXPECT_EQ(pasteHexText(s, "$abcde", 2), 3);
    EXPECT_EQ(s.text, "$AB");
}
