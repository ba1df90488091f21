// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes the command frames put on the wire, and the device descriptor
// read over the same link.

#include "frames_fixture.h"

#include <algorithm>
#include <numeric>

using namespace corvane;
using namespace corvane::testing;

using FrameBytes = FramesOnBench;

TEST_F(FrameBytes, ReadBlockSendsDisplayFrameStatusAndUploadAndFillsTheBlock) {
    std::iota(chip->flash().begin(), chip->flash().end(), 0);
    chip->eeprom()[0x3FF] = 0x34;
    open();
    Bytes block(1024, 0xAA);
    ASSERT_EQ(frames.readBlock(0x7C00, block, BootMemory::Flash).code(), 0);
    const auto reqs = classRequests();
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD}));
    EXPECT_EQ(reqs[0].data, frame({0x03, 0x00, 0x7C, 0x00, 0x7F, 0xFF}));
    EXPECT_EQ(reqs[1].wLength, 6);
    EXPECT_EQ(reqs[1].wIndex, 4) << "the record's index reaches the chip";
    EXPECT_EQ(reqs[2].wLength, 1024);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), chip->flash().begin() + 0x7C00));

    chip->clearLog();
    block.resize(256);
    ASSERT_EQ(frames.readBlock(0x0300, block, BootMemory::Eeprom).code(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x02, 0x03, 0x00, 0x03, 0xFF}));
    EXPECT_EQ(block.back(), 0x34);

    // The chip refuses 0xFC00 to 0xFFFF of its 32 KB, as a real one does.
    chip->clearLog();
    block.resize(1024);
    EXPECT_EQ(frames.readBlock(0xFC00, block, BootMemory::Flash).code(), -errADDRESS);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x00, 0xFC, 0x00, 0xFF, 0xFF}));
}

TEST_F(FrameBytes, ProgramBlockSendsHeaderDataAndSixteenPadBytes) {
    Bytes data(1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7);
    open();
    ASSERT_EQ(frames.programBlock(0x0400, data, BootMemory::Flash).code(), 0);
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS}));
    Bytes expected = frame({0x01, 0x00, 0x04, 0x00, 0x07, 0xFF});
    expected.insert(expected.end(), data.begin(), data.end());
    expected.insert(expected.end(), 16, 0xFF);
    EXPECT_EQ(classRequests()[0].data, expected);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), chip->flash().begin() + 0x400));

    chip->clearLog();
    data.assign(256, 0xFF);
    data.back() = 0xAB;
    ASSERT_EQ(frames.programBlock(0x0100, data, BootMemory::Eeprom).code(), 0);
    expected = frame({0x01, 0x02, 0x01, 0x00, 0x01, 0xFF});
    expected.insert(expected.end(), data.begin(), data.end());
    expected.insert(expected.end(), 16, 0xFF);
    EXPECT_EQ(classRequests()[0].data, expected); // 304 bytes
    EXPECT_EQ(chip->eeprom()[0x1FF], 0xAB);
}

// The frames name each byte by the area and index the chip table gives it.
TEST_F(FrameBytes, ConfigByteFramesAndTheByteRead) {
    open();
    EXPECT_EQ(write(ConfigId::HSB, 0x7B).code(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x02, 0x00, 0x7B}));
    chip->clearLog();
    EXPECT_EQ(write(ConfigId::SSB, 0xFE).code(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x01, 0x05, 0xFE}));
    chip->clearLog();

    EXPECT_EQ(valueOrCode(read(ConfigId::Manufacturer)), 0x58);
    const auto reqs = classRequests();
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD}));
    EXPECT_EQ(reqs[0].data, frame({0x05, 0x01, 0x30}));
    EXPECT_EQ(reqs[2].wLength, 1);
    chip->clearLog();
    EXPECT_EQ(valueOrCode(read(ConfigId::BootVersion)), 0x05);
    EXPECT_EQ(classRequests()[0].data, frame({0x05, 0x00, 0x00}));
}

TEST_F(FrameBytes, BlankCheckSendsItsRangeAndFetchesTheFirstUsedByteBeforeClearing) {
    open();
    EXPECT_TRUE(frames.blankCheck(0x0000, 0x8000).result.ok());
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x01, 0x00, 0x00, 0x7F, 0xFF}));
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS}));

    chip->flash()[0x1234] = 0x00;
    chip->clearLog();
    const BlankCheckResult used = frames.blankCheck(0x1000, 0x1000);
    EXPECT_EQ(used.result.code(), -errCHECK_ERASED);
    EXPECT_EQ(used.firstUsed, 0x1234);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD, DFU_CLRSTATUS}));
    EXPECT_EQ(classRequests()[2].wLength, 2);
    EXPECT_EQ(chip->state(), sim::dfuIDLE);
}

TEST_F(FrameBytes, DescriptorGivesTheIdentifiersAndIsLeftAloneOnFailure) {
    open();
    DeviceDescriptor d{};
    ASSERT_TRUE(link.getDeviceDescriptor(d));
    EXPECT_EQ(d[8] | d[9] << 8, kBootVendor);
    EXPECT_EQ(d[10] | d[11] << 8, kBootProduct);
    EXPECT_EQ(d[7], 32); // bMaxPacketSize0

    const DeviceDescriptor before = d;
    chip->faults().failDescriptorReads();
    EXPECT_FALSE(link.getDeviceDescriptor(d));
    EXPECT_EQ(d, before);
}
