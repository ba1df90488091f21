// SPDX-License-Identifier: GPL-3.0-or-later
// File names as bytes: decoding keeps every byte, valid UTF-8 reads as the
// system's own decoding does; texts from outside shown with control
// characters escaped.

#include "core/local_text.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct NameCase {
    const char* name;
    QByteArray bytes;
};

class FileNameBytes : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameBytes, RoundTripByteForByte) {
    const QByteArray& bytes = GetParam().bytes;
    EXPECT_EQ(encodeFileName(decodeFileName(bytes)).toHex(), bytes.toHex());
}

INSTANTIATE_TEST_SUITE_P(
    LocalText, FileNameBytes,
    ::testing::Values(NameCase{"ascii", "/tmp/prog.hex"},
                      NameCase{"utf8", "/home/j\xc3\xbcrgen/\xe2\x82\xac.hex"},
                      NameCase{"four_byte_utf8", "\xf0\x9f\x98\x80.bin"},
                      NameCase{"latin1", "/tmp/bad\xff.hex"}, NameCase{"truncated_sequence", "a\xc3"},
                      NameCase{"overlong_slash", "\xc0\xaf"}, NameCase{"encoded_surrogate", "\xed\xb3\xbf"},
                      NameCase{"beyond_unicode", "\xf4\x90\x80\x80"},
                      NameCase{"pair_low_half_like_a_kept_byte", "\xf0\x90\x82\x80\xff"},
                      NameCase{"control_bytes", QByteArray("a\x1b[0m\x01", 6)}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(LocalText, ValidUtf8DecodesAsUtf8AndStrayBytesStayApart) {
    const QByteArray utf8 = "/home/j\xc3\xbcrgen/\xf0\x9f\x98\x80.hex";
    EXPECT_EQ(decodeFileName(utf8), QString::fromUtf8(utf8));
    EXPECT_EQ(encodeFileName(QStringLiteral("/tmp/\u00e4.hex")), QByteArray("/tmp/\xc3\xa4.hex"));
    const QString stray = decodeFileName(QByteArray("x\xff.hex"));
    EXPECT_EQ(stray.size(), 6);
    EXPECT_NE(stray, decodeFileName(QByteArray("x\xfe.hex"))) << "different bytes, different names";
    EXPECT_EQ(stray.right(4), QStringLiteral(".hex"));
}

TEST(LocalText, EscapesControlCharactersAndStrayBytesOnly) {
    EXPECT_EQ(escapeControlChars(QStringLiteral("plain text, \u00fc and \\ stay")),
              QStringLiteral("plain text, \u00fc and \\ stay"));
    EXPECT_EQ(escapeControlChars(QString::fromUtf8("\x1b]0;title\x07\tx\x7f")),
              QStringLiteral("\\x1B]0;title\\x07\\x09x\\x7F"));
    EXPECT_EQ(escapeControlChars(QString(QChar(0x9b))), QStringLiteral("\\x9B")) << "C1 control introducer";
    EXPECT_EQ(escapeControlChars(decodeFileName(QByteArray("out\xef\xbf\xbd\xff.hex"))),
              QStringLiteral("out\uFFFD\\xFF.hex"));
    EXPECT_EQ(escapeControlChars(decodeFileName(QByteArray("\xf0\x90\x82\x80"))),
              QStringLiteral("\U00010080"))
        << "a character beyond the first plane is no stray byte";
}

} // namespace
