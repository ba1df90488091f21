#include "ops/hex_field.h"

#include "ops/tests/qt_print.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(HexFieldText, ShowsAtLeastTheFieldsDigitsAndAllSixteenForNegativeValues) {
    EXPECT_EQ(formatHexValue(0xFE, 2), "$FE");
    EXPECT_EQ(formatHexValue(0x5, 2), "$05");
    EXPECT_EQ(formatHexValue(0x1234, 2), "$1234");
    EXPECT_EQ(formatHexValue(0xAB, 4), "$00AB");
    EXPECT_EQ(formatHexValue(-1, 2), "$FFFFFFFFFFFFFFFF");
    EXPECT_EQ(formatHexValue(-3, 4), "$FFFFFFFFFFFFFFFD");
}

TEST(HexFieldValue, ReadsDollarAsHexadecimalAndPlainTextAsDecimal) {
    EXPECT_EQ(parseFieldValue("$FE"), 0xFE);
    EXPECT_EQ(parseFieldValue("$fe"), 0xFE);
    EXPECT_EQ(parseFieldValue("$0000"), 0);
    EXPECT_EQ(parseFieldValue("12"), 12);
    EXPECT_EQ(parseFieldValue("-5"), -5);
    // What a negative value shows reads back as the same value.
    EXPECT_EQ(parseFieldValue(formatHexValue(-1, 2)), -1);
    EXPECT_EQ(parseFieldValue("-9223372036854775808"), INT64_MIN);
}

TEST(HexFieldValue, FailsForTextThatIsNoNumber) {
    for (const char* text : {"", "$", "AB", "$G1", "$12 ", " 12", "$-1", "-", "$12345678901234567",
                             "9223372036854775808", "1.5"})
        EXPECT_FALSE(parseFieldValue(text).has_value()) << text;
}

TEST(HexFieldValue, HexDigitsReadWithOrWithoutDollar) {
    EXPECT_EQ(parseHexDigits("$1234"), 0x1234u);
    EXPECT_EQ(parseHexDigits("12"), 0x12u);
    EXPECT_EQ(parseHexDigits("fFfF"), 0xFFFFu);
    EXPECT_FALSE(parseHexDigits("$").has_value());
    EXPECT_FALSE(parseHexDigits("").has_value());
    EXPECT_FALSE(parseHexDigits("12$").has_value());
}

namespace {
HexEditState at(const QString& text, int cursor) {
    return HexEditState{text, cursor, cursor, 0};
}
HexEditState selecting(const QString& text, int start, int length) {
    return HexEditState{text, start + length, start, length};
}
} // namespace

TEST(HexFieldTyping, UpperCasesLettersAndInsertsAtTheCursor) {
    HexEditState s = at("$", 1);
    EXPECT_TRUE(typeHexChar(s, 'a', 2));
    EXPECT_TRUE(typeHexChar(s, 'f', 2));
    EXPECT_EQ(s.text, "$AF");
    EXPECT_EQ(s.cursor, 3);

    s = at("$F", 1);
    EXPECT_TRUE(typeHexChar(s, '1', 2));
    EXPECT_EQ(s.text, "$1F");
    EXPECT_EQ(s.cursor, 2);
}

TEST(HexFieldTyping, DigitAcceptedOnlyWhileTextStaysWithinDigitsPlusOne) {
    HexEditState full = at("$FF", 3);
    EXPECT_FALSE(typeHexChar(full, '1', 2));
    EXPECT_EQ(full.text, "$FF");

    // Replacing a selection keeps the length, so it is allowed in a full field.
    HexEditState sel = selecting("$FF", 1, 1);
    EXPECT_TRUE(typeHexChar(sel, '3', 2));
    EXPECT_EQ(sel.text, "$3F");
    EXPECT_EQ(sel.selectionLength, 0);
    EXPECT_EQ(sel.cursor, 2);

    HexEditState address = at("$123", 4);
    EXPECT_TRUE(typeHexChar(address, '4', 4));
    EXPECT_FALSE(typeHexChar(address, '5', 4));
    EXPECT_EQ(address.text, "$1234");
}

TEST(HexFieldTyping, DollarReplacesEverythingByDollarZeroWithTheZeroSelected) {
    HexEditState s = selecting("$ABCD", 2, 1);
    EXPECT_TRUE(typeHexChar(s, '$', 4));
    EXPECT_EQ(s.text, "$0");
    EXPECT_EQ(s.selectionStart, 1);
    EXPECT_EQ(s.selectionLength, 1);
    // The next digit replaces the selected zero.
    EXPECT_TRUE(typeHexChar(s, '7', 4));
    EXPECT_EQ(s.text, "$7");
}

TEST(HexFieldTyping, RefusesEnterEscapeAndEveryOtherCharacter) {
    for (QChar ch : {QChar('\r'), QChar(0x1B), QChar('g'), QChar('G'), QChar(' '), QChar('-'), QChar('x'),
                     QChar(0x01), QChar(0x00E4)}) {
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
    EXPECT_EQ(pasteHexText(s, "\r\n", 2), 2);
}
