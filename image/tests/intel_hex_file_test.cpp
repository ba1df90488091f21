// SPDX-License-Identifier: GPL-3.0-or-later
// The Intel HEX codec: record checks with their line numbers, line ends,
// address records, the writer's stretches and record cutting, round trips,
// and files made by independent tools.

#include "file_test_support.h"
#include "image/intel_hex.h"

#include <QProcess>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::testing;

namespace {

TBuffer readHex(const QByteArray& text) {
    TBuffer buffer;
    ReadIntelHex(text, buffer);
    return buffer;
}

// The message of the line error the text raises, or "" when it reads cleanly.
QString lineError(const QByteArray& text) {
    try {
        readHex(text);
    } catch (const EDateiError& e) {
        return e.message();
    }
    return QString();
}

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(CORVANE_FIXTURE_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes [from, from + n) of a buffer.
TBuffer slice(const TBuffer& buffer, std::size_t from, std::size_t n) {
    return TBuffer(buffer.begin() + std::ptrdiff_t(from), buffer.begin() + std::ptrdiff_t(from + n));
}

} // namespace

// ------------------------------------------------------------------ reader

TEST(IntelHexReader, StoresDataAtItsAddressUpToTheEndRecordAndLeavesTheRestErased) {
    const TBuffer buffer = readHex(":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                   ":02800000abcd06\r\n"
                                   ":0100100011DE\r\n:0100100022CD\r\n" // the later record wins
                                   ":00000001FF\r\n:garbage\r\n:010020006679\r\n");
    ASSERT_EQ(buffer.size(), 0x10000u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[std::size_t(i)], i);
    EXPECT_EQ(slice(buffer, 0x8000, 2), (TBuffer{0xAB, 0xCD})) << "lower-case digits are read";
    EXPECT_EQ(buffer[0x10], 0x22);
    EXPECT_EQ(buffer[0x20], 0xFF) << "nothing after the end record is read";
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), kErased), 0x10000 - 19);
}

TEST(IntelHexReader, ReportsEachKindOfBadRecordWithReasonLineNumberAndText) {
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {":0100000055A", "Wrong length"},          // even length
        {":020000005555", "Wrong length"},         // count says 2, line holds 1
        {":", "Illegal Char"},                     // count missing
        {":01000000+5AA", "Illegal Char"},         // in the data
        {":0100000055AB", "Wrong Checksum"},       // sum is not zero
        {":00000001FE", "Wrong Checksum"},         // the end record is checked too
        {":0400000500001234B2", "Wrong Checksum"}, // so are records that carry nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const QByteArray line(c.line);
        EXPECT_EQ(lineError(line + "\r\n"), QLatin1String(c.reason) + " - line #1\r" + QLatin1String(line));
    }
}

TEST(IntelHexReader, CountsEveryLineWhateverEndsItAndStopsAtCtrlZ) {
    EXPECT_EQ(
        lineError("; a comment\r\n\r\n:0100000055AA\r\nno colon here\r\n:0100010055AB\r\n:00000001FF\r\n"),
        QStringLiteral("Wrong Checksum - line #5\r:0100010055AB"));
    for (const QByteArray sep : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(sep.toHex().constData());
        // No line end after the last record.
        const TBuffer buffer = readHex(":0100000011EE" + sep + ":0100010022DC" + sep + ":0100020033CA");
        EXPECT_EQ(slice(buffer, 0, 3), (TBuffer{0x11, 0x22, 0x33}));
    }
    // CR CR LF is two lines.
    EXPECT_EQ(lineError(":0100000011EE\n\n:0100000011EF\n"),
              QStringLiteral("Wrong Checksum - line #3\r:0100000011EF"));
    EXPECT_EQ(lineError(":0100000011EE\r\r\n:0100000011EF"),
              QStringLiteral("Wrong Checksum - line #3\r:0100000011EF"));

    EXPECT_EQ(slice(readHex(":0100000011EE\r\n\x1A:0100010022DC\r\n"), 0, 2), (TBuffer{0x11, 0xFF}));
    EXPECT_EQ(readHex(":0100000011EE\x1A:bad")[0], 0x11)
        << "a Ctrl-Z inside a line ends the line and the text";
}

