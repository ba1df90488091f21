// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli's file formats as a program on the simulated bench: Intel HEX
// and S-record files made and read back by an independent converter
// (srec_cat), bad S-records, "-" for standard input and output through
// pipes, FIFOs and /dev/stdout written as streams, and an EEPROM file that
// defines only some bytes.

#include "cli/outcome.h"
#include "cli/tests/tool_rig.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane::cli {
namespace {

constexpr std::size_t kFlash = 0x8000;
constexpr std::size_t kOffset = 0x100;

// 600 fixed pseudo-random bytes, none of them 0xFF, so that the converter
// and the tool agree on which bytes the files hold.
QByteArray sample() {
    std::mt19937 random(5131);
    QByteArray bytes(600, '\0');
    for (char& b : bytes)
        b = char(random() % 255);
    return bytes;
}

// The FLASH image that holds the sample at kOffset.
QByteArray sampleImage() {
    QByteArray image(kFlash, '\xff');
    image.replace(kOffset, 600, sample());
    return image;
}

class FormatRig : public ToolFolder {
protected:
    // The tool on the bench, with input on its standard input.
    ToolRun cli(const QStringList& arguments, const QByteArray& input = {}) const {
        QProcess p;
        p.setProcessEnvironment(benchEnvironment(dir.path()));
        p.setWorkingDirectory(dir.path());
        p.start(CORVANE_CLI_PATH, QStringList{"--simulate"} + arguments);
        if (!p.waitForStarted())
            return {};
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            ADD_FAILURE() << "corvane-cli did not finish: " << arguments.join(' ').toStdString();
            return {};
        }
        outBytes = p.readAllStandardOutput();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(outBytes),
                QString::fromUtf8(p.readAllStandardError())};
    }
    // srec_cat in the folder; true when it succeeded.
    bool srecCat(const QStringList& arguments) const {
        if (QByteArray(CORVANE_SREC_CAT).isEmpty())
            return false;
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(CORVANE_SREC_CAT, arguments);
        const bool done =
            p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!done)
            ADD_FAILURE() << "srec_cat " << arguments.join(' ').toStdString() << ": "
                          << p.readAllStandardError().toStdString();
        return done;
    }
    // What srec_cat reads from a file of the tool as a FLASH image, erased where the file gives nothing.
    QByteArray readBySrecCat(const QString& name, const QStringList& format) const {
        if (!srecCat(QStringList{name} + format +
                     QStringList{"-fill", "0xFF", "0", "0x8000", "-o", "check.bin", "-binary"}))
            return {};
        return readFile("check.bin");
    }
    bool isFifo(const QString& name) const {
        struct stat st {};
        return ::stat(QFile::encodeName(dir.filePath(name)).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }

    mutable QByteArray outBytes; // the last run's standard output as bytes
};

struct Converter {
    const char* extension;
    QStringList writeArguments; // srec_cat's output format
    QStringList readArguments;  // srec_cat's input format
};

class IndependentConverter : public FormatRig, public ::testing::WithParamInterface<Converter> {};

TEST_P(IndependentConverter, ItsFilesReadAsItReadsThemAndItReadsTheToolsFilesBack) {
    if (QByteArray(CORVANE_SREC_CAT).isEmpty())
        GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    const QString ext = QString::fromLatin1(GetParam().extension);
    writeFile("sample.bin", sample());
    ASSERT_TRUE(srecCat(QStringList{"sample.bin", "-binary", "-offset", "0x100", "-o", "made" + ext} +
                        GetParam().writeArguments));
    const ToolRun in = cli({"convert", "made" + ext, "image.bin"});
    ASSERT_EQ(in.status, ExitOk) << in.err.toStdString();
    EXPECT_EQ(readFile("image.bin"), sampleImage());

    const ToolRun out = cli({"convert", "image.bin", "back" + ext});
    ASSERT_EQ(out.status, ExitOk) << out.err.toStdString();
    EXPECT_EQ(readBySrecCat("back" + ext, GetParam().readArguments), sampleImage());

    // Into the chip and out again in the same format.
    ASSERT_EQ(cli({"-q", "write", "--erase", "--flash", "made" + ext}).status, ExitOk);
    EXPECT_EQ(bytesOf(stored()->chip(0)->flash()), sampleImage());
    ASSERT_EQ(cli({"-q", "read", "--flash", "chip" + ext}).status, ExitOk);
    EXPECT_EQ(readBySrecCat("chip" + ext, GetParam().readArguments), sampleImage());
}

