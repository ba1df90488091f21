// SPDX-License-Identifier: GPL-3.0-or-later
// The S-record codec: what the writer puts out, that it reads back, every
// kind of record, and bad records refused with their line.

#include "file_test_support.h"
#include "image/file_error.h"
#include "image/srecord.h"

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

struct Read {
    TBuffer image;
    std::vector<bool> defined;
    std::optional<std::uint64_t> firstBeyond;
    bool onlyFarBeyond = false;
};

Read readText(const QByteArray& text, std::size_t length) {
    Read r;
    r.defined.assign(length, false);
    TextLineReader source(chunksOf(text));
    SRecordReader reader(r.image, length);
    reader.trackDefined(r.defined);
    reader.read(source);
    r.firstBeyond = reader.firstAddressBeyond();
    r.onlyFarBeyond = reader.dataOnlyFarBeyond();
    return r;
}

// The message of the EDateiError that reading text raises.
QString refusal(const QByteArray& text) {
    try {
        readText(text, 0x400);
    } catch (const EDateiError& e) {
        return e.message();
    }
    return QStringLiteral("(read)");
}

} // namespace

TEST(SRecordWriter, WritesHeaderDataCountAndTerminatorWithCrLf) {
    TBuffer image(0x40, kErased);
    image[0x10] = 0x01;
    image[0x11] = 0x02;
    image[0x13] = 0x04; // a single 0xFF between data stays inside the stretch
    image[0x3F] = 0xAA;
    EXPECT_EQ(sRecordText(image), "S0030000FC\r\n"
                                  "S10700100102FF04E2\r\n"
                                  "S104003FAA12\r\n"
                                  "S5030002FA\r\n"
                                  "S9030000FC\r\n");
    EXPECT_EQ(sRecordText(TBuffer(0x100, kErased)), "S0030000FC\r\nS5030000FC\r\nS9030000FC\r\n");
}

