// SPDX-License-Identifier: GPL-3.0-or-later
// The device list without a process: a link that cannot tell where its
// devices are (the numbers are tried), a chip the table does not know, and
// the station's table with every kind of result lined up.

#include "cli/outcome.h"
#include "cli/report.h"
#include "cli/tests/in_process.h"
#include "sim/bench.h"

#include <gtest/gtest.h>

namespace corvane::cli {
namespace {

// The bench's link without its list, as a link that knows no bus positions.
class NumbersOnly : public DeviceLink {
public:
    explicit NumbersOnly(sim::SimBench& bench) : to_(bench) {}
    bool open(int n) override { return to_.open(n); }
    bool isOpen() const override { return to_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return to_.getDeviceDescriptor(out); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return to_.classRequest(setup, data, length);
    }
    void close() override { to_.close(); }
    OpenFailure lastOpenFailure() const override { return to_.lastOpenFailure(); }

private:
    sim::SimLink to_;
};

TEST(DeviceList, ALinkWithoutPositionsTriesTheNumbersAndKnowsNoPaths) {
    sim::SimBench bench;
    bench.insert(1);
    sim::ChipConfig unknown;
    unknown.identification = sim::Identification{};
    unknown.identification->productName = 0x42;
    bench.insert(4, unknown);
    bench.insert(6);
    sim::SimLink holder(bench);
    ASSERT_TRUE(holder.open(6));
    NumbersOnly link(bench);

    const Printed listed = runInProcess({"list"}, link);
    EXPECT_EQ(listed.status, ExitOk);
    EXPECT_EQ(listed.out, "1: AT89C5131, bootloader 1.0.5\n"
                          "4: product byte 42, bootloader 1.0.5\n"
                          "6: not usable: device 6 is in use by another program\n");
    // --all takes every one the numbers found; a path cannot be found.
    EXPECT_EQ(runInProcess({"-q", "--all", "erase"}, link).status, ExitNoDevice); // 6 is held
    // 1-2 is the range 1 to 2, not a path.
    const Printed range = runInProcess({"-d", "1-2", "erase"}, link);
    EXPECT_EQ(range.status, ExitNoDevice);
    EXPECT_TRUE(range.err.contains("2: corvane-cli: device 2: no bootloader answers at device 2"))
        << range.err.toStdString();
    const Printed byPath = runInProcess({"-d", "usb:1-2", "erase"}, link);
    EXPECT_EQ(byPath.status, ExitNoDevice);
    EXPECT_TRUE(byPath.err.contains("no bootloader is attached at 1-2")) << byPath.err.toStdString();
}

TEST(StationTable, LinesUpEveryResultPathAndSerial) {
    RunReport report;
    for (int i = 0; i < 3; ++i) {
        ChipReport board;
        board.board = i + 1;
        board.device = i == 2 ? 3 : 0;
        board.path = i == 2 ? QStringLiteral("1-2.3.4") : QStringLiteral("1-1");
        board.serial = i == 1 ? std::nullopt : std::optional<std::uint64_t>(100000 + i);
        board.verify = Verify::Passed;
        if (i == 1)
            board.outcome = Outcome::failed(Failure::TransferFailed, QStringLiteral("the board left"));
        report.chips.push_back(board);
    }
    const QStringList lines = stationTable(report).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    const qsizetype verify = lines[0].indexOf("Verify");
    const qsizetype serialEnd = lines[0].indexOf("Serial") + 6;
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(lines[i].indexOf("passed"), verify) << lines[i].toStdString();
        EXPECT_FALSE(lines[i].at(serialEnd - 1).isSpace()) << lines[i].toStdString();
    }
    EXPECT_TRUE(lines[2].contains("transfer-failed"));
    EXPECT_EQ(lines[4], "2 of 3 board(s) succeeded in 0.00 s.");
    EXPECT_EQ(lines[5], "Failed: board 2: the board left");
    EXPECT_EQ(boardLine(report.chips[1]), "board 2: device 0 at 1-1: transfer-failed: the board left\n");
    EXPECT_EQ(boardLine(report.chips[2]), "board 3: device 3 at 1-2.3.4: ok, serial 100002\n");
}

} // namespace
} // namespace corvane::cli
