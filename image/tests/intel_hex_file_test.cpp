// The Intel HEX codec: record checks with their line numbers, line ends,
// address records, the writer's stretches and record cutting, round trips,
// and files made by independent tools.

#include "file_test_support.h"
#include "image/intel_hex.h"

#include <QFile>
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

QByteArray fileContent(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

TBuffer bytes(std::initializer_list<int> values) {
    TBuffer out;
    for (int v : values)
        out.push_back(std::uint8_t(v));
    return out;
}

// Bytes [from, from + n) of a buffer.
TBuffer slice(const TBuffer& buffer, std::size_t from, std::size_t n) {
    return TBuffer(buffer.begin() + std::ptrdiff_t(from), buffer.begin() + std::ptrdiff_t(from + n));
}

} // namespace

// ------------------------------------------------------------------ reader

TEST(IntelHexReader, StoresDataRecordsAtTheirAddressesAndLeavesTheRestErased) {
    const TBuffer buffer = readHex(":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                                   ":02800000abcd06\r\n"
                                   ":00000001FF\r\n");
    ASSERT_EQ(buffer.size(), 0x10000u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(buffer[std::size_t(i)], i);
    EXPECT_EQ(buffer[0x8000], 0xAB) << "lower-case digits are read";
    EXPECT_EQ(buffer[0x8001], 0xCD);
    EXPECT_EQ(buffer[16], 0xFF);
    EXPECT_EQ(buffer[0xFFFF], 0xFF);
}

TEST(IntelHexReader, LaterRecordOverwritesEarlierOneAtTheSameAddress) {
    const TBuffer buffer = readHex(":0100100011DE\r\n:0100100022CD\r\n");
    EXPECT_EQ(buffer[0x10], 0x22);
}

TEST(IntelHexReader, StopsAtTheEndRecordWithoutLookingAtLaterLines) {
    const TBuffer buffer = readHex(":0100000055AA\r\n:00000001FF\r\n:garbage\r\n:0100010066FF\r\n");
    EXPECT_EQ(buffer[0], 0x55);
    EXPECT_EQ(buffer[1], 0xFF);
}

TEST(IntelHexReader, EndRecordMustItselfPassTheChecks) {
    EXPECT_EQ(lineError(":00000001FE\r\n"), QStringLiteral("Wrong Checksum - line #1\r:00000001FE"));
}

TEST(IntelHexReader, FileWithoutEndRecordEndsAtItsLastLine) {
    EXPECT_EQ(readHex(":0100000055AA\r\n")[0], 0x55);
    EXPECT_EQ(readHex("")[0], 0xFF);
}

TEST(IntelHexReader, ReportsEachKindOfBadRecordWithReasonLineNumberAndText) {
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {":0100000055A", "Wrong length"},        // even length
        {":0100000055AAA", "Wrong length"},      // one character too many
        {":020000005555", "Wrong length"},       // count says 2, line holds 1
        {":0G00000055AA", "Illegal Char"},       // in the count
        {":", "Illegal Char"},                   // count missing
        {":01000G0055AA", "Illegal Char"},       // in the address
        {":0100000 55AA", "Illegal Char"},       // a blank in the type
        {":01000000+5AA", "Illegal Char"},       // in the data
        {":010000005 5A", "Illegal Char"},       // a blank in the data
        {":0100000055AZ", "Illegal Char"},       // in the checksum
        {":0100000055AB", "Wrong Checksum"},     // sum is not zero
        {":00000001FFFF", "Wrong length"},       // end record with extra digits
        {":03000000020003F9", "Wrong Checksum"}, // one off
    };
    for (const Case& c : cases) {
        const QByteArray line(c.line);
        EXPECT_EQ(lineError(line + "\r\n"),
                  QString::fromLatin1(c.reason) + QStringLiteral(" - line #1\r") + QString::fromLatin1(line))
            << c.line;
    }
}

