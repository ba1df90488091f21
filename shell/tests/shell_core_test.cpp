#include "shell/app_info.h"
#include "shell/debug_format.h"
#include "shell/progress.h"
#include "shell/system_info.h"

#include <QThread>

#include <gtest/gtest.h>

using namespace corvane;

TEST(DebugLogText, EightUpperCaseDigitsTwosComplementForNegatives) {
    EXPECT_EQ(hexLineText(32), QStringLiteral("00000020"));
    EXPECT_EQ(hexLineText(16), QStringLiteral("00000010"));
    EXPECT_EQ(hexLineText(0), QStringLiteral("00000000"));
    EXPECT_EQ(hexLineText(0xABCDEF), QStringLiteral("00ABCDEF"));
    EXPECT_EQ(hexLineText(-1), QStringLiteral("FFFFFFFF"));
    EXPECT_EQ(hexLineText(INT32_MIN), QStringLiteral("80000000"));
    EXPECT_EQ(hexLineText(INT32_MAX), QStringLiteral("7FFFFFFF"));
}

TEST(ProgressPercent, RoundsHalvesToEvenAndClampsToTheTotal) {
    // READ of 32 blocks: total 31.
    EXPECT_EQ(progressPercent(0, 31), 0);
    EXPECT_EQ(progressPercent(31, 31), 100);
    // The EEPROM steps: total 3.
    EXPECT_EQ(progressPercent(1, 3), 33);
    EXPECT_EQ(progressPercent(2, 3), 67);
    // Exact halves.
    EXPECT_EQ(progressPercent(1, 8), 12);  // 12.5
    EXPECT_EQ(progressPercent(3, 8), 38);  // 37.5
    EXPECT_EQ(progressPercent(1, 200), 0); // 0.5
    EXPECT_EQ(progressPercent(3, 200), 2); // 1.5
    // Out of range.
    EXPECT_EQ(progressPercent(50, 10), 100);
    EXPECT_EQ(progressPercent(-4, 10), 0);
    EXPECT_EQ(progressPercent(5, 0), 0);
    EXPECT_EQ(progressPercent(INT32_MAX, INT32_MAX), 100);
}

TEST(ProgressPercent, SegmentsFillOnlyWhenTheWorkIsDone) {
    EXPECT_EQ(progressSegments(0, 100, 25), 0);
    EXPECT_EQ(progressSegments(99, 100, 25), 24);
    EXPECT_EQ(progressSegments(100, 100, 25), 25);
    EXPECT_EQ(progressSegments(1, 3, 25), 8);
    EXPECT_EQ(progressSegments(7, 0, 25), 0);
}

TEST(SystemInfo, ReadsTotalMemoryInKB) {
    const QString meminfo = QStringLiteral("MemFree:         1234 kB\n"
                                           "MemTotal:       16318412 kB\n"
                                           "MemAvailable:   9999 kB\n");
    EXPECT_EQ(memTotalKB(meminfo), 16318412u);
    EXPECT_FALSE(memTotalKB(QStringLiteral("MemFree: 12 kB\n")).has_value());
    EXPECT_FALSE(memTotalKB(QString()).has_value());
}

TEST(SystemInfo, CountsProcessorsAndNamesTheirType) {
    const QString x86 = QStringLiteral("processor\t: 0\nvendor_id\t: GenuineIntel\n"
                                       "model name\t: Intel(R) Xeon(R) CPU   @ 2.20GHz\n\n"
                                       "processor\t: 1\nmodel name\t: Intel(R) Xeon(R) CPU   @ 2.20GHz\n");
    const CpuInfo a = parseCpuInfo(x86);
    EXPECT_EQ(a.count, 2);
    EXPECT_EQ(a.model, QStringLiteral("Intel(R) Xeon(R) CPU @ 2.20GHz"));

    const QString arm = QStringLiteral("Processor\t: ARMv7 Processor rev 4 (v7l)\n"
                                       "processor\t: 0\nBogoMIPS\t: 38.40\n"
                                       "processor\t: 1\nBogoMIPS\t: 38.40\n"
                                       "Hardware\t: BCM2835\n");
    const CpuInfo b = parseCpuInfo(arm);
    EXPECT_EQ(b.count, 2);
    EXPECT_EQ(b.model, QStringLiteral("ARMv7 Processor rev 4 (v7l)"));

    const CpuInfo riscv =
        parseCpuInfo(QStringLiteral("processor\t: 0\nhart\t: 0\nisa\t: rv64\nuarch\t: sifive,u74-mc\n"));
    EXPECT_EQ(riscv.count, 1);
    EXPECT_EQ(riscv.model, QStringLiteral("sifive,u74-mc"));
}

TEST(SystemInfo, AboutBoxLinesComeFromThisMachine) {
    EXPECT_TRUE(availableMemoryText().endsWith(QStringLiteral(" KB")));
    const QString cpu = platformCpuText();
    EXPECT_TRUE(cpu.contains(QStringLiteral(" x "))) << cpu.toStdString();
    EXPECT_FALSE(cpu.contains(QStringLiteral(" 0 x "))) << cpu.toStdString();
}

TEST(AppInfo, TitleAndVersionFromTheVersionCode) {
    EXPECT_EQ(VersionCode, 0x13);
    EXPECT_EQ(versionText(), QStringLiteral("1.3"));
    EXPECT_EQ(titleText(), QStringLiteral("Corvane v1.3"));
}
