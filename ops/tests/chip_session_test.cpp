// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's primitives on a simulated chip: the requests each sends, what
// each reports, and what it leaves on the chip.

#include "ops/chip_session.h"
#include "sim/bench.h"
#include "sim/request_names.h"

#include <gtest/gtest.h>

#include <numeric>

namespace corvane {
namespace {

using Strings = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

class Session : public ::testing::Test {
protected:
    explicit Session(sim::ChipConfig config = {}) : link(bench), session(link) {
        chip = &bench.insert(0, config);
        for (std::size_t a = 0; a < chip->flash().size(); ++a)
            chip->flash()[a] = std::uint8_t(a * 7 + a / 256);
        std::iota(chip->eeprom().begin(), chip->eeprom().end(), std::uint8_t(3));
    }
    void openChip() {
        ASSERT_TRUE(session.open(0).ok());
        chip->clearLog();
    }
    Strings sent() const { return sim::describeLog(*chip); }

    sim::SimBench bench;
    sim::SimLink link;
    ChipSession session;
    sim::SimChip* chip = nullptr;
};

TEST_F(Session, OpenChecksTheDescriptorAndTellsWhyAChipCannotBeUsed) {
    EXPECT_TRUE(session.open(0).ok());
    EXPECT_EQ(sent(), Strings{"DESC"});
    EXPECT_EQ(session.vendorId(), kBootVendor);

    EXPECT_EQ(session.open(3).kind, ErrorKind::NoDevice);
    EXPECT_EQ(session.open(-1).kind, ErrorKind::NoDevice);
    EXPECT_EQ(session.open(8).kind, ErrorKind::NoDevice);

    sim::ChipConfig refused;
    refused.refuseOpen = true;
    bench.insert(1, refused);
    EXPECT_EQ(session.open(1).kind, ErrorKind::AccessDenied);

    sim::ChipConfig other;
    other.productId = 0x2FFE;
    bench.insert(2, other);
    const OpResult foreign = session.open(2);
    EXPECT_EQ(foreign.kind, ErrorKind::NotBootloader);
    EXPECT_EQ(session.productId(), 0x2FFE);

    // A failed descriptor read is a device error, and the last descriptor stays.
    chip->faults().failDescriptorReads();
    const OpResult failed = session.open(0);
    EXPECT_EQ(failed.kind, ErrorKind::TransferFailed);
    EXPECT_EQ(failed.step, OpStep::Identify);
    EXPECT_EQ(session.productId(), 0x2FFE);
}

TEST_F(Session, ABytePerThreeRequestsAndAFailedReadLeavesItUnknown) {
    openChip();
    const ConfigId wanted[] = {ConfigId::ProductName, ConfigId::SSB};
    EXPECT_TRUE(session.readBytes(wanted).ok());
    EXPECT_EQ(sent(), (Strings{"R 1,60", "ST", "UP 1", "R 1,05", "ST", "UP 1"}));
    EXPECT_EQ(session.bytes().get(ConfigId::ProductName), 0x31);
    EXPECT_EQ(session.bytes().securityLevel(), 3);
    EXPECT_FALSE(session.bytes().get(ConfigId::HSB));

    chip->faults().restartCount();
    chip->faults().failRequest(3); // the upload of the first read
    const OpResult failed = session.readBytes(wanted);
    EXPECT_EQ(failed.kind, ErrorKind::TransferFailed);
    EXPECT_EQ(failed.step, OpStep::Identify);
    EXPECT_EQ(failed.address, 0x160u);
    EXPECT_FALSE(session.bytes().get(ConfigId::ProductName));
    EXPECT_EQ(failed.command.code(), -1);
}

TEST_F(Session, AReadAsksTheStatusOnceAndTakesAKilobytePerCommand) {
    openChip();
    Bytes flash(0x8000, 0);
    ASSERT_TRUE(session.read(MEM_FLASH, {{0, 0x8000}}, flash).ok());
    EXPECT_EQ(flash, chip->flash());
    EXPECT_EQ(sent().size(), 32u * 2 + 1);

    chip->clearLog();
    Bytes eeprom(kEepromBytes, 0);
    ASSERT_TRUE(session.read(MEM_EEPROM, {{0, 0x400}}, eeprom).ok());
    EXPECT_EQ(eeprom, chip->eeprom());
    EXPECT_EQ(sent(), (Strings{"DISP 2 0000-03FF", "ST", "UP 1024"}));

    // The window's blocks, each before its hook.
    chip->clearLog();
    std::vector<std::size_t> hooked;
    ASSERT_TRUE(session
                    .read(MEM_EEPROM, {{0, 0x400}}, eeprom, 256,
                          [&](std::size_t i, std::size_t n) { hooked.push_back(i * 10 + n); })
                    .ok());
    EXPECT_EQ(hooked, (std::vector<std::size_t>{4, 14, 24, 34}));
    EXPECT_EQ(sent().size(), 4u * 2 + 1);
}

TEST_F(Session, ALockedChipsRefusalIsLockedAndOtherFailuresNameTheirBlock) {
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFC);
    openChip();
    Bytes flash(0x8000, 0);
    EXPECT_EQ(session.read(MEM_FLASH, {{0x400, 0x800}}, flash).kind, ErrorKind::TransferFailed);
    const ConfigId ssb[] = {ConfigId::SSB};
    ASSERT_TRUE(session.readBytes(ssb).ok());
    const OpResult locked = session.read(MEM_FLASH, {{0x400, 0x800}}, flash);
    EXPECT_EQ(locked.kind, ErrorKind::Locked);
    EXPECT_EQ(locked.address, 0x400u);
    EXPECT_EQ(locked.command.deviceStatus, sim::errVERIFY);

