// SPDX-License-Identifier: GPL-3.0-or-later
// Device lists, the FLASH plans and the transfers that carry them out on the
// simulated bench.

#include "cli/lines/device_selection.h"
#include "cli/lines/flash_plan.h"
#include "cli/lines/flash_transfer.h"
#include "cli/lines/line_options.h"
#include "sim/bench.h"

#include <gtest/gtest.h>

namespace corvane::lines {
namespace {

// --- device lists -------------------------------------------------------------

struct ListCase {
    const char* text;
    std::vector<int> devices; // empty: a usage error
};

class DeviceListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(DeviceListTest, ParsesOrRefuses) {
    QString error;
    const auto devices = parseDeviceList(QString::fromLatin1(GetParam().text), error);
    if (GetParam().devices.empty()) {
        EXPECT_FALSE(devices.has_value());
        EXPECT_FALSE(error.isEmpty());
    } else {
        ASSERT_TRUE(devices.has_value()) << error.toStdString();
        EXPECT_EQ(*devices, GetParam().devices);
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, DeviceListTest,
                         ::testing::Values(ListCase{"3", {3}}, ListCase{"0,2-5", {0, 2, 3, 4, 5}},
                                           ListCase{"6,1", {1, 6}}, ListCase{"0-7", {0, 1, 2, 3, 4, 5, 6, 7}},
                                           ListCase{" 1 , 4-4 ", {1, 4}}, ListCase{"", {}}, ListCase{"8", {}},
                                           ListCase{"-1", {}}, ListCase{"1,,2", {}}, ListCase{"5-2", {}},
                                           ListCase{"1-2-3", {}}, ListCase{"2,1-3", {}}, ListCase{"x", {}},
                                           ListCase{"12", {}}));

TEST(LineOptions, AreTakenOutAndTheRestIsLeftForTheOrdinaryParser) {
    QStringList args{"corvane-cli", "-d",      "0,2-5", "write", "--serial=0x10", "--serial-at", "eeprom:20",
                     "--serial-le", "--flash", "f.hex", "--",    "--json"};
    LineOptions line;
    QString error;
    ASSERT_TRUE(extractLineOptions(args, line, error)) << error.toStdString();
    EXPECT_EQ(args, (QStringList{"corvane-cli", "--device=0", "write", "--flash", "f.hex", "--", "--json"}));
    EXPECT_EQ(line.devices, (std::vector<int>{0, 2, 3, 4, 5}));
    EXPECT_FALSE(line.json); // after "--" it is an argument
    ASSERT_TRUE(line.serial);
    EXPECT_EQ(line.serial->start, 0x10u);
    EXPECT_EQ(line.serial->place.memory, MEM_EEPROM);
    EXPECT_TRUE(line.serial->littleEndian);
    EXPECT_EQ(line.serial->size, 4);

    QStringList single{"corvane-cli", "--device", "3", "info"};
    LineOptions none;
    ASSERT_TRUE(extractLineOptions(single, none, error));
    EXPECT_EQ(single, (QStringList{"corvane-cli", "--device=3", "info"}));
    EXPECT_FALSE(none.needsRunner());

    for (QStringList bad :
         {QStringList{"c", "--json=yes", "info"}, QStringList{"c", "info", "--serial"},
          QStringList{"c", "--serial-log=", "write"}, QStringList{"c", "--all", "-d", "1-2"}}) {
        LineOptions o;
        error.clear();
        EXPECT_FALSE(extractLineOptions(bad, o, error)) << bad.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(AttachedBootloaders, FindsTheChipsOnTheBusAndThoseRefusedToTheUser) {
    sim::SimBench bench;
    bench.insert(1);
    bench.insert(4).setAttached(false);
    sim::ChipConfig foreign;
    foreign.productId = 0x1234;
    bench.insert(5, foreign);
    bench.insert(7);
    sim::ChipConfig refused;
    refused.refuseOpen = true;
    bench.insert(6, refused);
    sim::SimLink link(bench);
    EXPECT_EQ(attachedBootloaders(link), (std::vector<int>{1, 6, 7}));
    EXPECT_FALSE(link.isOpen());
}

// --- plans ----------------------------------------------------------------------

TBuffer imageWith(std::initializer_list<std::pair<std::size_t, std::size_t>> used,
                  std::size_t size = 0x8000) {
    TBuffer image(size, kErased);
    for (auto [from, to] : used) {
        for (std::size_t a = from; a < to; ++a)
            image[a] = std::uint8_t(a & 0x7F);
    }
    return image;
}

TEST(SparsePlan, ProgramsOnlyPagesThatHoldDataInFramesOfAtMostOneKilobyte) {
    // 0x000-0x9FF used (20 pages), one byte at 0x0C05, two bytes at the very top.
    const TBuffer image = imageWith({{0x0000, 0x0A00}, {0x0C05, 0x0C06}, {0x7FFE, 0x8000}});
    const FlashPlan plan = sparsePlan(image);
    EXPECT_EQ(plan.frames,
              (std::vector<Range>{
                  {0x0000, 0x400}, {0x0400, 0x400}, {0x0800, 0x200}, {0x0C00, 0x80}, {0x7F80, 0x80}}));
    EXPECT_EQ(plan.blank, (std::vector<Range>{{0x0A00, 0x200}, {0x0C80, 0x7F80 - 0x0C80}}));
    EXPECT_EQ(plan.bytesWritten(), 0xA00u + 0x100u);
}

TEST(SparsePlan, AnEmptyImageIsOneBlankRangeAndAFullOneHasNone) {
    const FlashPlan empty = sparsePlan(TBuffer(0x4000, kErased));
    EXPECT_TRUE(empty.frames.empty());
    EXPECT_EQ(empty.blank, (std::vector<Range>{{0, 0x4000}}));
    const FlashPlan full = sparsePlan(imageWith({{0, 0x4000}}, 0x4000));
    EXPECT_EQ(full.frames.size(), 16u);
    EXPECT_TRUE(full.blank.empty());
}

TEST(BlockPlan, WritesWholeBlocksUpToTheLastUsedOneAsBefore) {
    EXPECT_EQ(blockPlan(imageWith({{0x03FF, 0x0400}}), false).frames, (std::vector<Range>{{0, 0x400}}));
    EXPECT_EQ(blockPlan(imageWith({{0x0400, 0x0401}}), false).frames.size(), 2u);
    EXPECT_TRUE(blockPlan(TBuffer(0x8000, kErased), false).frames.empty());
    EXPECT_EQ(blockPlan(TBuffer(0x4000, kErased), true).frames.size(), 16u);
    EXPECT_TRUE(blockPlan(TBuffer(0x8000, kErased), true).blank.empty());
}

TEST(ReadPlan, JoinsTouchingRangesAndCutsThemIntoKilobytes) {
    const auto plan = readPlan({{0x0000, 0x400}, {0x0400, 0x200}, {0x0C00, 0x80}, {0x0000, 0}});
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].range, (Range{0x0000, 0x400}));
    EXPECT_EQ(plan[1].range, (Range{0x0400, 0x200}));
    EXPECT_EQ(plan[2].range, (Range{0x0C00, 0x80}));
    EXPECT_TRUE(plan[0].statusCheck);
    EXPECT_FALSE(plan[1].statusCheck);
    EXPECT_FALSE(plan[2].statusCheck);
    EXPECT_EQ(readPlan({{0, 0x8000}}).size(), 32u);
    EXPECT_EQ(readPlan({{0x0080, 0x0400}}).size(), 1u);
}

// --- transfers on the bench -------------------------------------------------------

class TransferTest : public ::testing::Test {
protected:
    TransferTest() : link(bench), usb(link, images) {
        chip = &bench.insert(0);
        usb.hooks().deviceNumber = [] { return 0; };
        EXPECT_TRUE(usb.OpenDevice());
    }

