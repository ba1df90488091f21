// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli as a station sees the bench, in-process (--simulate) and
// through the libusb stand-in: list with the bus-port path of each device,
// -d naming a device by its path, --wait for a board, and --repeat
// programming board after board while the test plugs them in and takes them
// out with the bench control. The test acts on what the tool printed, never
// on the time that passed.

#include "cli/outcome.h"
#include "cli/tests/tool_rig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace corvane::cli {
namespace {

enum class Backend { InProcess, Standin };

std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::InProcess ? "InProcess" : "ThroughLibusb";
}

class StationRig : public ToolFolder, public ::testing::WithParamInterface<Backend> {
protected:
    ToolRun cli(const QStringList& arguments) const {
        return ToolProcess(dir.path(), arguments, GetParam() == Backend::Standin).finish();
    }
    // The bench control: a new board into the slot's socket, or the board
    // there taken out.
    void bench(const char* what, int slot) const {
        const ToolRun run = ToolProcess(dir.path(), {"-q", "bench", what, QString::number(slot)}).finish();
        ASSERT_EQ(run.status, ExitOk) << run.err.toStdString();
    }
    // The device number the tool gives the chip of a slot: its slot in
    // process; through libusb its place among the listed devices.
    int number(int slot, int libusbNumber) const {
        return GetParam() == Backend::Standin ? libusbNumber : slot;
    }
};

using Station = StationRig;

// Three boards one after another at the socket of slot 2 (path 1-3.1), with
// another board at slot 5 that the station leaves alone; through libusb the
// socket's board is device 0.
TEST_P(Station, ThreeBoardsOneAfterAnotherGetThreeSerialNumbersAndThreeLogRows) {
    writeFile("bench.conf", "[slot 2]\nattached = no\nbus = 1\nports = 3.1\n[slot 5]\n");
    writeFile("p.hex", ":0400000001020304F2\n:00000001FF\n");
    ToolProcess station(dir.path(),
                        {"--repeat", "-d", "1-3.1", "write", "--flash", "p.hex", "--serial", "1000",
                         "--serial-at", "flash:7FF0", "--serial-log", "log.csv"},
                        GetParam() == Backend::Standin);
    for (int board = 1; board <= 3; ++board) {
        ASSERT_TRUE(station.waitForError("Waiting for a board at 1-3.1...", board))
            << station.error().toStdString();
        bench("attach", 2);
        ASSERT_TRUE(station.waitForOutput(QStringLiteral("board %1: ").arg(board)))
            << station.error().toStdString();
        const TBuffer flash = stored()->chip(2)->flash();
        EXPECT_EQ(flash[0], 0x01);
        EXPECT_EQ(flash[0x7FF2], 0x03);
        EXPECT_EQ(flash[0x7FF3], 0xE8 + board - 1) << "board " << board;
        bench("remove", 2);
    }
    ASSERT_TRUE(station.waitForError("Waiting for a board at 1-3.1...", 4));
    station.signal(SIGTERM);
    const ToolRun run = station.finish();
    EXPECT_EQ(run.status, ExitOk) << run.err.toStdString();
    const int device = number(2, 0);
    const QStringList lines = run.out.split('\n');
    ASSERT_GE(lines.size(), 7);
    for (int board = 1; board <= 3; ++board)
        EXPECT_EQ(lines[board - 1], QStringLiteral("board %1: device %2 at 1-3.1: ok, serial %3")
                                        .arg(board)
                                        .arg(device)
                                        .arg(999 + board));
    EXPECT_TRUE(lines[3].startsWith("Board  Device  Path   Result  Seconds  Serial  Verify"))
        << lines[3].toStdString();
    EXPECT_TRUE(lines[4].contains(
        QRegularExpression(QStringLiteral("^ +1 +%1  1-3.1  ok .* 1000  passed$").arg(device))))
        << lines[4].toStdString();
    EXPECT_TRUE(run.out.contains("3 of 3 board(s) succeeded"));

    const QStringList rows = QString::fromUtf8(readFile("log.csv")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 4) << rows.join('\n').toStdString();
    for (int board = 1; board <= 3; ++board)
        EXPECT_TRUE(rows[board].endsWith(QStringLiteral(",%1,%2,ok").arg(device).arg(999 + board)))
            << rows[board].toStdString();
    EXPECT_EQ(stored()->chip(5)->flash()[0], 0xFF);
}

