// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli on several simulated chips at once: mixed faults and their exit
// status, the sparse write, serial numbers shared by two programs through one
// counter file, and the JSON documents read back with a JSON parser.

#include "cli/outcome.h"
#include "cli/tests/tool_rig.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <set>

namespace corvane::cli {
namespace {

// 3 KB of code at 0 (no byte 0xFF) and four bytes near the top.
TBuffer program() {
    TBuffer image(0x8000, 0xFF);
    for (std::size_t a = 0; a < 0xC00; ++a)
        image[a] = std::uint8_t(a % 251);
    image[0x7A00] = 0x02;
    image[0x7A01] = 0x00;
    image[0x7A02] = 0x30;
    image[0x7A03] = 0x75;
    return image;
}

class Lines : public ToolFolder {
protected:
    ToolRun cli(const QStringList& arguments, const QString& folder = {}) const {
        return ToolProcess(folder.isEmpty() ? dir.path() : folder, arguments).finish();
    }
};

TEST_F(Lines, EightChipsWithMixedFaultsEachGetTheirOwnResultAndTheFirstFailureInDeviceOrderExits) {
    // Slot 1: a stuck cell; slot 3: locked; slot 5: leaves the bus while it
    // is being programmed.
    writeFile("bench.conf", "[slot 0]\n[slot 1]\nstuck-flash = 0123\n[slot 2]\n[slot 3]\nssb = FC\n"
                            "[slot 4]\n[slot 5]\nvanish-after = 12\n[slot 6]\n[slot 7]\n");
    const TBuffer image = program();
    writeFile("prog.bin", bytesOf(image));

    const ToolRun run = cli({"--all", "--json", "write", "--flash", "prog.bin"});
    EXPECT_EQ(run.status, ExitVerify) << run.err.toStdString();
    const QJsonObject summary = json(run);
    EXPECT_EQ(summary["command"].toString(), "write");
    EXPECT_EQ(summary["result"].toString(), "failed");
    EXPECT_EQ(summary["exitStatus"].toInt(), ExitVerify);
    const auto devices = byDevice(summary);
    ASSERT_EQ(devices.size(), 8u);
    for (int healthy : {0, 2, 4, 6, 7}) {
        SCOPED_TRACE(healthy);
        const QJsonObject d = devices.at(healthy);
        EXPECT_EQ(d["result"].toString(), "ok");
        EXPECT_TRUE(d["errorKind"].isNull());
        EXPECT_EQ(d["verify"].toString(), "passed");
        // The chips are blank: only the pages that hold data are programmed.
        EXPECT_EQ(d["bytesWritten"].toInt(), 0xC00 + 0x80);
        // Only what the write needs was read: the type and the security byte.
        EXPECT_EQ(d["identification"].toObject()["productName"].toString(), "31");
        EXPECT_TRUE(d["identification"].toObject()["manufacturer"].isNull());
        EXPECT_EQ(d["configuration"].toObject()["securityLevel"].toInt(-1), 3);
    }
    EXPECT_EQ(devices.at(1)["exitStatus"].toInt(), ExitVerify);
    EXPECT_EQ(devices.at(1)["errorKind"].toString(), "verify-mismatch");
    EXPECT_EQ(devices.at(1)["verify"].toString(), "mismatch");
    EXPECT_TRUE(devices.at(1)["message"].toString().contains("at 0123"));
    EXPECT_EQ(devices.at(1)["difference"].toObject()["first"].toString(), "0123");
    EXPECT_EQ(devices.at(3)["exitStatus"].toInt(), ExitDeviceError);
    EXPECT_EQ(devices.at(3)["errorKind"].toString(), "locked");
    EXPECT_EQ(devices.at(5)["exitStatus"].toInt(), ExitDeviceError);
    EXPECT_EQ(devices.at(5)["errorKind"].toString(), "transfer-failed");

    const auto bench = stored();
    for (int healthy : {0, 2, 4, 6, 7})
        EXPECT_EQ(bench->chip(healthy)->flash(), image) << "slot " << healthy;
    EXPECT_EQ(bench->chip(3)->flash(), TBuffer(0x8000, 0xFF));
    // Every chip's lines carry its number.
    for (int d = 0; d < 8; ++d)
        EXPECT_TRUE(run.err.contains(QStringLiteral("%1: Identifying...\n").arg(d)));
}

TEST_F(Lines, TheTextSummaryNamesEveryFailureAndAnEmptyNumberIsNotFound) {
    writeFile("bench.conf", "[slot 0]\n[slot 2]\n");
    const ToolRun run = cli({"-d", "0-2", "erase"});
    EXPECT_EQ(run.status, ExitNoDevice);
    EXPECT_TRUE(run.out.contains(QRegularExpression("\\n +0  ok +[0-9.]+ +0  not-asked\\n")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QRegularExpression("\\n +1  no-device +[0-9.]+ +0  not-asked\\n")))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("2 of 3 device(s) succeeded"));
    EXPECT_TRUE(run.out.contains("Failed: device 1: no bootloader answers at device 1"));
    EXPECT_TRUE(run.err.contains("1: corvane-cli: device 1: no bootloader answers at device 1\n"));
    EXPECT_TRUE(run.err.contains("2: Erasing...\n"));
}

TEST_F(Lines, WriteWithEraseProgramsOnlyThePagesThatHoldDataAndLeavesTheRestBlank) {
    writeFile("bench.conf", "[slot 0]\n");
    TBuffer full(0x8000);
    for (std::size_t a = 0; a < full.size(); ++a)
        full[a] = std::uint8_t(a * 3 + 1) == 0xFF ? 0 : std::uint8_t(a * 3 + 1);
    writeFile("full.bin", bytesOf(full));
    ASSERT_EQ(cli({"-q", "write", "--flash-all", "--flash", "full.bin"}).status, ExitOk);

    const TBuffer image = program();
    writeFile("prog.bin", bytesOf(image));
    const ToolRun run = cli({"--json", "write", "--erase", "--flash", "prog.bin"});
    ASSERT_EQ(run.status, ExitOk) << run.err.toStdString();
    const QJsonObject chip = byDevice(json(run)).at(0);
    EXPECT_EQ(chip["bytesWritten"].toInt(), 0xC00 + 0x80); // 24 pages and the one near the top
    EXPECT_EQ(chip["verify"].toString(), "passed");
    for (const char* step : {"erase", "write", "verify"})
        EXPECT_TRUE(chip["timings"].toObject().contains(step)) << step;
    EXPECT_EQ(stored()->chip(0)->flash(), image);

    // Without an erase, on a chip that holds it: whole blocks where the chip
    // holds data (the three of the code and the one near the top), nothing
    // in the blank ones between.
    const ToolRun again = cli({"--json", "write", "--flash", "prog.bin"});
    ASSERT_EQ(again.status, ExitOk) << again.err.toStdString();
    EXPECT_EQ(byDevice(json(again)).at(0)["bytesWritten"].toInt(), 0x1000);
    EXPECT_EQ(stored()->chip(0)->flash(), image);
}

TEST_F(Lines, SerialNumbersAreDistinctAcrossTwoProgramsSharingOneCounterFile) {
    const TBuffer image = program();
    QTemporaryDir stationA, stationB;
    for (const QTemporaryDir* station : {&stationA, &stationB}) {
        QFile bench(station->filePath("bench.conf"));
        ASSERT_TRUE(bench.open(QIODevice::WriteOnly));
        bench.write("[slot 0]\n[slot 1]\n[slot 4]\n[slot 6]\n");
    }
    writeFile("prog.bin", bytesOf(image));
    const QStringList arguments{"--all",         "write",
                                "--flash",       dir.filePath("prog.bin"),
                                "--serial",      "1000",
                                "--serial-at",   "flash:7FF0",
                                "--serial-file", dir.filePath("counter"),
                                "--serial-log",  dir.filePath("serials.csv")};
    ToolProcess a(stationA.path(), arguments), b(stationB.path(), arguments);
    const ToolRun ra = a.finish(), rb = b.finish();
    ASSERT_EQ(ra.status, ExitOk) << ra.err.toStdString();
    ASSERT_EQ(rb.status, ExitOk) << rb.err.toStdString();
    EXPECT_EQ(readFile("counter"), "1008\n");

    std::set<std::uint32_t> inChips;
    for (const QTemporaryDir* station : {&stationA, &stationB}) {
        const auto bench = stored(station->path());
        std::uint32_t previous = 0;
        for (int slot : {0, 1, 4, 6}) {
            const auto& flash = bench->chip(slot)->flash();
            const std::uint32_t serial =
                std::uint32_t(flash[0x7FF0] << 24 | flash[0x7FF1] << 16 | flash[0x7FF2] << 8 | flash[0x7FF3]);
            EXPECT_GT(serial, previous) << "one station hands out its numbers in device order";
            previous = serial;
            inChips.insert(serial);
            EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x7FF0, flash.begin()));
        }
    }
    EXPECT_EQ(inChips, (std::set<std::uint32_t>{1000, 1001, 1002, 1003, 1004, 1005, 1006, 1007}));

    const QList<QByteArray> rows = readFile("serials.csv").trimmed().split('\n');
    ASSERT_EQ(rows.size(), 9);
    EXPECT_EQ(rows[0], "time,device,serial,result");
    std::set<std::uint32_t> logged;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QList<QByteArray> cells = rows[i].split(',');
        ASSERT_EQ(cells.size(), 4);
        EXPECT_EQ(cells[3], "ok");
        logged.insert(cells[2].toUInt());
    }
    EXPECT_EQ(logged, inChips);
}