TEST(SRecordWriter, UsesWiderAddressesOnlyWhereTheDataNeedsThem) {
    TBuffer image(0x10020, kErased);
    image[0] = 0x11;
    std::vector<QByteArray> lines;
    writeSRecords(image, [&](const QByteArray& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "S104000011EA");
    EXPECT_EQ(lines[3], "S9030000FC");
    image[0x10010] = 0x22;
    lines.clear();
    writeSRecords(image, [&](const QByteArray& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "S20500000011E9");
    EXPECT_EQ(lines[2], "S20501001022C7");
    EXPECT_EQ(lines[4], "S804000000FB");
    EXPECT_EQ(readText(sRecordText(image), image.size()).image, image);
}

class SRecordRoundTrip : public ::testing::TestWithParam<std::size_t> {};

TEST_P(SRecordRoundTrip, WhatIsWrittenReadsBackWithTheWrittenStretchesDefined) {
    const TBuffer image = patternImage(GetParam(), unsigned(GetParam()));
    const QByteArray text = sRecordText(image);
    const Read back = readText(text, image.size());
    EXPECT_EQ(back.image, image);
    EXPECT_FALSE(back.firstBeyond);
    // The writer leaves out runs of two or more 0xFF and nothing else.
    std::vector<bool> written(image.size());
    for (std::size_t a = 0; a < image.size(); ++a)
        written[a] = image[a] != kErased ||
                     (a + 1 < image.size() && (a == 0 || image[a - 1] != kErased) && image[a + 1] != kErased);
    EXPECT_EQ(back.defined, written);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SRecordRoundTrip, ::testing::Values(1, 17, 0x400, 0x4000, 0x8000));

TEST(SRecordReader, ReadsEveryAddressWidthAndSkipsHeaderCommentsAndWhatFollowsTheEnd) {
    const QByteArray text = "\xEF\xBB\xBF"
                            "S00600004844521B\n"     // header "HDR"
                            "made by hand\r\n"       // a comment
                            "S1050010AABB85\r"       // 0010: AA BB
                            "S206000020CCDD30\n"     // 000020: CC DD
                            "s30800000030eeff00da\n" // 00000030: EE FF 00, lower case
                            "S5030003F9\n"
                            "S70500000000FA\n"
                            "S1040000FFFC\n"; // after the end: not read
    const Read r = readText(text, 0x40);
    TBuffer expected(0x40, kErased);
    expected[0x10] = 0xAA;
    expected[0x11] = 0xBB;
    expected[0x20] = 0xCC;
    expected[0x21] = 0xDD;
    expected[0x30] = 0xEE;
    expected[0x32] = 0x00;
    EXPECT_EQ(r.image, expected);
    std::vector<bool> defined(0x40, false);
    for (std::size_t a : {0x10, 0x11, 0x20, 0x21, 0x30, 0x31, 0x32})
        defined[a] = true;
    EXPECT_EQ(r.defined, defined) << "0xFF at 0031 is given by the file";
}

TEST(SRecordReader, DataBeyondTheLengthIsDroppedAndTold) {
    // 03FE..0401 of a 1 KB image: two bytes in, two out.
    const Read r = readText("S10703FE01020304ED\n", 0x400);
    EXPECT_EQ(r.image[0x3FE], 0x01);
    EXPECT_EQ(r.firstBeyond, 0x400u);
    EXPECT_FALSE(r.onlyFarBeyond);
    EXPECT_TRUE(r.defined[0x3FF]);
    // Only 0xFF beyond is erased memory, not data.
    EXPECT_FALSE(readText("S1050400FFFFF8\n", 0x400).firstBeyond);
    // All data at addresses no 16-bit record reaches: made for other addresses.
    const Read far = readText("S3060008000011E0\n", 0x400);
    EXPECT_EQ(far.firstBeyond, 0x80000u);
    EXPECT_TRUE(far.onlyFarBeyond);
    EXPECT_EQ(readText("S107000001020304EE\nS104100011DA\n", 0x400).onlyFarBeyond, false);
}

TEST(SRecordReader, ATerminatorAloneIsAnEmptyImageAndNoRecordsAreNone) {
    EXPECT_EQ(readText("S9030000FC\n", 0x10).image, TBuffer(0x10, kErased));
    EXPECT_EQ(refusal(""), "No S-record data");
    EXPECT_EQ(refusal("S0030000FC\nsome text\nSize: 1 KB\n"), "No S-record data");
}

struct BadRecord {
    const char* text;
    const char* message;
};

class SRecordRefusals : public ::testing::TestWithParam<BadRecord> {};

TEST_P(SRecordRefusals, NameTheReasonTheLineNumberAndTheLine) {
    EXPECT_EQ(refusal(GetParam().text), QString::fromUtf8(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SRecordRefusals,
    ::testing::Values(BadRecord{"S0030000FC\nS1050010AABB84\n", "Wrong Checksum - line #2\rS1050010AABB84"},
                      BadRecord{"S1050010AABB\n", "Wrong length - line #1\rS1050010AABB"},
                      BadRecord{"S1050010AABB8500\n", "Wrong length - line #1\rS1050010AABB8500"},
                      BadRecord{"S10500\n", "Wrong length - line #1\rS10500"},
                      BadRecord{"S1020000FD\n",
                                "Wrong length - line #1\rS1020000FD"}, // count too small for its address
                      BadRecord{"S1050010AXBB85\n", "Illegal Char - line #1\rS1050010AXBB85"},
                      BadRecord{"S405001000AAA0\n", "Unknown record type - line #1\rS405001000AAA0"},
                      BadRecord{"S9\n", "Wrong length - line #1\rS9"},
                      BadRecord{"S1050010AABB85\nS5030002FA\n",
                                "Wrong record count (file 2, read 1) - line #2\rS5030002FA"},
                      BadRecord{"S504000100FA\n", "Wrong length - line #1\rS504000100FA"},
                      BadRecord{"S1050010AABB85\nS904000000FB\n", "Wrong length - line #2\rS904000000FB"},
                      BadRecord{"S1050010AABB85\n\x7f"
                                "ELF\x01\n",
                                "Illegal Char - line #2\r\\x7FELF\\x01"}));