TEST(IntelHexReader, CountsSkippedLinesInTheLineNumber) {
    const QByteArray text = "; a comment\r\n"
                            "\r\n"
                            ":0100000055AA\r\n"
                            "no colon here\r\n"
                            ":0100010055AB\r\n"
                            ":00000001FF\r\n";
    EXPECT_EQ(lineError(text), QStringLiteral("Wrong Checksum - line #5\r:0100010055AB"));
}

TEST(IntelHexReader, AcceptsLfOnlyCrOnlyAndMissingLastLineEnd) {
    const QByteArray records[] = {":0100000011EE", ":0100010022DC", ":0100020033CA"};
    const QByteArray separators[] = {"\r\n", "\n", "\r"};
    for (const QByteArray& sep : separators) {
        const QByteArray text = records[0] + sep + records[1] + sep + records[2]; // no end after the last
        const TBuffer buffer = readHex(text);
        EXPECT_EQ(slice(buffer, 0, 3), bytes({0x11, 0x22, 0x33})) << sep.toHex().constData();
    }
    // Line numbers count the same whatever ends the lines; CR CR LF is two lines.
    EXPECT_EQ(lineError(":0100000011EE\n\n:0100000011EF\n"),
              QStringLiteral("Wrong Checksum - line #3\r:0100000011EF"));
    EXPECT_EQ(lineError(":0100000011EE\r\r\n:0100000011EF"),
              QStringLiteral("Wrong Checksum - line #3\r:0100000011EF"));
}

TEST(IntelHexReader, CtrlZEndsTheText) {
    const TBuffer buffer = readHex(":0100000011EE\r\n\x1A:0100010022DC\r\n");
    EXPECT_EQ(buffer[0], 0x11);
    EXPECT_EQ(buffer[1], 0xFF);
    EXPECT_EQ(readHex(":0100000011EE\x1A:bad")[0], 0x11)
        << "a Ctrl-Z inside a line ends the line and the text";
}

TEST(IntelHexReader, ReadsRecordsLongerThan32BytesInFull) {
    TBuffer source(0x10000, kErased);
    for (std::size_t i = 0; i < 255; ++i)
        source[0x1000 + i] = std::uint8_t(i);
    const QByteArray line = FormatHexRecord(source, 0x1000, 255);
    ASSERT_EQ(line.size(), 2 * 255 + 11);
    const TBuffer buffer = readHex(line + "\r\n");
    EXPECT_EQ(slice(buffer, 0x1000, 255), slice(source, 0x1000, 255));
}

TEST(IntelHexReader, DropsDataThatRunsPastTheAddressSpace) {
    TBuffer source(0x10010, 0x42);
    // A record of 16 bytes at FFF8: 8 land, 8 would lie beyond 0xFFFF.
    const QByteArray line = FormatHexRecord(source, 0xFFF8, 16);
    const TBuffer buffer = readHex(line + "\r\n");
    ASSERT_EQ(buffer.size(), 0x10000u);
    EXPECT_EQ(buffer[0xFFF8], 0x42);
    EXPECT_EQ(buffer[0xFFFF], 0x42);
    EXPECT_EQ(buffer[0x0000], 0xFF) << "nothing wraps round to the bottom";
    EXPECT_EQ(buffer[0x0007], 0xFF);
}

TEST(IntelHexReader, AddressRecordsSetTheBaseOfLaterDataRecords) {
    // Segment 0x0100 moves data by 0x1000.
    TBuffer buffer = readHex(":020000020100FB\r\n:010020007768\r\n");
    EXPECT_EQ(buffer[0x1020], 0x77);
    EXPECT_EQ(buffer[0x0020], 0xFF);

    // Linear base 0x10000: the data lies beyond every image and is dropped,
    // never folded onto the low 64 KB. Base 0 again brings later data back.
    buffer = readHex(":020000040001F9\r\n:010020007768\r\n:020000040000FA\r\n:010021008856\r\n");
    EXPECT_EQ(buffer[0x0020], 0xFF);
    EXPECT_EQ(buffer[0x0021], 0x88);
}

