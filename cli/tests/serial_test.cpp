// SPDX-License-Identifier: GPL-3.0-or-later
// Serial numbers: their bytes, their place, the shared counter file and log.

#include "cli/serial_number.h"
#include "cli/serial_store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

namespace corvane::cli {
namespace {

struct EncodeCase {
    std::uint64_t value;
    int size;
    SerialFormat format;
    bool littleEndian;
    std::vector<std::uint8_t> bytes; // empty: does not fit
};

class EncodeSerialTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeSerialTest, GivesTheBytesOrRefusesANumberThatDoesNotFit) {
    const EncodeCase& c = GetParam();
    SerialLayout layout;
    layout.size = c.size;
    layout.format = c.format;
    layout.littleEndian = c.littleEndian;
    QString error;
    const auto bytes = encodeSerial(c.value, layout, error);
    if (c.bytes.empty()) {
        EXPECT_FALSE(bytes.has_value());
        EXPECT_TRUE(error.contains(QString::number(c.value)));
    } else {
        ASSERT_TRUE(bytes.has_value()) << error.toStdString();
        EXPECT_EQ(*bytes, c.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodeSerialTest,
    ::testing::Values(
        EncodeCase{0x12345678, 4, SerialFormat::Hex, false, {0x12, 0x34, 0x56, 0x78}},
        EncodeCase{0x12345678, 4, SerialFormat::Hex, true, {0x78, 0x56, 0x34, 0x12}},
        EncodeCase{0x1FF, 2, SerialFormat::Hex, false, {0x01, 0xFF}},
        EncodeCase{0x10000, 2, SerialFormat::Hex, false, {}},
        EncodeCase{
            UINT64_MAX, 10, SerialFormat::Hex, false, {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        EncodeCase{1234, 3, SerialFormat::Bcd, false, {0x00, 0x12, 0x34}},
        EncodeCase{1234, 3, SerialFormat::Bcd, true, {0x34, 0x12, 0x00}},
        EncodeCase{999999, 3, SerialFormat::Bcd, false, {0x99, 0x99, 0x99}},
        EncodeCase{1000000, 3, SerialFormat::Bcd, false, {}},
        EncodeCase{42, 5, SerialFormat::Ascii, false, {'0', '0', '0', '4', '2'}},
        EncodeCase{123456, 5, SerialFormat::Ascii, false, {}}));

TEST(SerialArguments, PlacesFormatsAndValues) {
    const auto flash = parseSerialPlace(QStringLiteral("flash:7FF0"));
    ASSERT_TRUE(flash);
    EXPECT_EQ(flash->memory, MEM_FLASH);
    EXPECT_EQ(flash->address, 0x7FF0u);
    const auto eeprom = parseSerialPlace(QStringLiteral("EEPROM:0x10"));
    ASSERT_TRUE(eeprom);
    EXPECT_EQ(eeprom->memory, MEM_EEPROM);
    EXPECT_EQ(eeprom->address, 0x10u);
    for (const char* bad : {"7FF0", "ram:10", "flash:", "flash:10000", "flash:xyz"})
        EXPECT_FALSE(parseSerialPlace(QString::fromLatin1(bad))) << bad;

    EXPECT_EQ(parseSerialFormat(QStringLiteral("bcd")), SerialFormat::Bcd);
    EXPECT_FALSE(parseSerialFormat(QStringLiteral("BIN")));
    EXPECT_EQ(parseSerialValue(QStringLiteral("1000")), 1000u);
    EXPECT_EQ(parseSerialValue(QStringLiteral("0x1000")), 0x1000u);
    for (const char* bad : {"", "-1", "12a", "1e3", "0x"})
        EXPECT_FALSE(parseSerialValue(QString::fromLatin1(bad))) << bad;
}

TEST(SerialPlace, StaysInsideTheMemoryAndOffTheImageDataUnlessAllowed) {
    TBuffer image(0x8000, kErased);
    image[0x7FF1] = 0x00;
    SerialLayout layout;
    layout.size = 4;
    layout.place = {MEM_FLASH, 0x7FF4};
    EXPECT_TRUE(checkSerialPlace(layout, image, 0x8000).isEmpty());
    layout.place.address = 0x7FFD;
    EXPECT_TRUE(checkSerialPlace(layout, image, 0x8000).contains(QStringLiteral("past the end")));
    layout.place.address = 0x7FF0;
    EXPECT_TRUE(checkSerialPlace(layout, image, 0x8000).contains(QStringLiteral("7ff1")));
    layout.overwrite = true;
    EXPECT_TRUE(checkSerialPlace(layout, image, 0x8000).isEmpty());

    placeSerial(image, layout, {1, 2, 3, 4});
    EXPECT_EQ(image[0x7FF0], 1);
    EXPECT_EQ(image[0x7FF3], 4);
    EXPECT_EQ(image[0x7FF4], kErased);
}

class SerialStoreTest : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    static QByteArray contents(const QString& name) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir dir;
};

TEST_F(SerialStoreTest, TheCounterStartsAtTheFirstNumberAndKeepsTheNext) {
    QString error;
    EXPECT_EQ(takeSerials(path("counter"), 1000, 1, error), 1000u);
    EXPECT_EQ(takeSerials(path("counter"), 5, 1, error), 1001u);
    EXPECT_EQ(contents(path("counter")), QByteArray("1002\n"));
    EXPECT_EQ(dir.path().size() > 0, true);
    // Nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("counter")});
}

TEST_F(SerialStoreTest, ACounterFileThatHoldsNoNumberIsRefusedAndKept) {
    QFile f(path("counter"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12x\n");
    f.close();
    QString error;
    EXPECT_FALSE(takeSerials(path("counter"), 1, 1, error));
    EXPECT_TRUE(error.contains(QStringLiteral("no serial number")));
    EXPECT_EQ(contents(path("counter")), QByteArray("12x\n"));
    EXPECT_FALSE(takeSerials(dir.filePath(QStringLiteral("missing/counter")), 1, 1, error));
}

TEST_F(SerialStoreTest, ThreadsTakingAtOnceNeverGetTheSameNumber) {
    constexpr int kThreads = 4, kEach = 25;
    std::vector<std::vector<std::uint64_t>> taken(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                QString error;
                for (int i = 0; i < kEach; ++i) {
                    if (const auto n = takeSerials(path("counter"), 1, 1, error))
                        taken[std::size_t(t)].push_back(*n);
                }
            });
        }
    }
    std::set<std::uint64_t> all;
    for (const auto& numbers : taken)
        all.insert(numbers.begin(), numbers.end());
    EXPECT_EQ(all.size(), std::size_t(kThreads * kEach));
    EXPECT_EQ(*all.rbegin(), std::uint64_t(kThreads * kEach));
    EXPECT_EQ(contents(path("counter")), QByteArray::number(kThreads * kEach + 1) + '\n');
}

TEST_F(SerialStoreTest, TheLogGetsAHeaderOnceAndQuotesResultsThatNeedIt) {
    QString error;
    ASSERT_TRUE(appendSerialLog(path("log.csv"), 2, 1000, QStringLiteral("ok"), error));
    ASSERT_TRUE(
        appendSerialLog(path("log.csv"), 5, 1001, QStringLiteral("failed: verify, \"FLASH\""), error));
    const QList<QByteArray> lines = contents(path("log.csv")).split('\n');
    ASSERT_EQ(lines.size(), 4); // three rows and the final line end
    EXPECT_EQ(lines[0], "time,device,serial,result");
    EXPECT_TRUE(lines[1].endsWith(",2,1000,ok")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].endsWith(",5,1001,\"failed: verify, \"\"FLASH\"\"\"")) << lines[2].toStdString();
    EXPECT_TRUE(lines[1].contains('T') && lines[1].left(lines[1].indexOf(',')).endsWith('Z'));
}

} // namespace
} // namespace corvane::cli