TEST(IntelHexReader, ReadsRecordsOf255BytesAndDropsDataPastTheAddressSpace) {
    TBuffer source(0x10010, kErased);
    for (std::size_t i = 0; i < 255; ++i)
        source[0x1000 + i] = std::uint8_t(i);
    const QByteArray line = FormatHexRecord(source, 0x1000, 255);
    ASSERT_EQ(line.size(), 2 * 255 + 11);
    std::fill_n(source.begin() + 0xFFF8, 16, 0x42);
    // The second record: 8 bytes land, 8 would lie beyond 0xFFFF.
    const TBuffer buffer = readHex(line + "\n" + FormatHexRecord(source, 0xFFF8, 16));
    EXPECT_EQ(buffer, slice(source, 0, 0x10000)) << "nothing wraps round to the bottom";
}

TEST(IntelHexReader, AddressRecordsSetTheBaseOfLaterDataRecordsOthersChangeNothing) {
    // Segment 0x0100 moves data by 0x1000.
    TBuffer buffer = readHex(":020000020100FB\r\n:010020007768\r\n");
    EXPECT_EQ(buffer[0x1020], 0x77);
    EXPECT_EQ(buffer[0x0020], 0xFF);

    // Linear base 0x10000: the data lies beyond every image and is dropped,
    // never folded onto the low 64 KB. Base 0 again brings later data back.
    buffer = readHex(":020000040001F9\r\n:010020007768\r\n:020000040000FA\r\n:010021008856\r\n");
    EXPECT_EQ(buffer[0x0020], 0xFF);
    EXPECT_EQ(buffer[0x0021], 0x88);

    EXPECT_EQ(readHex(":0400000300001234B3\r\n:0400000500001234B1\r\n:01000007AA4E\r\n:00000001FF\r\n"),
              TBuffer(0x10000, kErased));
}

// Content that is no Intel HEX image is refused, naming the line where one
// is to blame; the end record alone is a valid, empty image.
struct ContentCase {
    const char* name;
    QByteArray text;
    const char* error; // "" when the text reads as an image
};

class IntelHexContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(IntelHexContent, IsReadOrRefusedAsBadContent) {
    EXPECT_EQ(lineError(GetParam().text), QString::fromUtf8(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    IntelHexReader, IntelHexContent,
    ::testing::Values(
        ContentCase{"empty", "", "No Intel HEX records"},
        ContentCase{"ctrl_z_first", QByteArray("\x1a:0100000011EE\r\n"), "No Intel HEX records"},
        ContentCase{"only_an_address_record", ":020000040001F9\r\n", "No Intel HEX records"},
        ContentCase{"binary_with_ctrl_z",
                    QByteArray("\x7f"
                               "ELF\x02\x01\x1b[2J\x1a:00000001FF"),
                    "Illegal Char - line #1\r\\x7FELF\\x02\\x01\\x1B[2J"},
        ContentCase{"binary_after_records", QByteArray(":0100000011EE\r\nab") + '\0' + "\x01\r\n:00000001FF",
                    "Illegal Char - line #2\rab\\x00\\x01"},
        ContentCase{"bytes_that_are_not_utf8",
                    ":01000000\xff\xfe"
                    "1\r\n",
                    "Wrong length - line #1\r:01000000\\xFF\\xFE1"},
        ContentCase{"end_record_alone", ":00000001FF\r\n", ""},
        ContentCase{"data_without_end_record", "; made by hand\tv2\r\n:0100000011EE", ""},
        ContentCase{"byte_order_mark_then_a_bad_record", "\xef\xbb\xbf:0100000011EF\r\n",
                    "Wrong Checksum - line #1\r:0100000011EF"},
        ContentCase{"utf8_comment",
                    "; Pr\xc3\xbc"
                    "fsumme \xe2\x9c\x93\r\n:00000001FF\r\n",
                    ""}),
    [](const ::testing::TestParamInfo<ContentCase>& info) { return std::string(info.param.name); });

TEST(IntelHexReader, SkipsAByteOrderMarkBeforeTheFirstRecordOnly) {
    const TBuffer buffer = readHex("\xef\xbb\xbf:03000000020003F8\r\n:00000001FF\r\n");
    EXPECT_EQ(slice(buffer, 0, 4), (TBuffer{0x02, 0x00, 0x03, 0xFF}));
    // Elsewhere the mark is no record start: that line is a comment.
    EXPECT_EQ(readHex(":0100000011EE\r\n\xef\xbb\xbf:0100010022DC\r\n")[1], 0xFF);
}

TEST(IntelHexReader, TellsTheFirstAddressBeyondTheKeptLengthThatHoldsData) {
    auto firstBeyond = [](const QByteArray& text, std::uint64_t kept) {
        TBuffer buffer;
        IntelHexReader reader(buffer);
        reader.start(kept);
        TextLineReader source(chunksOf(text, text.size()));
        reader.read(source);
        return reader.firstAddressBeyond();
    };
    // 0x3FFF fits, 0x4000 is erased; the lower of two later records counts.
    const QByteArray text = ":023FFF0012FFAF\r\n:02500000ABCD36\r\n:014800007740\r\n:00000001FF\r\n";
    EXPECT_EQ(firstBeyond(text, 0x4000), std::optional<std::uint64_t>(0x4800));
    EXPECT_EQ(firstBeyond(text, 0x8000), std::nullopt);
    EXPECT_EQ(firstBeyond(":024000003FFF80\r\n:00000001FF\r\n", 0x4000),
              std::optional<std::uint64_t>(0x4000));
    EXPECT_EQ(firstBeyond(":02400000FFFFC0\r\n:00000001FF\r\n", 0x4000), std::nullopt)
        << "erased bytes are no data";
    // Data above 64 KB through a linear address record.
    EXPECT_EQ(firstBeyond(":020000040001F9\r\n:010020007768\r\n", 0x8000),
              std::optional<std::uint64_t>(0x10020));
}

TEST(IntelHexReader, TellsWhenAddressRecordsMovedAllDataPastTheKeptLength) {
    auto onlyMoved = [](const QByteArray& text) {
        TBuffer buffer;
        IntelHexReader reader(buffer);
        reader.start(0x8000);
        TextLineReader source(chunksOf(text, text.size()));
        reader.read(source);
        return reader.dataOnlyMovedBeyond();
    };
    EXPECT_TRUE(onlyMoved(":020000040001F9\r\n:03000000010203F7\r\n"));
    EXPECT_TRUE(onlyMoved(":020000020800F4\r\n:0100000011EE\r\n")) << "segment 0x800: base 0x8000";
    EXPECT_FALSE(onlyMoved(":0100000011EE\r\n:020000040001F9\r\n:03000000010203F7\r\n"))
        << "some data lands in the image";
    EXPECT_FALSE(onlyMoved(":01900000115E\r\n")) << "plain 16-bit data beyond the image";
    EXPECT_FALSE(onlyMoved(":020000040001F9\r\n:03000000FFFFFF00\r\n")) << "erased bytes are no data";
}

TEST(IntelHexReader, ShortensAHugeLineInTheMessage) {
    const QString message = lineError(":" + QByteArray(100000, '0') + "\r\n");
    EXPECT_TRUE(message.startsWith(QStringLiteral("Wrong length - line #1\r:000")))
        << message.left(40).toStdString();
    EXPECT_LT(message.size(), 1100);
    EXPECT_TRUE(message.endsWith(QStringLiteral("...")));
}

TEST(TextLineReader, SplitsLinesAcrossChunkBoundaries) {
    // One byte per read, so that CR and its LF arrive apart.
    TextLineReader reader(chunksOf("ab\r\ncd\ref\n\ngh", 1));
    QStringList lines;
    QByteArray line;
    qsizetype length = 0;
    while (reader.nextLine(line, length))
        lines << QString::fromLatin1(line);
    EXPECT_EQ(lines, (QStringList{"ab", "cd", "ef", "", "gh"}));
}

// ------------------------------------------------------------------ writer

TEST(IntelHexWriter, WritesNonErasedStretchesKeepingSingleErasedBytesInside) {
    TBuffer buffer(0x8000, kErased);
    buffer[0] = 0x02;
    buffer[1] = 0x00;
    buffer[2] = 0x03;
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":03000000020003F8\r\n:00000001FF\r\n"));

