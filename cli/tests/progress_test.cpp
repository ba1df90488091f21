// SPDX-License-Identifier: GPL-3.0-or-later
// What the tool prints while it works: a bar redrawn in place on a
// terminal, plain lines with a line per quarter elsewhere, failures only
// when quiet.

#include "cli/progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace corvane::cli {
namespace {

std::string printed(TerminalProgress::Mode mode) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::tmpfile(), &std::fclose);
    {
        TerminalProgress p(f.get(), mode);
        p.step("Identifying...");
        p.step("Writing FLASH...");
        for (std::size_t i = 0; i < 8; ++i)
            p.progress(i, 8);
        p.step("Writing EEPROM...");
        p.progress(0, 1);
        p.failed("corvane-cli: device 0: writing EEPROM at 0000 failed: \x1b[2J");
        p.finish();
    }
    std::fflush(f.get());
    std::rewind(f.get());
    std::string text;
    for (int c; (c = std::fgetc(f.get())) != EOF;)
        text += char(c);
    return text;
}

TEST(Progress, EachModePrintsWhatItsReaderCanUse) {
    EXPECT_EQ(printed(TerminalProgress::Mode::Lines),
              "Identifying...\nWriting FLASH...\nWriting FLASH... 25%\nWriting FLASH... 50%\n"
              "Writing FLASH... 75%\nWriting EEPROM...\n"
              "corvane-cli: device 0: writing EEPROM at 0000 failed: \\x1B[2J\n");
    EXPECT_EQ(printed(TerminalProgress::Mode::Quiet),
              "corvane-cli: device 0: writing EEPROM at 0000 failed: \\x1B[2J\n");
    const std::string bar = printed(TerminalProgress::Mode::Bar);
    EXPECT_NE(bar.find("\r\x1b[KWriting FLASH... [###############---------------]  50%"), std::string::npos);
    EXPECT_NE(bar.find("\r\x1b[KIdentifying...\n"), std::string::npos) << "a finished step keeps its line";
    EXPECT_EQ(bar.back(), '\n');
}

TEST(Progress, ATerminalThatTakesNoControlSequencesGetsLines) {
    ::setenv("TERM", "dumb", 1);
    EXPECT_NE(TerminalProgress::modeFor(stderr, false), TerminalProgress::Mode::Bar);
    EXPECT_EQ(TerminalProgress::modeFor(stderr, true), TerminalProgress::Mode::Quiet);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    ::setenv("TERM", "xterm", 1);
    EXPECT_EQ(TerminalProgress::modeFor(file.get(), false), TerminalProgress::Mode::Lines)
        << "not a terminal";
}

} // namespace
} // namespace corvane::cli