TEST_F(Lines, ASerialNumberIsUsedUpAndLoggedAlsoWhenItsChipFails) {
    writeFile("bench.conf", "[slot 0]\n[slot 1]\nstuck-flash = 0011\n");
    writeFile("prog.bin", bytesOf(program()));
    const ToolRun run = cli({"-d", "0,1", "--json", "write", "--flash", "prog.bin", "--serial", "0x99",
                             "--serial-at", "eeprom:10", "--serial-format", "bcd", "--serial-size", "2",
                             "--serial-le", "--serial-log", "log.csv"});
    EXPECT_EQ(run.status, ExitVerify);
    const auto devices = byDevice(json(run));
    EXPECT_EQ(devices.at(0)["serial"].toString(), "153");
    EXPECT_EQ(devices.at(1)["serial"].toString(), "154");
    const auto bench = stored();
    EXPECT_EQ(bench->chip(0)->eeprom()[0x10], 0x53);
    EXPECT_EQ(bench->chip(0)->eeprom()[0x11], 0x01);
    EXPECT_EQ(bench->chip(0)->eeprom()[0x12], 0xFF); // only the serial's bytes were written
    const QByteArray log = readFile("log.csv");
    EXPECT_TRUE(log.contains(",0,153,ok\n"));
    EXPECT_TRUE(log.contains(",1,154,failed: FLASH differs from what was written at 0011"))
        << log.toStdString();
}