    chip->setConfigByte(sim::ConfigByte::SSB, 0xFF);
    ASSERT_TRUE(session.readBytes(ssb).ok());
    chip->faults().restartCount();
    chip->faults().failRequest(5); // the second kilobyte's upload
    const OpResult failed = session.read(MEM_FLASH, {{0, 0x1000}}, flash);
    EXPECT_EQ(failed.kind, ErrorKind::TransferFailed);
    EXPECT_EQ(failed.step, OpStep::ReadFlash);
    EXPECT_EQ(failed.address, 0x400u);
}

TEST_F(Session, BlankCheckTellsBlankUsedAndFailedApart) {
    std::fill(chip->flash().begin(), chip->flash().end(), 0xFF);
    chip->flash()[0x5000] = 0x12;
    openChip();
    const BlankOutcome blank = session.blankCheck({0, 0x5000});
    EXPECT_TRUE(blank.result.ok());
    EXPECT_TRUE(blank.blank);
    EXPECT_EQ(sent().size(), 2u);

    const BlankOutcome used = session.blankCheck({0, 0x8000});
    EXPECT_TRUE(used.result.ok());
    EXPECT_FALSE(used.blank);
    EXPECT_EQ(used.firstUsed, 0x5000u);
    // The chip takes the next command.
    EXPECT_TRUE(session.blankCheck({0x6000, 0x100}).blank);

    chip->faults().restartCount();
    chip->faults().failRequest(1);
    EXPECT_EQ(session.blankCheck({0, 0x100}).result.kind, ErrorKind::TransferFailed);
}

TEST_F(Session, ProgramCountsWhatReachedTheChipAlsoWhenAFrameFails) {
    openChip();
    Bytes image(0x8000, 0xFF);
    std::fill(image.begin(), image.begin() + 0xC00, 0x5A);
    const Ranges frames{{0, 0x400}, {0x400, 0x400}, {0x800, 0x400}};
    chip->faults().restartCount();
    chip->faults().failRequest(4); // the status after the second frame: the frame arrived
    chip->faults().failRequest(5); // the third frame's download: nothing arrived
    const ProgramOutcome out = session.program(MEM_FLASH, frames, image);
    EXPECT_EQ(out.result.kind, ErrorKind::TransferFailed);
    EXPECT_EQ(out.result.address, 0x400u);
    EXPECT_EQ(out.bytesWritten, 0x800u);

    chip->faults().clear();
    chip->faults().answerStatus(2, sim::errWRITE); // refused: nothing counted
    const ProgramOutcome refused = session.program(MEM_FLASH, {{0, 0x400}}, image);
    EXPECT_FALSE(refused.result.ok());
    EXPECT_EQ(refused.bytesWritten, 0u);
}

TEST_F(Session, VerifyNamesTheFirstDifferenceAndItsCount) {
    openChip();
    Bytes image(0x8000, 0xFF);
    std::fill(image.begin(), image.begin() + 0x800, 0x00);
    chip->faults().stuckFlash = {0x0123, 0x0456};
    ASSERT_TRUE(session.program(MEM_FLASH, {{0, 0x400}, {0x400, 0x400}}, image).result.ok());
    const VerifyOutcome v = session.verify(MEM_FLASH, {{0, 0x800}}, image);
    EXPECT_TRUE(v.reached);
    EXPECT_EQ(v.result.kind, ErrorKind::VerifyMismatch);
    EXPECT_EQ(v.result.step, OpStep::VerifyFlash);
    EXPECT_EQ(v.difference.first, 0x0123u);
    EXPECT_EQ(v.difference.count, 2u);
    EXPECT_TRUE(session.verify(MEM_FLASH, {{0x0200, 0x100}}, image).result.ok());

    chip->faults().restartCount();
    chip->faults().failRequest(1);
    const VerifyOutcome notReached = session.verify(MEM_FLASH, {{0, 0x100}}, image);
    EXPECT_FALSE(notReached.reached);
    EXPECT_EQ(notReached.result.kind, ErrorKind::TransferFailed);
}

TEST_F(Session, EraseForgetsWhatItResetsAndWritesForgetTheirByte) {
    openChip();
    const ConfigId bytes[] = {ConfigId::SSB, ConfigId::BSB, ConfigId::HSB};
    ASSERT_TRUE(session.readBytes(bytes).ok());
    chip->clearLog();
    ASSERT_TRUE(session.erase().ok());
    EXPECT_EQ(sent(), (Strings{"ERASE", "ST"}));
    EXPECT_FALSE(session.bytes().get(ConfigId::SSB));
    EXPECT_FALSE(session.bytes().get(ConfigId::BSB));
    EXPECT_TRUE(session.bytes().get(ConfigId::HSB));

    chip->clearLog();
    ASSERT_TRUE(session.writeByte(ConfigId::HSB, 0x3B).ok());
    EXPECT_EQ(sent(), (Strings{"W 2,00=3B", "ST"}));
    EXPECT_FALSE(session.bytes().get(ConfigId::HSB));
    EXPECT_EQ(chip->configByte(sim::ConfigByte::HSB), 0x3B);
    const OpResult security = session.writeByte(ConfigId::SSB, 0xFE);
    EXPECT_TRUE(security.ok());
    chip->faults().restartCount();
    chip->faults().answerStatus(2, sim::errWRITE);
    const OpResult refused = session.writeByte(ConfigId::EB, 0x00);
    EXPECT_EQ(refused.step, OpStep::WriteFuses);
    EXPECT_EQ(refused.address, 0x106u);
    EXPECT_EQ(refused.command.code(), -int(sim::errWRITE));
}

// A stop asked for ends every primitive before its next request.
TEST_F(Session, AStopEndsThePrimitiveBeforeItsNextRequest) {
    openChip();
    int allowed = 2;
    session.hooks().stopRequested = [&allowed] { return allowed-- <= 0; };
    Bytes flash(0x8000, 0);
    const OpResult stopped = session.read(MEM_FLASH, {{0, 0x8000}}, flash);
    EXPECT_EQ(stopped.kind, ErrorKind::Cancelled);
    EXPECT_EQ(stopped.step, OpStep::ReadFlash);
    EXPECT_EQ(sent(), (Strings{"DISP 0 0000-03FF", "ST", "UP 1024", "DISP 0 0400-07FF", "UP 1024"}));
    chip->clearLog();
    EXPECT_EQ(session.erase().kind, ErrorKind::Cancelled);
    EXPECT_EQ(session.start(StartMode::Reset, 0).kind, ErrorKind::Cancelled);
    EXPECT_EQ(session.open(0).kind, ErrorKind::Cancelled);
    EXPECT_TRUE(sent().empty());
}

} // namespace
} // namespace corvane
