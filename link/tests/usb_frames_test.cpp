// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes TUsb puts on the wire: the command frames.

#include "usb_fixture.h"

#include <numeric>

using namespace corvane;
using namespace corvane::testing;

using UsbFrames = UsbOnBench;

TEST_F(UsbFrames, ReadBlockSendsDisplayFrameStatusAndUploadAndFillsTheImageAtItsAddress) {
    std::iota(chip->flash().begin(), chip->flash().end(), 0);
    chip->eeprom()[0x3FF] = 0x34;
    open();
    ASSERT_EQ(usb.ReadBlock(0x7C00, 1024, MEM_FLASH, 0), 0);
    const auto reqs = classRequests();
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD}));
    EXPECT_EQ(reqs[0].data, frame({0x03, 0x00, 0x7C, 0x00, 0x7F, 0xFF}));
    EXPECT_EQ(reqs[1].wLength, 6);
    EXPECT_EQ(reqs[1].wIndex, 4) << "the record's index reaches the chip";
    EXPECT_EQ(reqs[2].wLength, 1024);
    EXPECT_TRUE(std::equal(images.FlashImage.begin() + 0x7C00, images.FlashImage.end(),
                           chip->flash().begin() + 0x7C00));
    EXPECT_EQ(images.FlashImage[0x7BFF], 0xFF); // untouched before the block

    chip->clearLog();
    ASSERT_EQ(usb.ReadBlock(0x0300, 256, MEM_EEPROM, 0), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x02, 0x03, 0x00, 0x03, 0xFF}));
    EXPECT_EQ(images.EepromImage[0x3FF], 0x34);

    // An offset moves the device range, not the image position. The chip
    // refuses 0xFC00 to 0xFFFF, which is what a real one does as well.
    chip->clearLog();
    EXPECT_EQ(usb.ReadBlock(0x7C00, 1024, MEM_FLASH, 0x8000), -sim::errADDRESS);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x00, 0xFC, 0x00, 0xFF, 0xFF}));
}

TEST_F(UsbFrames, ProgramBlockSendsHeaderDataAndSixteenPadBytes) {
    for (std::size_t i = 0; i < images.FlashImage.size(); ++i)
        images.FlashImage[i] = static_cast<std::uint8_t>(i * 7);
    images.EepromImage[0x1FF] = 0xAB;
    open();
    ASSERT_EQ(usb.ProgramBlock(0x0400, 1024, MEM_FLASH), 0);
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS}));
    Bytes expected = frame({0x01, 0x00, 0x04, 0x00, 0x07, 0xFF});
    expected.insert(expected.end(), images.FlashImage.begin() + 0x400, images.FlashImage.begin() + 0x800);
    expected.insert(expected.end(), 16, 0xFF);
    EXPECT_EQ(classRequests()[0].data, expected);
    EXPECT_TRUE(std::equal(chip->flash().begin() + 0x400, chip->flash().begin() + 0x800,
                           images.FlashImage.begin() + 0x400));

    chip->clearLog();
    ASSERT_EQ(usb.ProgramBlock(0x0100, 256, MEM_EEPROM), 0);
    expected = frame({0x01, 0x02, 0x01, 0x00, 0x01, 0xFF});
    expected.insert(expected.end(), images.EepromImage.begin() + 0x100, images.EepromImage.begin() + 0x200);
    expected.insert(expected.end(), 16, 0xFF);
    EXPECT_EQ(classRequests()[0].data, expected); // 304 bytes
    EXPECT_EQ(chip->eeprom()[0x1FF], 0xAB);
}

TEST_F(UsbFrames, ConfigByteFramesAndTheByteRead) {
    open();
    EXPECT_EQ(usb.WriteConfigByte(0x01, 0x05, 0xFE), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x01, 0x05, 0xFE}));
    chip->clearLog();

    EXPECT_EQ(usb.ReadConfigByte(0x01, 0x30), 0x58);
    const auto reqs = classRequests();
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD}));
    EXPECT_EQ(reqs[0].data, frame({0x05, 0x01, 0x30}));
    EXPECT_EQ(reqs[2].wLength, 1);
}

TEST_F(UsbFrames, DescriptorGivesVendorAndKeepsTheStoredOneOnFailure) {
    open();
    EXPECT_EQ(usb.GetDeviceDescriptor(), 0x03EB);
    EXPECT_EQ(usb.DevDesc[10] | usb.DevDesc[11] << 8, 0x2FFD);
    EXPECT_EQ(usb.DevDesc[7], 32); // bMaxPacketSize0

    const DeviceDescriptor before = usb.DevDesc;
    chip->faults().failDescriptorReads();
    EXPECT_EQ(usb.GetDeviceDescriptor(), -1);
    EXPECT_EQ(usb.DevDesc, before);
}