TEST_F(Lines, ListAndInfoGiveJsonAlsoWhenADeviceFails) {
    writeFile("bench.conf", "[slot 0]\n[slot 3]\ncontroller = AT89C5130\n");
    const ToolRun list = cli({"--json", "list"});
    ASSERT_EQ(list.status, ExitOk);
    const auto listed = byDevice(json(list));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed.at(0)["identification"].toObject()["productName"].toString(), "31");
    EXPECT_EQ(listed.at(3)["identification"].toObject()["productName"].toString(), "30");
    EXPECT_EQ(listed.at(3)["identification"].toObject()["bootloaderVersion"].toString(), "1.0.5");

    const ToolRun info = cli({"--json", "-d", "0,2", "info"});
    EXPECT_EQ(info.status, ExitNoDevice);
    const QJsonObject o = json(info);
    EXPECT_EQ(o["result"].toString(), "failed");
    const auto devices = byDevice(o);
    EXPECT_EQ(devices.at(0)["configuration"].toObject()["BSB"].toString(), "FF");
    EXPECT_EQ(devices.at(0)["configuration"].toObject()["securityLevel"].toInt(-1), 3);
    EXPECT_EQ(devices.at(2)["errorKind"].toString(), "no-device");
    EXPECT_TRUE(devices.at(2)["identification"].toObject()["manufacturer"].isNull());

    const ToolRun none = cli({"--json", "--all", "info"}, QTemporaryDir().path());
    EXPECT_EQ(none.status, ExitOk); // the bench folder without a bench file holds one chip
}

// What serial numbers need is checked before any chip changes: a counter
// file that cannot be read or holds no number, a log that cannot be written
// and numbers that outgrow their size leave every chip and the counter as
// they were.
TEST_F(Lines, SerialNumberProblemsLeaveEveryChipUntouched) {
    writeFile("bench.conf", "[slot 0]\n[slot 1]\n");
    writeFile("prog.bin", bytesOf(program()));
    writeFile("garbage", "12x\n");
    writeFile("near-end", "65535\n");
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const QStringList write{"--all", "write",       "--erase",    "--flash",       "prog.bin", "--serial",
                            "1",     "--serial-at", "flash:7FF0", "--serial-size", "2"};
    const struct {
        QStringList more;
        int status;
        const char* said;
    } cases[] = {
        {{"--serial-file", "garbage"}, ExitFileContent, "holds no serial number"},
        {{"--serial-file", "folder"}, ExitFileAccess, "folder"},
        {{"--serial-file", "near-end"}, ExitUsage, ""},
        {{"--serial-log", "no/such/log.csv"}, ExitFileAccess, "log.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.more.join(' ').toStdString());
        const ToolRun run = cli(write + c.more);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains("Identifying"));
        const auto bench = stored();
        EXPECT_EQ(bench->chip(0)->flash(), TBuffer(0x8000, 0xFF));
        EXPECT_EQ(bench->chip(1)->flash(), TBuffer(0x8000, 0xFF));
    }
    EXPECT_EQ(readFile("garbage"), "12x\n");
    EXPECT_EQ(readFile("near-end"), "65535\n") << "numbers that do not fit are not taken";
    // Without a counter: the largest number given must fit too.
    const ToolRun big = cli({"-d", "0-1", "write", "--flash", "prog.bin", "--serial", "65535", "--serial-at",
                             "flash:7FF0", "--serial-size", "2"});
    EXPECT_EQ(big.status, ExitUsage);
    EXPECT_EQ(stored()->chip(0)->flash(), TBuffer(0x8000, 0xFF));
}