TEST(IntelHexReader, StartAddressAndOtherRecordTypesAreCheckedButChangeNothing) {
    const QByteArray ignored = ":0400000300001234B3\r\n:0400000500001234B1\r\n:01000007AA4E\r\n";
    EXPECT_EQ(readHex(ignored), TBuffer(0x10000, kErased));
    EXPECT_EQ(lineError(ignored + ":0100200077E8\r\n"),
              QStringLiteral("Wrong Checksum - line #4\r:0100200077E8"));
    EXPECT_EQ(lineError(":0400000500001234B2\r\n"),
              QStringLiteral("Wrong Checksum - line #1\r:0400000500001234B2"));
}

TEST(IntelHexReader, ShortensAHugeLineInTheMessage) {
    const QByteArray line = ":" + QByteArray(100000, '0');
    const QString message = lineError(line + "\r\n");
    EXPECT_TRUE(message.startsWith(QStringLiteral("Wrong length - line #1\r:000")))
        << message.left(40).toStdString();
    EXPECT_LT(message.size(), 1100);
    EXPECT_TRUE(message.endsWith(QStringLiteral("...")));
}

TEST(IntelHexReader, CallsTheMessageHookBeforeEveryLine) {
    const QByteArray text = ":0100000011EE\r\n\r\n:0100010022DC\r\n:00000001FF\r\n:ignored\r\n";
    qsizetype offset = 0;
    TextLineReader source([&](char* data, qsizetype size) {
        const qsizetype n = std::min<qsizetype>(size, text.size() - offset);
        std::copy_n(text.constData() + offset, n, data);
        offset += n;
        return n;
    });
    TBuffer buffer;
    IntelHexReader reader(buffer);
    reader.start();
    int calls = 0;
    reader.read(source, [&] { ++calls; });
    EXPECT_EQ(calls, 4);
}

TEST(TextLineReader, SplitsLinesAcrossChunkBoundaries) {
    // Deliver one byte per read so that CR and its LF arrive apart.
    const QByteArray text = "ab\r\ncd\ref\n\ngh";
    qsizetype offset = 0;
    TextLineReader reader([&](char* data, qsizetype) -> qsizetype {
        if (offset >= text.size())
            return 0;
        *data = text[offset++];
        return 1;
    });
    QStringList lines;
    QByteArray line;
    qsizetype length = 0;
    while (reader.nextLine(line, length))
        lines << QString::fromLatin1(line);
    EXPECT_EQ(lines, (QStringList{"ab", "cd", "ef", "", "gh"}));
}

// ------------------------------------------------------------------ writer

TEST(IntelHexWriter, WritesTheDocumentedExamples) {
    TBuffer buffer(0x8000, kErased);
    buffer[0] = 0x02;
    buffer[1] = 0x00;
    buffer[2] = 0x03;
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":03000000020003F8\r\n:00000001FF\r\n"));

    buffer.assign(0x8000, kErased);
    const TBuffer start = bytes({0xFF, 0xFF, 0x01, 0xFF, 0x02, 0xFF, 0xFF, 0x03});
    std::copy(start.begin(), start.end(), buffer.begin());
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":0300020001FF02F9\r\n:0100070003F5\r\n:00000001FF\r\n"));
}

