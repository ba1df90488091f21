// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's pieces that the end-to-end runs cannot reach: the optional value
// of --simulate, hexadecimal arguments and the progress bar drawn on a terminal.

#include "cli/command_line.h"
#include "cli/terminal_view.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace corvane::cli {
namespace {

// The end-to-end runs give --simulate before options and commands.
TEST(CommandLineParsing, SimulateTakesAFolderOnlyWhereOneFollows) {
    CommandLine folder, last;
    QString error;
    ASSERT_EQ(parseCommandLine({"corvane-cli", "--simulate", "/tmp/bench", "erase"}, folder, error),
              ParseResult::Run);
    EXPECT_EQ(folder.simFolder, "/tmp/bench");
    EXPECT_EQ(folder.command, "erase");
    ASSERT_EQ(parseCommandLine({"corvane-cli", "erase", "--simulate"}, last, error), ParseResult::Run);
    EXPECT_TRUE(last.simulate);
    EXPECT_EQ(last.simFolder, "");
}

TEST(CommandLineParsing, HexArgumentsTakeTheUsualPrefixesAndNothingElse) {
    EXPECT_EQ(parseHexArgument("0X1f", 0xFF), 0x1Fu);
    for (const char* wrong : {"100", "", "$", "-1", "+1", "1 ", "FFFFFFFFF"})
        EXPECT_EQ(parseHexArgument(wrong, wrong[0] == 'F' ? 0xFFFFFFFF : 0xFF), std::nullopt) << wrong;
}

std::string printed(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string s;
    for (int c; (c = std::fgetc(file)) != EOF;)
        s += char(c);
    std::fclose(file);
    return s;
}

// As WRITE reports its steps: the identification moves no bar, though the next
// step's total arrives before that step's text; then two FLASH blocks, an
// EEPROM block and a failure with why the link failed.
TEST(TerminalOutput, ABarIsRedrawnInPlaceOnlyOnTheLineOfTheStepThatMakesProgress) {
    std::FILE* err = std::tmpfile();
    TerminalView view(err, TerminalView::Mode::Bar);
    ProgressModel bar;
    view.setStatusText("Reading device informations...");
    bar.setTotal(2);
    bar.setPercentageShown(true);
    view.progressChanged(bar);
    view.setStatusText("Writing Flash-Memory...");
    for (int b = 1; b <= 2; ++b) {
        bar.setCompleted(b);
        view.progressChanged(bar);
    }
    bar.setTotal(3);
    view.progressChanged(bar);
    view.setStatusText("Writing EEPROM...");
    bar.setCompleted(1);
    view.progressChanged(bar);
    view.addDebugLine("libusb_control_transfer: LIBUSB_ERROR_PIPE");
    view.showMessageBox("USB-ERROR", "EEPROM Write Error!\r(Device is locked)", MessageKind::Error,
                        MessageButton::Abort, true);
    view.setStatusText("");
    EXPECT_EQ(printed(err), "\r\x1b[KReading device informations...\n"
                            "\r\x1b[KWriting Flash-Memory..."
                            "\r\x1b[KWriting Flash-Memory... [###############---------------]  50%"
                            "\r\x1b[KWriting Flash-Memory... [##############################] 100%\n"
                            "\r\x1b[KWriting EEPROM..."
                            "\r\x1b[KWriting EEPROM... [##########--------------------]  33%\n"
                            "USB-ERROR: EEPROM Write Error!\n(Device is locked)\n"
                            "(libusb_control_transfer: LIBUSB_ERROR_PIPE)\n");
}

TEST(TerminalOutput, MessageLinesSplitAtEveryKindOfLineBreak) {
    EXPECT_EQ(messageLines("File-Error", "File: a.hex\rError #2\r\nFile not found\nX"),
              (QStringList{"File-Error: File: a.hex", "Error #2", "File not found", "X"}));
}

} // namespace
} // namespace corvane::cli
