// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli on the bench in-process (--simulate) and through the libusb
// stand-in: a chip that answers busy while it erases, and several tools at
// once on one state folder, each chip claimed by one of them at a time.

#include "cli/outcome.h"
#include "cli/tests/tool_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvane::cli {
namespace {

enum class Backend { InProcess, Standin };

class SharedBench : public ToolFolder, public ::testing::WithParamInterface<Backend> {
protected:
    ToolProcess start(const QStringList& arguments) const {
        return {dir.path(), arguments, GetParam() == Backend::Standin};
    }
    static QByteArray image(int seed, int size) {
        QByteArray bytes(size, 0);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + seed * 31 + 1);
        return bytes;
    }
    static bool holds(const sim::SimChip& chip, const QByteArray& bytes, std::size_t at = 0) {
        return std::equal(bytes.begin(), bytes.end(), chip.flash().begin() + long(at),
                          [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
    }
};

// The link's polling has its own tests; here the whole tool on a chip that
// keeps answering busy while it erases, with the bench's real erase time.
TEST_P(SharedBench, WriteWithEraseSucceedsOnAChipThatAnswersBusyWhileItErases) {
    writeFile("bench.conf", "[slot 0]\nerase = busy\ntiming = realistic\n");
    {
        auto bench = stored();
        std::fill(bench->chip(0)->flash().begin(), bench->chip(0)->flash().end(), 0x00);
    }
    const QByteArray program = image(1, 300);
    writeFile("prog.bin", program);
    const ToolRun r = start({"write", "--erase", "--flash", "prog.bin"}).finish();
    EXPECT_EQ(r.status, ExitOk) << r.err.toStdString();
    auto bench = stored();
    EXPECT_TRUE(holds(*bench->chip(0), program));
    EXPECT_TRUE(std::all_of(bench->chip(0)->flash().begin() + program.size(), bench->chip(0)->flash().end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

// Two tools writing two slots of one folder at once: each chip keeps what
// its tool wrote, round after round.
TEST_P(SharedBench, OnDifferentSlotsEveryChipHoldsItsImage) {
    writeFile("bench.conf", "[slot 0]\n[slot 1]\n");
    for (int round = 0; round < 8; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const QByteArray a = image(round, 256), b = image(round + 100, 256);
        writeFile("a.bin", a);
        writeFile("b.bin", b);
        ToolProcess first = start({"-q", "-d", "0", "write", "--flash", "a.bin"});
        ToolProcess second = start({"-q", "-d", "1", "write", "--flash", "b.bin"});
        const ToolRun r0 = first.finish(), r1 = second.finish();
        ASSERT_EQ(r0.status, ExitOk) << r0.err.toStdString();
        ASSERT_EQ(r1.status, ExitOk) << r1.err.toStdString();
        auto bench = stored();
        ASSERT_TRUE(holds(*bench->chip(0), a));
        ASSERT_TRUE(holds(*bench->chip(1), b));
    }
}

// Two tools on one slot: the second finds the chip claimed and is refused as
// busy; the chip, the serial counter and the serial log tell of the first.
TEST_P(SharedBench, OnOneSlotTheSecondIsRefusedAsBusy) {
    writeFile("bench.conf", "[slot 0]\ntiming = realistic\n");
    writeFile("counter", "1000\n");
    writeFile("a.bin", image(1, 200));
    writeFile("b.bin", image(2, 200));
    auto line = [](const char* file) {
        return QStringList{
            "-d",   "0",           "write",      "--erase",       "--flash", file,           "--serial",
            "1000", "--serial-at", "flash:7FF0", "--serial-file", "counter", "--serial-log", "serials.csv"};
    };
    ToolProcess first = start(line("a.bin"));
    ASSERT_TRUE(first.waitForError("Erasing...")) << "the first tool holds the chip while it erases";
    const ToolRun second = start(line("b.bin")).finish();
    const ToolRun done = first.finish();
    EXPECT_EQ(done.status, ExitOk) << done.err.toStdString();
    EXPECT_EQ(second.status, ExitNoDevice) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains("device 0 is in use by another program")) << second.err.toStdString();

    auto bench = stored();
    EXPECT_TRUE(holds(*bench->chip(0), image(1, 200)));
    EXPECT_TRUE(holds(*bench->chip(0), QByteArray::fromHex("000003E8"), 0x7FF0)) << "serial 1000";
    // Each tool took its number before it touched the chip: the refused one
    // logs its number as not written.
    EXPECT_EQ(readFile("counter").trimmed(), "1002");
    const QByteArray log = readFile("serials.csv");
    EXPECT_EQ(log.trimmed().split('\n').size(), 3) << log.toStdString();
    EXPECT_TRUE(log.contains(",0,1000,ok\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(",0,1001,failed: device 0 is in use by another program\n")) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, SharedBench, ::testing::Values(Backend::InProcess, Backend::Standin),
                         [](const auto& info) {
                             return std::string(info.param == Backend::InProcess ? "InProcess" : "Standin");
                         });

} // namespace
} // namespace corvane::cli