TEST(IntelHexWriter, KeepsSingleErasedBytesInsideAndAtTheStartButNotAtTheEnd) {
    EXPECT_EQ(WriteIntelHex(bytes({0xFF, 0x01})), QByteArray(":02000000FF01FE\r\n:00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex(bytes({0x01, 0xFF})), QByteArray(":0100000001FE\r\n:00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex(TBuffer(0x400, kErased)), QByteArray(":00000001FF\r\n"));
    EXPECT_EQ(WriteIntelHex(TBuffer()), QByteArray(":00000001FF\r\n"));
}

TEST(IntelHexWriter, CutsAStretchIntoRecordsFromItsOwnStart) {
    TBuffer buffer(0x100, kErased);
    for (std::size_t i = 5; i < 5 + 40; ++i)
        buffer[i] = 0x11;
    const QList<QByteArray> lines = WriteIntelHex(buffer).split('\n');
    ASSERT_EQ(lines.size(), 5); // three records, the end record, the empty rest
    EXPECT_TRUE(lines[0].startsWith(":10000500"));
    EXPECT_TRUE(lines[1].startsWith(":10001500"));
    EXPECT_TRUE(lines[2].startsWith(":08002500"));
}

TEST(IntelHexWriter, FullImageWithoutErasedBytesGives2048Records) {
    TBuffer buffer(0x8000);
    for (std::size_t i = 0; i < buffer.size(); ++i)
        buffer[i] = std::uint8_t(i % 255);
    const QByteArray text = WriteIntelHex(buffer);
    EXPECT_EQ(text.count(":10"), 2048);
    EXPECT_EQ(text.count('\n'), 2049);
}

TEST(IntelHexWriter, MarksDataAbove64KWithAnExtendedAddressAndNeverCrossesTheBoundary) {
    TBuffer buffer(0x10010, kErased);
    for (std::size_t i = 0xFFF8; i < 0x10008; ++i)
        buffer[i] = 0x5A;
    EXPECT_EQ(WriteIntelHex(buffer), QByteArray(":08FFF8005A5A5A5A5A5A5A5A31\r\n"
                                                ":020000040001F9\r\n"
                                                ":080000005A5A5A5A5A5A5A5A28\r\n"
                                                ":00000001FF\r\n"));
}

TEST(IntelHexCodec, RandomImagesSurviveAWriteAndReadBack) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        const std::size_t size = seed % 2 ? 0x8000 : 0x4000;
        const TBuffer image = patternImage(size, seed);
        const TBuffer back = readHex(WriteIntelHex(image));
        ASSERT_EQ(slice(back, 0, size), image) << "seed " << seed;
        EXPECT_EQ(slice(back, size, 0x10000 - size), TBuffer(0x10000 - size, kErased));
    }
}

// ---------------------------------------------------- independent tools

TEST(IntelHexFromOtherTools, ReadsFilesMadeBySrecCatAndObjcopy) {
    const QByteArray sample = fileContent(fixturePath("sample.bin"));
    ASSERT_EQ(sample.size(), 600);
    const TBuffer expected(sample.begin(), sample.end());

    // LF line ends, 32-byte records and a leading extended linear address record.
    TBuffer buffer = readHex(fileContent(fixturePath("srec_offset100.hex")));
    EXPECT_EQ(slice(buffer, 0x100, 600), expected);
    EXPECT_EQ(slice(buffer, 0, 0x100), TBuffer(0x100, kErased));

    buffer = readHex(fileContent(fixturePath("srec_64_byte_records.hex")));
    EXPECT_EQ(slice(buffer, 0, 600), expected);

    buffer = readHex(fileContent(fixturePath("objcopy_crlf.hex")));
    EXPECT_EQ(slice(buffer, 0, 600), expected);

    // A second block at 0x10000 lies beyond every image: the low block is
    // intact and nothing of the high block lands anywhere.
    buffer = readHex(fileContent(fixturePath("srec_above_64k.hex")));
    EXPECT_EQ(slice(buffer, 0, 600), expected);
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), std::uint8_t(0x5A)),
              std::count(expected.begin(), expected.end(), std::uint8_t(0x5A)));
}

TEST(IntelHexFromOtherTools, SrecCatReadsOurFilesAsTheImageTheyCameFrom) {
    ScratchDir dir;
    const TBuffer image = patternImage(0x8000, 77);
    dir.write("ours.hex", WriteIntelHex(image));
    if (!runTool("srec_cat", {dir.path("ours.hex"), "-intel", "-fill", "0xFF", "0", "0x8000", "-o",
                              dir.path("back.bin"), "-binary"}))
        GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    const QByteArray back = dir.read("back.bin");
    EXPECT_EQ(TBuffer(back.begin(), back.end()), image);
}