    int classRequests() const {
        int n = 0;
        for (const sim::LoggedRequest& r : chip->log())
            n += r.kind == sim::LoggedRequest::Kind::Class;
        return n;
    }

    sim::SimBench bench;
    sim::SimChip* chip = nullptr;
    sim::SimLink link;
    MemoryImages images;
    TUsb usb;
};

TEST_F(TransferTest, SparseWriteProgramsTheDataPagesAndBlankChecksConfirmTheRest) {
    images.FlashImage = imageWith({{0x0000, 0x0300}, {0x7FF0, 0x7FF4}});
    const FlashPlan plan = sparsePlan(images.FlashImage);
    std::size_t steps = 0;
    ASSERT_TRUE(programFrames(usb, MEM_FLASH, plan.frames, [&](std::size_t, std::size_t) { ++steps; }).ok());
    EXPECT_EQ(steps, plan.frames.size());
    EXPECT_EQ(chip->flash(), images.FlashImage);

    for (const Range& r : plan.blank)
        EXPECT_TRUE(blankCheck(usb, r).blank());
    chip->flash()[0x5000] = 0x12;
    const BlankCheck used = blankCheck(usb, plan.blank.front());
    EXPECT_EQ(used.code, -sim::errCHECK_ERASED);
    EXPECT_EQ(used.firstUsed, 0x5000u);
    // The error status was cleared: the chip takes the next command.
    EXPECT_TRUE(blankCheck(usb, {0x7000, 0x100}).blank());
}

TEST_F(TransferTest, ReadBackTakesOneStatusRequestAndOneCommandAndUploadPerKilobyte) {
    for (std::size_t a = 0; a < chip->flash().size(); ++a)
        chip->flash()[a] = std::uint8_t(a * 7);
    TBuffer read(0x8000, 0);
    chip->clearLog();
    ASSERT_TRUE(readRanges(usb, MEM_FLASH, {{0, 0x8000}}, read).ok());
    EXPECT_EQ(read, chip->flash());
    EXPECT_EQ(classRequests(), 32 * 2 + 1);

    TBuffer eeprom(kEepromSize, 0);
    chip->eeprom()[0x3FF] = 0x42;
    ASSERT_TRUE(readRanges(usb, MEM_EEPROM, {{0, 0x400}}, eeprom).ok());
    EXPECT_EQ(eeprom, chip->eeprom());
}

TEST_F(TransferTest, ARefusedReadOrAFailedRequestIsReportedWithItsAddress) {
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFC); // reads refused
    TBuffer read(0x8000, 0);
    const TransferResult refused = readRanges(usb, MEM_FLASH, {{0x0400, 0x800}}, read);
    EXPECT_EQ(refused.code, -sim::errVERIFY);
    EXPECT_EQ(refused.address, 0x0400u);