// With a counter file and --json: each board's line on stderr, the
// document lists every board with its number.
TEST_P(Station, EachBoardTakesItsNumberFromTheCounterAndTheDocumentListsEveryBoard) {
    writeFile("bench.conf", "[slot 0]\nattached = no\n");
    writeFile("counter", "70\n");
    writeFile("e.bin", QByteArray(16, '\x11'));
    ToolProcess station(dir.path(),
                        {"--json", "--repeat", "write", "--eeprom-whole", "--eeprom", "e.bin", "--serial",
                         "1", "--serial-at", "eeprom:100", "--serial-file", "counter"},
                        GetParam() == Backend::Standin);
    for (int board = 1; board <= 2; ++board) {
        ASSERT_TRUE(station.waitForError("Waiting for a board...", board));
        bench("attach", 0);
        ASSERT_TRUE(station.waitForError(QStringLiteral("board %1: ").arg(board)));
        bench("remove", 0);
    }
    ASSERT_TRUE(station.waitForError("Waiting for a board...", 3));
    station.signal(SIGINT);
    const ToolRun run = station.finish();
    EXPECT_EQ(run.status, ExitOk) << run.err.toStdString();
    const QJsonArray boards = json(run)["devices"].toArray();
    ASSERT_EQ(boards.size(), 2) << run.out.toStdString();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(boards[i].toObject()["board"].toInt(), i + 1);
        EXPECT_EQ(boards[i].toObject()["serial"].toString(), QString::number(70 + i));
        EXPECT_EQ(boards[i].toObject()["path"].toString(), "1-1");
    }
    EXPECT_EQ(readFile("counter").trimmed(), "72");
    const TBuffer eeprom = stored()->chip(0)->eeprom();
    EXPECT_EQ(eeprom[0x0F], 0x11);
    EXPECT_EQ(eeprom[0x103], 71);
}

TEST_P(Station, WaitReturnsWhenABoardIsAttachedTimesOutAsNoDeviceAndStopsOnASignal) {
    writeFile("bench.conf", "[slot 1]\nattached = no\n");
    ToolProcess waiting(dir.path(), {"--wait", "info"}, GetParam() == Backend::Standin);
    ASSERT_TRUE(waiting.waitForError("Waiting for a bootloader to be attached..."));
    bench("attach", 1);
    const ToolRun found = waiting.finish();
    EXPECT_EQ(found.status, ExitOk) << found.err.toStdString();
    EXPECT_TRUE(found.out.contains("Bootloader Version:     1.0.5"));

    bench("remove", 1);
    const ToolRun late = cli({"--wait=1", "-d", "usb:1-2", "info"});
    EXPECT_EQ(late.status, ExitNoDevice);
    EXPECT_TRUE(late.err.contains("corvane-cli: 1-2 was not attached within 1 s")) << late.err.toStdString();

    ToolProcess stopped(dir.path(), {"--wait", "-d", QString::number(number(1, 0)), "erase"},
                        GetParam() == Backend::Standin);
    ASSERT_TRUE(stopped.waitForError("to be attached..."));
    stopped.signal(SIGTERM);
    const ToolRun cancelled = stopped.finish();
    EXPECT_EQ(cancelled.status, ExitCancelled);
    EXPECT_TRUE(cancelled.err.contains("stopped while waiting for device")) << cancelled.err.toStdString();
}