INSTANTIATE_TEST_SUITE_P(Formats, IndependentConverter,
                         // The readers' own tests go through the record kinds; here one file of
                         // each family, with longer records and wider addresses.
                         ::testing::Values(Converter{".ihex", {"-intel", "-obs=64"}, {"-intel"}},
                                           Converter{".srec", {"-motorola", "-obs=250"}, {"-motorola"}},
                                           Converter{".s37",
                                                     {"-motorola", "-address-length=4",
                                                      "-execution-start-address=0x100"},
                                                     {"-motorola"}}),
                         [](const auto& info) { return std::string(info.param.extension + 1); });

TEST_F(FormatRig, BadSRecordsAreRefusedNamingTheirLineBeforeTheChipIsTouched) {
    writeFile("bad.s19", "S0030000FC\r\nS1050010AABB85\r\nS1050012AABB84\r\nS9030000FC\r\n");
    const ToolRun convert = cli({"convert", "bad.s19", "out.bin"});
    EXPECT_EQ(convert.status, ExitFileContent);
    EXPECT_EQ(convert.err, "corvane-cli: bad.s19: Wrong Checksum - line #3: S1050012AABB84\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("out.bin")));
    writeFile("short.srec", "S1050010AABB85\r\nS5030002FA\r\n");
    const ToolRun write = cli({"write", "--erase", "--flash", "short.srec"});
    EXPECT_EQ(write.status, ExitFileContent);
    EXPECT_EQ(write.err,
              "corvane-cli: short.srec: Wrong record count (file 2, read 1) - line #2: S5030002FA\n");
}

TEST_F(FormatRig, FormatNamesTheFormatWhateverTheNames) {
    writeFile("prog.txt", "S1050010AABB85\r\n");
    EXPECT_EQ(cli({"convert", "prog.txt", "out.bin"}).status, ExitFileContent);
    ASSERT_EQ(cli({"convert", "--format", "srec,bin", "prog.txt", "out"}).status, ExitOk);
    EXPECT_EQ(readFile("out").left(0x12).right(2), "\xaa\xbb");
    EXPECT_EQ(readFile("out").size(), qsizetype(kFlash)) << "a binary without an added extension";
    ASSERT_EQ(cli({"convert", "--format", "bin,", "out", "again.s28"}).status, ExitOk);
    EXPECT_TRUE(readFile("again.s28").startsWith("S0030000FC\r\nS1050010AABB85\r\n"));
}

TEST_F(FormatRig, StandardInputAndOutputAreFilesNamedMinus) {
    const QByteArray image = sampleImage();
    writeFile("image.bin", image);
    ASSERT_EQ(cli({"convert", "--format", "bin,srec", "image.bin", "image.srec"}).status, ExitOk);
    const QByteArray records = readFile("image.srec");

    // A filter from S-records to binary.
    const ToolRun filter = cli({"convert", "--format", "srec,bin", "-", "-"}, records);
    ASSERT_EQ(filter.status, ExitOk) << filter.err.toStdString();
    EXPECT_EQ(outBytes, image);
    // Without --format "-" is Intel HEX: S-records are no Intel HEX.
    const ToolRun unnamed = cli({"convert", "-", "x.bin"}, records);
    EXPECT_EQ(unnamed.status, ExitFileContent);
    EXPECT_EQ(unnamed.err, "corvane-cli: standard input: No Intel HEX records\n");

    ASSERT_EQ(cli({"-q", "write", "--erase", "--format", "srec", "--flash", "-"}, records).status, ExitOk);
    EXPECT_EQ(bytesOf(stored()->chip(0)->flash()), image);
    const ToolRun read = cli({"read", "--flash", "-"});
    ASSERT_EQ(read.status, ExitOk) << read.err.toStdString();
    EXPECT_TRUE(outBytes.startsWith(":10010000")) << read.out.toStdString();
    writeFile("read.hex", outBytes);
    ASSERT_EQ(cli({"convert", "read.hex", "read.bin"}).status, ExitOk);
    EXPECT_EQ(readFile("read.bin"), image);
    EXPECT_FALSE(QFile::exists(dir.filePath("-.hex")));
    EXPECT_FALSE(QFile::exists(dir.filePath("-")));
}

TEST_F(FormatRig, AFifoAndDevStdoutAreWrittenAsStreamsAndStayWhatTheyAre) {
    const QByteArray image = sampleImage();
    writeFile("image.bin", image);
    ASSERT_EQ(cli({"convert", "image.bin", "image.hex"}).status, ExitOk);
    const QByteArray hex = readFile("image.hex");

    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    QProcess reader;
    reader.setWorkingDirectory(dir.path());
    reader.start("cat", {"pipe"});
    ASSERT_TRUE(reader.waitForStarted());
    const ToolRun fifo = cli({"convert", "image.bin", "pipe"});
    ASSERT_TRUE(reader.waitForFinished(60000));
    EXPECT_EQ(fifo.status, ExitOk) << fifo.err.toStdString();
    EXPECT_EQ(fifo.err, "") << "no \"saved as\": the name stays as it is";
    EXPECT_EQ(reader.readAllStandardOutput(), hex);
    EXPECT_TRUE(isFifo("pipe"));
    EXPECT_FALSE(QFile::exists(dir.filePath("pipe.hex")));

    // /dev/stdout on a pipe, and on a file the shell appends to.
    const ToolRun piped = cli({"read", "--flash", "/dev/stdout", "--format", "bin"});
    ASSERT_EQ(piped.status, ExitOk) << piped.err.toStdString();
    EXPECT_EQ(outBytes, bytesOf(stored()->chip(0)->flash()));
    writeFile("log.txt", "head\n");
    QProcess shell;
    shell.setProcessEnvironment(benchEnvironment(dir.path()));
    shell.setWorkingDirectory(dir.path());
    shell.start("/bin/sh",
                {"-c", "exec \"$0\" --simulate convert image.bin /dev/stdout >>log.txt", CORVANE_CLI_PATH});
    ASSERT_TRUE(shell.waitForFinished(60000));
    EXPECT_EQ(shell.exitCode(), ExitOk) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(readFile("log.txt"), "head\n" + hex);
}

// An EEPROM holding calibration data everywhere; a file changing a few bytes
// of it must leave the rest as it was, unless the whole memory is asked for.
TEST_F(FormatRig, AnEepromFileChangesOnlyTheBytesItDefinesUnlessTheWholeMemoryIsAsked) {
    TBuffer calibration(0x400);
    for (std::size_t i = 0; i < calibration.size(); ++i)
        calibration[i] = std::uint8_t(i * 13 + 5);
    stored()->chip(0)->eeprom() = calibration;
    auto reportOf = [](const ToolRun& run) {
        return QJsonDocument::fromJson(run.out.toUtf8()).object()["devices"].toArray().at(0).toObject();
    };

    writeFile("cal.hex", ":02001000BEEF41\n:00000001FF\n");
    const ToolRun two = cli({"--json", "write", "--eeprom", "cal.hex"});
    ASSERT_EQ(two.status, ExitOk) << two.err.toStdString();
    TBuffer expected = calibration;
    expected[0x10] = 0xBE;
    expected[0x11] = 0xEF;
    EXPECT_EQ(stored()->chip(0)->eeprom(), expected);
    // Only the page holding the two bytes goes to the chip, and it is verified.
    EXPECT_LE(reportOf(two)["bytesWritten"].toInteger(), 128);
    EXPECT_EQ(reportOf(two)["verify"].toString(), "passed");

    // A binary file shorter than the memory defines its first bytes only.
    writeFile("head.bin", QByteArray(16, '\x5a'));
    ASSERT_EQ(cli({"-q", "write", "--eeprom", "head.bin"}).status, ExitOk);
    std::fill(expected.begin(), expected.begin() + 16, 0x5a);
    EXPECT_EQ(stored()->chip(0)->eeprom(), expected);

    // Writing what the chip already holds changes nothing and sends no page.
    const ToolRun same = cli({"--json", "write", "--eeprom", "head.bin"});
    ASSERT_EQ(same.status, ExitOk);
    EXPECT_EQ(reportOf(same)["bytesWritten"].toInteger(), 0);

    // The whole memory, as before: what the file leaves out becomes FF.
    ASSERT_EQ(cli({"-q", "write", "--eeprom-whole", "--eeprom", "cal.hex"}).status, ExitOk);
    TBuffer whole(0x400, 0xFF);
    whole[0x10] = 0xBE;
    whole[0x11] = 0xEF;
    EXPECT_EQ(stored()->chip(0)->eeprom(), whole);
}

} // namespace
} // namespace corvane::cli
