// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: what each option becomes, the refusals with what they
// say, and the help that the manual page and the completion are made from.

#include "cli/options.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace corvane::cli {
namespace {

ParseResult parse(const QString& line, CommandLine& out, QString& error) {
    return parseCommandLine(QStringList{"corvane-cli"} + line.split(' ', Qt::SkipEmptyParts), out, error);
}

TEST(Options, BecomeTheirValues) {
    CommandLine o;
    QString error;
    ASSERT_EQ(parse("-d 0,2-5 --json --controller 5130 --simulate=bench write --flash a.hex --eeprom=b.bin "
                    "--erase --no-verify --serial 0x10 --serial-at eeprom:20 --serial-le",
                    o, error),
              ParseResult::Run)
        << error.toStdString();
    EXPECT_EQ(o.devices, (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_TRUE(o.severalDevices());
    EXPECT_TRUE(o.json);
    EXPECT_EQ(o.controllerIndex, 1);
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.simFolder, "bench");
    EXPECT_EQ(o.eepromFile, "b.bin");
    EXPECT_TRUE(o.erase);
    EXPECT_FALSE(o.verify);
    ASSERT_TRUE(o.serial);
    EXPECT_EQ(o.serial->start, 0x10u);
    EXPECT_EQ(o.serial->place.memory, MEM_EEPROM);
    EXPECT_TRUE(o.serial->littleEndian);

    CommandLine c;
    ASSERT_EQ(parse("--simulate -d3 config --osc 16 --x2 on --bsb $12 --ssb isp", c, error),
              ParseResult::Run);
    EXPECT_TRUE(c.simulate);
    EXPECT_TRUE(c.simFolder.isEmpty());
    EXPECT_EQ(c.devices, std::vector<int>{3});
    EXPECT_FALSE(c.severalDevices());
    EXPECT_EQ(c.config.oscMegahertz, 16);
    EXPECT_EQ(c.config.x2, true);
    EXPECT_EQ(c.config.bytes.at(ConfigId::BSB), 0x12);
    EXPECT_EQ(c.config.securityLevel, 2);
    EXPECT_EQ(parse("--help", c, error), ParseResult::Help);
}

TEST(Options, FormatNamesOneFormatForBothFilesOrOneForEach) {
    const struct {
        const char* line;
        std::optional<ImageFormat> first, second;
    } cases[] = {
        {"write --flash a.txt --format srec", ImageFormat::SRecord, ImageFormat::SRecord},
        {"read --flash a --eeprom b --format=ihex,bin", ImageFormat::IntelHex, ImageFormat::Binary},
        {"convert --format ,bin - -", std::nullopt, ImageFormat::Binary},
        {"convert a.mot b --format srec,", ImageFormat::SRecord, std::nullopt},
        {"write --flash a.hex", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        CommandLine o;
        QString error;
        ASSERT_EQ(parse(QString::fromLatin1(c.line), o, error), ParseResult::Run)
            << c.line << ": " << error.toStdString();
        EXPECT_EQ(o.firstFormat, c.first) << c.line;
        EXPECT_EQ(o.secondFormat, c.second) << c.line;
    }
}

struct Refusal {
    const char* line;
    const char* says; // a part of the error
};

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, NameTheProblem) {
    CommandLine o;
    QString error;
    EXPECT_EQ(parse(QString::fromLatin1(GetParam().line), o, error), ParseResult::Error);
    EXPECT_TRUE(error.contains(QString::fromLatin1(GetParam().says))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Refusals,
    ::testing::Values(
        Refusal{"", "No command given"},
        Refusal{"wrte --flash a.hex", "unknown command 'wrte'; did you mean 'write'?"},
        Refusal{"write --flsh a.hex", "unknown option '--flsh'; did you mean '--flash'?"},
        Refusal{"-x info", "unknown option '-x'"},
        // The folder goes with "=": a word after --simulate is the command.
        Refusal{"--simulate ./typo info", "unknown command './typo'"},
        Refusal{"--simulate= info", "needs a folder"}, Refusal{"-d 8 info", "Bad device list"},
        Refusal{"-d 2,2 info", "named twice"}, Refusal{"--all -d 1 info", "not both"},
        Refusal{"read --flash a.hex --erase", "--erase does not belong to read"},
        Refusal{"read --flash same.hex --eeprom same.hex", "same file"},
        Refusal{"-d 0-1 convert a b", "--device does not belong to convert"},
        Refusal{"config --bsb 100", "hexadecimal byte"}, Refusal{"config", "at least one byte"},
        Refusal{"run --reset --address 10", "not both"},
        Refusal{"write --flash a.hex --serial 5", "--serial-at"},
        Refusal{"write --flash a.hex --serial 1 --serial-at flash:7000 --serial-format ascii --serial-le",
                "not with ascii"},
        Refusal{"write --erase --flash", "needs a value"}, Refusal{"info --quiet=yes", "takes no value"},
        Refusal{"-d 1-2.x info", "Bad bus-port path '1-2.x'"},
        Refusal{"-d 1-256.1 info", "Bad bus-port path"},
        Refusal{"-d 1-2.1,usb:1-2.1 info", "1-2.1 is named twice"},
        Refusal{"-d 0,9,1-2.1 info", "Bad device list '0,9,1-2.1'"},
        Refusal{"--wait=soon info", "whole number of seconds"},
        Refusal{"--wait convert a b", "--wait does not belong to convert"},
        Refusal{"--repeat -d 0,1 erase", "one socket"}, Refusal{"--repeat list", "not with list"},
        Refusal{"--repeat read --flash a.hex", "replace the files"},
        Refusal{"bench attach", "bench needs attach or remove and a slot"},
        Refusal{"--simulate bench attach 8", "slots are 0 to 7"},
        Refusal{"bench attach 0", "give --simulate"}));

TEST(Options, NameADeviceByItsPathWaitAndRepeat) {
    CommandLine o;
    QString error;
    ASSERT_EQ(parse("--wait=5 --repeat -d 1-2.1 erase", o, error), ParseResult::Run) << error.toStdString();
    EXPECT_TRUE(o.wait);
    EXPECT_EQ(o.waitSeconds, 5);
    EXPECT_TRUE(o.repeat);
    EXPECT_TRUE(o.devices.empty());
    EXPECT_EQ(o.devicePaths, QStringList{"1-2.1"});
    EXPECT_FALSE(o.severalDevices());

    CommandLine w;
    ASSERT_EQ(parse("--wait info", w, error), ParseResult::Run);
    EXPECT_TRUE(w.wait);
    EXPECT_FALSE(w.waitSeconds);
    EXPECT_FALSE(w.deviceGiven);
}

struct Selection {
    const char* text;
    std::vector<int> numbers;
    QStringList paths;
    bool list;
};

class Selections : public ::testing::TestWithParam<Selection> {};

// A path holds a dot or begins with "usb:"; everything else is a number or a range.
TEST_P(Selections, TellPathsFromRanges) {
    QString error;
    const auto got = parseDeviceSelection(QString::fromLatin1(GetParam().text), error);
    ASSERT_TRUE(got) << error.toStdString();
    EXPECT_EQ(got->numbers, GetParam().numbers);
    EXPECT_EQ(got->paths, GetParam().paths);
    EXPECT_EQ(got->list, GetParam().list);
}

INSTANTIATE_TEST_SUITE_P(DeviceOption, Selections,
                         ::testing::Values(Selection{"1-2", {1, 2}, {}, true}, Selection{"3", {3}, {}, false},
                                           Selection{"1-2.1", {}, {"1-2.1"}, false},
                                           Selection{"usb:1-2", {}, {"1-2"}, false},
                                           Selection{"usb:003-01.4", {}, {"3-1.4"}, false},
                                           Selection{"5, 2-1.4.7 ,0", {0, 5}, {"2-1.4.7"}, true}));

INSTANTIATE_TEST_SUITE_P(
    Formats, Refusals,
    ::testing::Values(Refusal{"convert --format , a b", "--format is ihex, srec or bin"},
                      Refusal{"convert --format srec,bin,ihex a b", "--format is ihex"},
                      Refusal{"write --flash a --format SREC", "--format is ihex"},
                      Refusal{"run --format bin", "--format does not belong to run"},
                      Refusal{"write --flash - --eeprom /dev/stdin", "both read standard input"},
                      Refusal{"--all read --flash /proc/self/fd/1", "Standard output carries"},
                      Refusal{"--json read --eeprom /dev/stdout", "Standard output carries"},
                      Refusal{"read --flash - --eeprom /dev/fd/1",
                              "--flash and --eeprom both write standard output"},
                      Refusal{"info --format bin", "--format does not belong to info"}));

TEST(Names, TheNearestKnownOneWithinTwoEdits) {
    const QStringList known{"write", "read", "erase"};
    EXPECT_EQ(nearestName("wirte", known), "write");
    EXPECT_EQ(nearestName("reed", known), "read");
    EXPECT_FALSE(nearestName("convert", known));
}

TEST(Arguments, HexadecimalWithTheUsualPrefixesAndDeviceLists) {
    EXPECT_EQ(parseHexArgument("$1F", 0xFF), 0x1Fu);
    EXPECT_EQ(parseHexArgument("0x1f", 0xFF), 0x1Fu);
    EXPECT_EQ(parseHexArgument("1F", 0xFF), 0x1Fu);
    for (const char* bad : {"", "$", "0x", "G1", "100", "-1", "123456789"})
        EXPECT_FALSE(parseHexArgument(QString::fromLatin1(bad), 0xFF)) << bad;
    QString error;
    EXPECT_EQ(parseDeviceList(" 6 , 1-2 ", error), (std::vector<int>{1, 2, 6}));
    for (const char* bad : {"", "5-2", "1-2-3", "x", "12", "1,,2"})
        EXPECT_FALSE(parseDeviceList(QString::fromLatin1(bad), error)) << bad;
}

// The completion and the manual page read the help: every option on a line
// of its own beginning with its names, an argument in <> or [].
TEST(Help, EveryOptionHasItsOwnEntry) {
    const QString help = helpText();
    for (const char* option : {"--device <N>", "--all", "--json", "--simulate[=FOLDER]",
                               "--controller <5131|5130>", "--serial-log <CSV>", "--osc <32|16|8>",
                               "--ssb <none|isp|isp-verify>", "--format <ihex|srec|bin>"}) {
        EXPECT_TRUE(help.contains(
            QRegularExpression(QStringLiteral("\\n  (-[a-z], )?%1  ")
                                   .arg(QRegularExpression::escape(QString::fromLatin1(option))))))
            << option;
    }
    for (int status = 0; status <= 8; ++status)
        EXPECT_TRUE(help.contains(QStringLiteral("\n  %1  ").arg(status))) << status;
    for (const QString& line : help.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

} // namespace
} // namespace corvane::cli