TEST_P(Station, ListShowsPathsChipsAndVersionsAndWithNothingAttachedOneLine) {
    writeFile("bench.conf", "[slot 0]\n[slot 2]\nproduct = 2FFE\n[slot 3]\ncontroller = AT89C5130\nbus = 1\n"
                            "ports = 4.2\n[slot 5]\nrefuse-open = yes\n");
    const ToolRun run = cli({"list"});
    EXPECT_EQ(run.status, ExitOk);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
    EXPECT_EQ(lines[0], "0: 1-1 AT89C5131, bootloader 1.0.5");
    EXPECT_EQ(lines[1], QStringLiteral(
                            "%1: 1-3 not usable: device %1 is not the bootloader (vendor 03EB, product 2FFE)")
                            .arg(number(2, 1)));
    EXPECT_EQ(lines[2], QStringLiteral("%1: 1-4.2 AT89C5130, bootloader 1.0.5").arg(number(3, 2)));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("%1: 1-6 not usable: ").arg(number(5, 3))));
    EXPECT_TRUE(lines[3].contains("access to it was denied"));
    EXPECT_EQ(run.err, "");

    const QJsonArray devices = json(cli({"--json", "list"}))["devices"].toArray();
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(devices[2].toObject()["path"].toString(), "1-4.2");
    EXPECT_EQ(devices[2].toObject()["chip"].toString(), "AT89C5130");
    EXPECT_EQ(devices[2].toObject()["identification"].toObject()["bootloaderVersion"].toString(), "1.0.5");

    for (int slot : {0, 2, 3, 5})
        bench("remove", slot);
    const ToolRun none = cli({"list"});
    EXPECT_EQ(none.status, ExitOk);
    EXPECT_EQ(none.out, "No bootloader is attached.\n");
    const QJsonObject empty = json(cli({"--json", "list"}));
    EXPECT_EQ(empty["result"].toString(), "ok");
    EXPECT_TRUE(empty["devices"].isArray());
    EXPECT_TRUE(empty["devices"].toArray().isEmpty());
}

// Slots 0 (1-1), 4 (2-1) and 6 (1-2.3): through libusb they are devices 0, 2
// and 1, in process 0, 4 and 6; a path names the same chip either way.
TEST_P(Station, APathNamesTheSameChipWhereverItsNumberIs) {
    writeFile("bench.conf", "[slot 0]\n[slot 4]\nbus = 2\nports = 1\n[slot 6]\nbus = 1\nports = 2.3\n");
    writeFile("e.bin", QByteArray(4, '\x5A'));
    ASSERT_EQ(cli({"-q", "-d", "usb:2-1", "write", "--eeprom", "e.bin"}).status, ExitOk);
    ASSERT_EQ(cli({"-q", "-d", "1-2.3", "write", "--eeprom", "e.bin"}).status, ExitOk);
    {
        const auto chips = stored();
        EXPECT_EQ(chips->chip(0)->eeprom()[0], 0xFF);
        EXPECT_EQ(chips->chip(4)->eeprom()[0], 0x5A);
        EXPECT_EQ(chips->chip(6)->eeprom()[0], 0x5A);
    }
    const QJsonArray both = json(cli({"--json", "-d", "0,1-2.3", "info"}))["devices"].toArray();
    ASSERT_EQ(both.size(), 2);
    EXPECT_EQ(both[0].toObject()["path"].toString(), "1-1");
    EXPECT_EQ(both[1].toObject()["device"].toInt(), number(6, 1));
    EXPECT_EQ(both[1].toObject()["path"].toString(), "1-2.3");

    const ToolRun twice = cli({"-d", QStringLiteral("%1,1-2.3").arg(number(6, 1)), "info"});
    EXPECT_EQ(twice.status, ExitUsage);
    EXPECT_TRUE(twice.err.contains("is named twice")) << twice.err.toStdString();
    const ToolRun nowhere = cli({"-d", "1-2.4", "info"});
    EXPECT_EQ(nowhere.status, ExitNoDevice);
    EXPECT_TRUE(nowhere.err.contains("no bootloader is attached at 1-2.4"));
}

INSTANTIATE_TEST_SUITE_P(Backends, Station, ::testing::Values(Backend::InProcess, Backend::Standin),
                         backendName);

} // namespace
} // namespace corvane::cli
