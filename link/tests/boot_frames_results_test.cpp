// SPDX-License-Identifier: GPL-3.0-or-later
// The command frames' results on every path: driver failure, reported status,
// failed status request, the clearing of an error state, blocks refused
// before sending, the erase polling and the start; each also by the link's
// integer code.

#include "frames_fixture.h"
#include "link/dfu_requests.h"

#include <algorithm>

using namespace corvane;
using namespace corvane::testing;

using FrameResultPaths = FramesOnBench;

TEST_F(FrameResultPaths, CommandsOnAClosedChannelFailWithoutReachingTheChip) {
    Bytes block(16);
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Flash).code(), -1);
    EXPECT_EQ(frames.programBlock(0, block, BootMemory::Eeprom).code(), -1);
    EXPECT_EQ(frames.blankCheck(0, 16).result.code(), -1);
    EXPECT_EQ(frames.eraseChip().code(), -1);
    EXPECT_EQ(valueOrCode(read(ConfigId::Manufacturer)), -1);
    EXPECT_EQ(frames.startApplication(wire::kStartJump, 0).code(), -1);
    EXPECT_FALSE(dfu::getStatus(link).ok());
    EXPECT_TRUE(chip->log().empty());
}

TEST_F(FrameResultPaths, EachStepOfAProgramBlockMapsToItsResult) {
    struct Step {
        void (*arm)(sim::FaultPlan&);
        CommandStatus status;
        int code;
    };
    const Step steps[] = {
        {[](sim::FaultPlan& p) { p.failRequest(1); }, CommandStatus::TransferFailed, -1},
        {[](sim::FaultPlan& p) { p.failRequest(2); }, CommandStatus::StatusRequestFailed, 1},
        {[](sim::FaultPlan& p) { p.timeOutRequest(2); }, CommandStatus::StatusRequestFailed, 1},
        {[](sim::FaultPlan& p) { p.answerStatus(2, errWRITE); }, CommandStatus::DeviceStatus, -errWRITE},
        {[](sim::FaultPlan&) {}, CommandStatus::Ok, 0},
    };
    open();
    const Bytes data(256, 0x5A);
    for (const Step& s : steps) {
        chip->faults().clear();
        s.arm(chip->faults());
        const CommandResult r = frames.programBlock(0, data, BootMemory::Flash);
        EXPECT_EQ(r.status, s.status) << s.code;
        EXPECT_EQ(r.code(), s.code);
    }
}

TEST_F(FrameResultPaths, ReadPathsStopAtTheFirstFailureAndLeaveTheBlockAlone) {
    chip->flash()[0] = 0x11;
    open();
    Bytes block(1024, 0xAA);
    chip->faults().answerUploadShort(3, 100);
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Flash).code(), -1);
    EXPECT_EQ(block[0], 0xAA);
    chip->faults().failRequest(6); // the upload
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Flash).code(), -1);
    EXPECT_EQ(block[0], 0xAA);
    EXPECT_EQ(valueOrCode(read(ConfigId::Family)), 0xD7); // and the next read works

    chip->clearLog();
    chip->faults().restartCount();
    chip->faults().answerStatus(2, errADDRESS);
    const ByteRead refused = read(ConfigId::Manufacturer);
    EXPECT_EQ(refused.result.code(), -errADDRESS);
    EXPECT_EQ(refused.value, 0);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_CLRSTATUS})) << "no upload after the error";
}

// Asked only when the fetch fails, the status tells why: a protected memory
// is refused at its upload, and the refusal is cleared for the next command.
TEST_F(FrameResultPaths, AStatusAskedOnFailureTellsWhyTheUploadFailed) {
    open();
    Bytes block(256, 0xAA);
    ASSERT_TRUE(frames.readBlock(0, block, BootMemory::Eeprom, BootFrames::StatusCheck::OnFailure).ok());
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_UPLOAD}));
    EXPECT_EQ(block[0], 0xFF);

    chip->faults().failRequest(chip->faults().requestsSeen + 2); // the upload, the device is fine
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Eeprom, BootFrames::StatusCheck::OnFailure).status,
              CommandStatus::TransferFailed);

    chip->setConfigByte(sim::ConfigByte::SSB, 0xFC);
    chip->clearLog();
    const CommandResult locked =
        frames.readBlock(0, block, BootMemory::Flash, BootFrames::StatusCheck::OnFailure);
    EXPECT_EQ(locked.code(), -errVERIFY);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_UPLOAD, DFU_GETSTATUS, DFU_CLRSTATUS}));
    EXPECT_EQ(block[0], 0xFF) << "nothing from a refused read";
    EXPECT_EQ(valueOrCode(read(ConfigId::SSB)), 0xFC);
}

TEST_F(FrameResultPaths, EmptyBlocksAndBlocksLongerThanOneCommandAreRefusedBeforeSending) {
    open();
    Bytes tooLong(kMaxFrame + 1);
    EXPECT_EQ(frames.readBlock(0, tooLong, BootMemory::Flash).code(), -1);
    EXPECT_EQ(frames.readBlock(0, std::span<std::uint8_t>(), BootMemory::Eeprom).code(), -1);
    EXPECT_EQ(frames.programBlock(0, tooLong, BootMemory::Flash).code(), -1);
    EXPECT_EQ(frames.programBlock(0, Bytes(), BootMemory::Flash).code(), -1);
    EXPECT_EQ(frames.blankCheck(0, 0).result.code(), -1);
    EXPECT_EQ(frames.blankCheck(0xFF00, 0x101).result.code(), -1) << "past the end of the address space";
    EXPECT_TRUE(chip->log().empty());
}

TEST_F(FrameResultPaths, EraseSendsItsFrameAndEndsAtTheFirstAnsweredStatus) {
    chip->flash()[5] = 0x00;
    open();
    EXPECT_EQ(frames.eraseChip().code(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x00, 0xFF}));
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS}));
    EXPECT_EQ(chip->flash()[5], 0xFF);

    chip->clearLog();
    chip->faults().restartCount();
    chip->faults().failRequest(1); // an erase command that never arrived erased nothing
    EXPECT_EQ(frames.eraseChip().code(), -1);
    EXPECT_EQ(kinds().size(), 1u);
}

TEST_F(FrameResultPaths, StartApplicationSendsCommandThenEmptyDownloadReportingAFailure) {
    open();
    chip->faults().failRequest(1);
    EXPECT_EQ(frames.startApplication(wire::kStartJump, 0).code(), -1);
    EXPECT_FALSE(chip->applicationRunning()); // the command was lost
    chip->clearLog();
    EXPECT_EQ(frames.startApplication(wire::kStartJump, 0x1234).code(), 0);
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_DNLOAD}));
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x03, 0x01, 0x12, 0x34}));
    EXPECT_EQ(classRequests()[1].wLength, 0);
    EXPECT_TRUE(chip->applicationRunning());
    EXPECT_EQ(chip->startAddress(), 0x1234);
    // The bootloader has left: later requests fail.
    EXPECT_FALSE(dfu::getStatus(link).ok());
    EXPECT_EQ(valueOrCode(read(ConfigId::Manufacturer)), -1);
}
