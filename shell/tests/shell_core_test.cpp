// SPDX-License-Identifier: GPL-3.0-or-later
// What the shell computes without widgets: debug log lines, progress
// arithmetic, the general error text and the About box's system facts.

#include "core/message_box.h"
#include "core/progress.h"
#include "shell/debug_format.h"
#include "shell/system_info.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(DebugLogText, EightUpperCaseDigitsTwosComplementForNegatives) {
    EXPECT_EQ(hexLineText(0xABCDEF), QStringLiteral("00ABCDEF"));
    EXPECT_EQ(hexLineText(-2), QStringLiteral("FFFFFFFE"));
    EXPECT_EQ(hexLineText(INT32_MIN), QStringLiteral("80000000"));
}

TEST(ProgressPercent, RoundsHalvesToEvenAndClampsToTheTotal) {
    EXPECT_EQ(progressPercent(2, 3), 67);
    EXPECT_EQ(progressPercent(1, 8), 12); // 12.5
    EXPECT_EQ(progressPercent(3, 8), 38); // 37.5
    EXPECT_EQ(progressPercent(50, 10), 100);
    EXPECT_EQ(progressPercent(-4, 10), 0);
    EXPECT_EQ(progressPercent(5, 0), 0);
    EXPECT_EQ(progressPercent(INT32_MAX, INT32_MAX), 100) << "no overflow";
}

TEST(ProgressPercent, SegmentsFillOnlyWhenTheWorkIsDone) {
    EXPECT_EQ(progressSegments(99, 100, 25), 24);
    EXPECT_EQ(progressSegments(100, 100, 25), 25);
    EXPECT_EQ(progressSegments(1, 3, 25), 8);
    EXPECT_EQ(progressSegments(7, 0, 25), 0);
}

TEST(GeneralErrorText, FinalPointOnlyAfterCharactersAboveThePoint) {
    for (const char* kept : {"Disk full!", "Fehler (5)", "Done.", "a dash -", ""})
        EXPECT_EQ(generalErrorText(QString::fromUtf8(kept)), QString::fromUtf8(kept));
    for (const char* bare : {"Error 42", "path/"})
        EXPECT_EQ(generalErrorText(QString::fromUtf8(bare)), QString::fromUtf8(bare) + ".");
}

TEST(SystemInfo, ReadsTotalMemoryInKB) {
    EXPECT_EQ(memTotalKB("MemFree:  1234 kB\nMemTotal:       16318412 kB\nMemAvailable: 9 kB\n"), 16318412u);
    EXPECT_FALSE(memTotalKB("MemFree: 12 kB\n").has_value());
}

TEST(SystemInfo, CountsProcessorsAndNamesTheirTypeOnEachArchitecture) {
    const struct {
        const char* cpuinfo;
        int count;
        const char* model;
    } cases[] = {
        {"processor\t: 0\nmodel name\t: Intel(R) Xeon(R) CPU   @ 2.20GHz\n\n"
         "processor\t: 1\nmodel name\t: the first one counts\n",
         2, "Intel(R) Xeon(R) CPU @ 2.20GHz"},
        {"Processor\t: ARMv7 Processor rev 4 (v7l)\nprocessor\t: 0\nBogoMIPS\t: 38.40\n"
         "processor\t: 1\nHardware\t: BCM2835\n",
         2, "ARMv7 Processor rev 4 (v7l)"},
        {"processor\t: 0\nhart\t: 0\nisa\t: rv64\nuarch\t: sifive,u74-mc\n", 1, "sifive,u74-mc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const CpuInfo info = parseCpuInfo(QString::fromUtf8(c.cpuinfo));
        EXPECT_EQ(info.count, c.count);
        EXPECT_EQ(info.model, QString::fromUtf8(c.model));
    }
}

TEST(SystemInfo, AboutBoxLinesComeFromThisMachine) {
    EXPECT_TRUE(availableMemoryText().endsWith(QStringLiteral(" KB")));
    const QString cpu = platformCpuText();
    EXPECT_TRUE(cpu.contains(QStringLiteral(" x "))) << cpu.toStdString();
    EXPECT_FALSE(cpu.contains(QStringLiteral(" 0 x "))) << cpu.toStdString();
}