    const TBuffer start{0xFF, 0xFF, 0x01, 0xFF, 0x02, 0xFF, 0xFF, 0x03};
    buffer.assign(0x8000, kErased);
    std::copy(start.begin(), start.end(), buffer.begin());
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":0300020001FF02F9\r\n:0100070003F5\r\n:00000001FF\r\n"));

    // A single 0xFF at the start is kept, one at the end is not.
    EXPECT_EQ(WriteIntelHex({0xFF, 0x01}), QByteArray(":02000000FF01FE\r\n:00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex({0x01, 0xFF}), QByteArray(":0100000001FE\r\n:00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex(TBuffer(0x400, kErased)), QByteArray(":00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex(TBuffer()), QByteArray(":00000001FF\r\n"));
}

TEST(IntelHexWriter, CutsStretchesFromTheirOwnStartNeverAcrossTheBoundaryOf64K) {
    TBuffer buffer(0x100, kErased);
    std::fill_n(buffer.begin() + 5, 40, 0x11);
    const QList<QByteArray> lines = WriteIntelHex(buffer).split('\n');
    ASSERT_EQ(lines.size(), 5); // three records, the end record, the empty rest
    EXPECT_TRUE(lines[0].startsWith(":10000500"));
    EXPECT_TRUE(lines[1].startsWith(":10001500"));
    EXPECT_TRUE(lines[2].startsWith(":08002500"));

    // Data above 64 KB gets an extended linear address record.
    buffer.assign(0x10010, kErased);
    std::fill(buffer.begin() + 0xFFF8, buffer.begin() + 0x10008, 0x5A);
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":08FFF8005A5A5A5A5A5A5A5A31\r\n"
                                                ":020000040001F9\r\n"
                                                ":080000005A5A5A5A5A5A5A5A28\r\n"
                                                ":00000001FF\r\n"));
}

// ---------------------------------------------------- independent tools

TEST(IntelHexFromOtherTools, ReadsFilesMadeBySrecCatAndObjcopy) {
    const QByteArray sample = fixture("sample.bin");
    ASSERT_EQ(sample.size(), 600);
    // LF or CR LF line ends, 16 to 64-byte records, leading extended linear
    // address records, and a second block at 0x10000 that lies beyond every
    // image and must land nowhere.
    const std::pair<const char*, int> files[] = {{"srec_offset100.hex", 0x100},
                                                 {"srec_64_byte_records.hex", 0},
                                                 {"objcopy_crlf.hex", 0},
                                                 {"srec_above_64k.hex", 0}};
    for (const auto& [name, offset] : files) {
        SCOPED_TRACE(name);
        TBuffer expected(0x10000, kErased);
        std::copy(sample.begin(), sample.end(), expected.begin() + offset);
        EXPECT_EQ(readHex(fixture(name)), expected);
    }
}

TEST(IntelHexFromOtherTools, SrecCatReadsOurFilesAsTheImageTheyCameFrom) {
    ScratchDir dir;
    const TBuffer image = patternImage(0x8000, 77);
    dir.write("ours.hex", WriteIntelHex(image));
    QProcess tool;
    tool.start("srec_cat", {dir.path("ours.hex"), "-intel", "-fill", "0xFF", "0", "0x8000", "-o",
                            dir.path("back.bin"), "-binary"});
    if (!tool.waitForStarted())
        GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    ASSERT_TRUE(tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit &&
                tool.exitCode() == 0)
        << tool.readAllStandardError().constData();
    const QByteArray back = dir.read("back.bin");
    EXPECT_EQ(TBuffer(back.begin(), back.end()), image);
}
