// The tool's own pieces without a device: the command line, the terminal
// output and the read-back comparison.

#include "cli/command_line.h"
#include "cli/session.h"
#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace corvane::cli {
namespace {

ParseResult parse(QStringList arguments, CommandLine& out, QString& error) {
    arguments.prepend(QStringLiteral("corvane-cli"));
    return parseCommandLine(arguments, out, error);
}

TEST(CommandLineParsing, SimulateTakesAFolderOnlyWhereOneFollows) {
    CommandLine a, b, c, d;
    QString error;
    ASSERT_EQ(parse({"--simulate", "info"}, a, error), ParseResult::Run) << error.toStdString();
    EXPECT_TRUE(a.simulate);
    EXPECT_EQ(a.simFolder, "");
    EXPECT_EQ(a.command, "info");

    ASSERT_EQ(parse({"--simulate", "/tmp/bench", "erase"}, b, error), ParseResult::Run);
    EXPECT_EQ(b.simFolder, "/tmp/bench");
    EXPECT_EQ(b.command, "erase");

    ASSERT_EQ(parse({"erase", "--simulate"}, c, error), ParseResult::Run);
    EXPECT_TRUE(c.simulate);
    EXPECT_EQ(c.simFolder, "");

    ASSERT_EQ(parse({"erase", "--simulate", "-q"}, d, error), ParseResult::Run);
    EXPECT_TRUE(d.simulate && d.quiet);
    EXPECT_EQ(d.simFolder, "");
}

TEST(CommandLineParsing, GlobalOptionsGoAnywhereCommandOptionsOnlyWithTheirCommand) {
    CommandLine ok;
    QString error;
    ASSERT_EQ(parse({"write", "--flash", "a.hex", "-d", "7", "--controller", "5130", "--erase", "--flash-all",
                     "--no-verify"},
                    ok, error),
              ParseResult::Run)
        << error.toStdString();
    EXPECT_EQ(ok.device, 7);
    EXPECT_EQ(ok.controllerIndex, 1);
    EXPECT_TRUE(ok.erase && ok.flashAll && !ok.verify);

    CommandLine wrong;
    EXPECT_EQ(parse({"erase", "--flash", "a.hex"}, wrong, error), ParseResult::Error);
    EXPECT_TRUE(error.contains("--flash")) << error.toStdString();
}

TEST(CommandLineParsing, ConfigKeepsOnlyWhatWasNamed) {
    CommandLine c;
    QString error;
    ASSERT_EQ(
        parse({"config", "--osc", "8", "--x2", "off", "--p3cf", "$7F", "--ssb", "isp-verify"}, c, error),
        ParseResult::Run)
        << error.toStdString();
    EXPECT_EQ(c.oscIndex, 2);
    EXPECT_EQ(c.x2, false);
    EXPECT_FALSE(c.bljb.has_value());
    ASSERT_EQ(c.bytes.size(), 1u);
    EXPECT_EQ(c.bytes.at(Ctl::EdP3CF), 0x7F);
    EXPECT_EQ(c.ssbItem, 2);
}

TEST(CommandLineParsing, RunJumpsToZeroUnlessToldOtherwise) {
    CommandLine plain, address;
    QString error;
    ASSERT_EQ(parse({"run"}, plain, error), ParseResult::Run);
    EXPECT_FALSE(plain.reset);
    EXPECT_EQ(plain.address, 0);
    ASSERT_EQ(parse({"run", "--address", "0xFFFF"}, address, error), ParseResult::Run);
    EXPECT_EQ(address.address, 0xFFFF);
}

TEST(CommandLineParsing, HexArgumentsTakeTheUsualPrefixesAndStayInRange) {
    EXPECT_EQ(parseHexArgument("1f", 0xFF), 0x1Fu);
    EXPECT_EQ(parseHexArgument("$1F", 0xFF), 0x1Fu);
    EXPECT_EQ(parseHexArgument("0X1f", 0xFF), 0x1Fu);
    EXPECT_EQ(parseHexArgument("100", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("$", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("-1", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("+1", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("1 ", 0xFF), std::nullopt);
    EXPECT_EQ(parseHexArgument("FFFFFFFFF", 0xFFFFFFFF), std::nullopt);
}

// What a view printed into a temporary file.
class Printed {
public:
    Printed() : file_(std::tmpfile()) {}
    ~Printed() { std::fclose(file_); }
    std::FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string s;
        for (int c; (c = std::fgetc(file_)) != EOF;)
            s += char(c);
        return s;
    }

private:
    std::FILE* file_;
};

// The steps of a WRITE of two FLASH blocks as the operations report them.
void twoBlockWrite(TerminalView& view) {
    ProgressModel bar;
    view.setStatusText("Reading device informations...");
    view.setStatusText("");
    bar.setTotal(2);
    bar.setPercentageShown(true);
    view.progressChanged(bar);
    view.setStatusText("Writing Flash-Memory...");
    for (int b = 1; b <= 2; ++b) {
        bar.setCompleted(b);
        view.progressChanged(bar);
    }
    view.setStatusText("Writing Fuses...");
    view.setStatusText("");
}

TEST(TerminalOutput, PlainLinesNameEachStepOnceWithoutProgress) {
    Printed err;
    TerminalView view(err.file(), TerminalView::Mode::Lines);
    twoBlockWrite(view);
    EXPECT_EQ(err.text(), "Reading device informations...\nWriting Flash-Memory...\nWriting Fuses...\n");
}

TEST(TerminalOutput, ATerminalGetsABarRedrawnInPlaceOnlyForStepsThatMakeProgress) {
    Printed err;
    TerminalView view(err.file(), TerminalView::Mode::Bar);
    twoBlockWrite(view);
    const std::string text = err.text();
    EXPECT_NE(text.find("\r\x1b[KWriting Flash-Memory... [###############---------------]  50%"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[##############################] 100%\n"), std::string::npos) << text;
    // The fuse step moves no bar: its line shows the text alone.
    EXPECT_NE(text.find("\r\x1b[KWriting Fuses...\n"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(TerminalOutput, TheNextStepsTotalDoesNotShowOnThePreviousStepsLine) {
    Printed err;
    TerminalView view(err.file(), TerminalView::Mode::Bar);
    ProgressModel bar;
    view.setStatusText("Reading device informations...");
    bar.setTotal(32);
    bar.setPercentageShown(true);
    view.progressChanged(bar);
    view.setStatusText("Writing Flash-Memory...");
    bar.setCompleted(32);
    view.progressChanged(bar);
    bar.setTotal(3);
    view.progressChanged(bar);
    view.setStatusText("Writing EEPROM...");
    view.setStatusText("");
    EXPECT_EQ(err.text(), "\r\x1b[KReading device informations...\n"
                          "\r\x1b[KWriting Flash-Memory...\r\x1b[KWriting Flash-Memory... "
                          "[##############################] 100%\n"
                          "\r\x1b[KWriting EEPROM...\n");
}

TEST(TerminalOutput, QuietAndMutedPrintNoStepsButQuietStillPrintsMessages) {
    Printed quietErr, mutedErr;
    TerminalView quiet(quietErr.file(), TerminalView::Mode::Quiet);
    twoBlockWrite(quiet);
    quiet.note("Verifying...");
    quiet.showMessageBox("USB-ERROR", "EEPROM Write Error!", MessageKind::Error, MessageButton::Abort, true);
    EXPECT_EQ(quietErr.text(), "USB-ERROR: EEPROM Write Error!\n");

    TerminalView muted(mutedErr.file(), TerminalView::Mode::Lines);
    muted.setMuted(true);
    twoBlockWrite(muted);
    muted.showMessage("USB-ERROR", "USB-Device not found!");
    EXPECT_EQ(mutedErr.text(), "");
    ASSERT_EQ(muted.messages().size(), 1u);
    EXPECT_EQ(muted.messages()[0].text, "USB-Device not found!");
}

TEST(TerminalOutput, AMessageOpensAFreshLineAndEndsWithWhyTheLinkFailed) {
    Printed err;
    TerminalView view(err.file(), TerminalView::Mode::Bar);
    ProgressModel bar;
    bar.setTotal(3);
    bar.setPercentageShown(true);
    view.progressChanged(bar);
    view.setStatusText("Reading EEPROM...");
    bar.setCompleted(1);
    view.progressChanged(bar);
    view.addDebugLine("libusb_control_transfer: LIBUSB_ERROR_PIPE");
    view.showMessageBox("USB-ERROR", "EEPROM Read Error!\r(Device is locked)", MessageKind::Error,
                        MessageButton::Abort, true);
    const std::string text = err.text();
    EXPECT_NE(text.find(" 33%\nUSB-ERROR: EEPROM Read Error!\n(Device is locked)\n"
                        "(libusb_control_transfer: LIBUSB_ERROR_PIPE)\n"),
              std::string::npos)
        << text;
}

TEST(TerminalOutput, MessageLinesSplitAtEveryKindOfLineBreak) {
    EXPECT_EQ(messageLines("File-Error", "File: a.hex\rError #2\r\nFile not found"),
              (QStringList{"File-Error: File: a.hex", "Error #2", "File not found"}));
    EXPECT_EQ(messageLines("X", ""), QStringList{"X: "});
}

TEST(ReadBackComparison, NamesTheFirstDifferenceAndCountsAllWithinTheLength) {
    TBuffer written(64, 0xFF), read(64, 0xFF);
    EXPECT_EQ(compareImages(written, read, 64).count, 0u);
    read[5] = 0;
    read[40] = 1;
    read[63] = 2; // beyond the compared length
    const Difference d = compareImages(written, read, 48);
    EXPECT_EQ(d.first, 5u);
    EXPECT_EQ(d.count, 2u);
}

} // namespace
} // namespace corvane::cli