    chip->setConfigByte(sim::ConfigByte::SSB, 0xFF);
    chip->faults().restartCount();
    chip->faults().failRequest(5); // the second kilobyte's upload
    const TransferResult failed = readRanges(usb, MEM_FLASH, {{0, 0x1000}}, read);
    EXPECT_EQ(failed.code, -1);
    EXPECT_EQ(failed.address, 0x0400u);

    chip->faults().clear();
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFE); // writes refused
    images.FlashImage = imageWith({{0x0800, 0x0880}});
    const TransferResult write = programFrames(usb, MEM_FLASH, sparsePlan(images.FlashImage).frames);
    EXPECT_EQ(write.code, -sim::errWRITE);
    EXPECT_EQ(write.address, 0x0800u);
}

TEST_F(TransferTest, ABlockReadWithoutItsStatusRequestStillFailsOnAProtectedChip) {
    chip->flash()[0x0400] = 0x5A;
    chip->clearLog();
    ASSERT_EQ(usb.ReadBlock(0x0400, 0x400, MEM_FLASH, 0, false), 0);
    EXPECT_EQ(images.FlashImage[0x0400], 0x5A);
    EXPECT_EQ(classRequests(), 2);

    // Refused: the failed fetch asks for the status, which names the refusal
    // and leaves the chip ready for the next command.
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFC);
    EXPECT_EQ(usb.ReadBlock(0x0800, 0x400, MEM_FLASH, 0, false), -sim::errVERIFY);
    EXPECT_EQ(usb.ReadBlock(0x0800, 0x400, MEM_FLASH, 0, true), -sim::errVERIFY);
    TBuffer read(0x8000, 0);
    EXPECT_EQ(readRanges(usb, MEM_FLASH, {{0, 0x100}, {0x1000, 0x100}}, read).code, -sim::errVERIFY);
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFF);
    EXPECT_TRUE(readRanges(usb, MEM_FLASH, {{0, 0x100}}, read).ok());
}

} // namespace
} // namespace corvane::lines