// The bytes reported are those the chip took, also when a frame failed.
TEST_F(Lines, AChipFailingMidWriteReportsTheBytesItReceived) {
    // Identification 7 requests, the blank check 2, then a frame and its
    // status each: the third frame's download fails.
    writeFile("bench.conf", "[slot 0]\nfail-request = 14\n");
    writeFile("prog.bin", bytesOf(program()));
    const ToolRun run = cli({"--json", "write", "--flash", "prog.bin"});
    EXPECT_EQ(run.status, ExitDeviceError);
    const QJsonObject chip = byDevice(json(run)).at(0);
    EXPECT_EQ(chip["bytesWritten"].toInt(), 0x800);
    EXPECT_EQ(chip["verify"].toString(), "not-reached");
    EXPECT_TRUE(chip["message"].toString().startsWith("writing FLASH at 0800 failed"))
        << run.out.toStdString();
    const auto bench = stored();
    const TBuffer image = program();
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 0x800, bench->chip(0)->flash().begin()));
    EXPECT_EQ(bench->chip(0)->flash()[0x800], 0xFF);
    EXPECT_EQ(cli({"--json", "--no-verify", "write", "--flash", "prog.bin"}).status, ExitOk);
}

// A stop signal during a realistic erase: every chip ends cancelled after its
// request, the document still comes, each number taken has its row, and
// nothing temporary is left.
TEST_F(Lines, AStopSignalEndsEveryChipCancelledAndTheReportStillComes) {
    writeFile("bench.conf", "[slot 0]\ntiming = realistic\n[slot 1]\ntiming = realistic\n"
                            "[slot 2]\ntiming = realistic\n");
    writeFile("prog.bin", bytesOf(program()));
    ToolProcess tool(dir.path(),
                     {"--all", "--json", "write", "--erase", "--flash", "prog.bin", "--serial", "100",
                      "--serial-at", "flash:7FF0", "--serial-file", "counter", "--serial-log", "log.csv"});
    ASSERT_TRUE(tool.waitForError("Erasing...", 3));
    tool.signal(SIGINT);
    const ToolRun run = tool.finish();
    EXPECT_EQ(run.status, ExitCancelled) << run.err.toStdString();
    const auto devices = byDevice(json(run));
    ASSERT_EQ(devices.size(), 3u);
    for (const auto& [n, d] : devices) {
        EXPECT_EQ(d["errorKind"].toString(), "cancelled") << n;
        EXPECT_EQ(d["exitStatus"].toInt(), ExitCancelled);
        EXPECT_EQ(d["bytesWritten"].toInt(), 0) << "stopped before the first frame";
    }
    const QList<QByteArray> rows = readFile("log.csv").trimmed().split('\n');
    ASSERT_EQ(rows.size(), 4);
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(rows[i].endsWith(",failed: stopped on request")) << rows[i].toStdString();
    EXPECT_EQ(readFile("counter"), "103\n");
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, (QStringList{"bench.conf", "counter", "log.csv", "prog.bin"}));
}

class LineUsage : public Lines, public ::testing::WithParamInterface<const char*> {};

TEST_P(LineUsage, IsRefusedBeforeAnyChipIsTouched) {
    writeFile("bench.conf", "[slot 0]\n");
    TBuffer image = program();
    writeFile("prog.bin", bytesOf(image));
    const ToolRun run = cli(QString::fromLatin1(GetParam()).split(' '));
    EXPECT_EQ(run.status, ExitUsage) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("Identifying")) << run.err.toStdString();
    EXPECT_EQ(stored()->chip(0)->flash(), TBuffer(0x8000, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(CommandLines, LineUsage,
                         // The option checks themselves have their own tests; here each kind of
                         // refusal once, to show it comes before any chip is touched.
                         ::testing::Values("-d 1,9 info", "-d 0-1 convert a b",
                                           "write --flash prog.bin --serial 5 --serial-at flash:0010",
                                           "info --serial 1 --serial-at flash:7000"));

} // namespace
} // namespace corvane::cli
