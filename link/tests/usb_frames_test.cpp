// The bytes TUsb puts on the wire: the request record and the command frames.

#include "usb_fixture.h"

#include <numeric>

namespace corvane::testing {
namespace {

using sim::LoggedRequest;

TEST(ClassRequestRecord, SetupRequestFillsTheTenByteRecordForEachKind) {
    sim::SimBench bench;
    sim::SimLink link(bench);
    MemoryImages images;
    TUsb usb(link, images);

    using Bytes = std::array<std::uint8_t, 10>;
    usb.SetupRequest(DFU_DNLOAD);
    EXPECT_EQ(usb.Setup.bytes(), (Bytes{0x00, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(usb.Setup.bmRequestType(), 0x21);
    usb.SetupRequest(DFU_UPLOAD);
    EXPECT_EQ(usb.Setup.bytes(), (Bytes{0x01, 0x01, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(usb.Setup.bmRequestType(), 0xA1);
    usb.SetupRequest(DFU_GETSTATUS);
    EXPECT_EQ(usb.Setup.bytes(), (Bytes{0x01, 0x01, 0x01, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00}));

    for (std::uint8_t kind : {DFU_DETACH, DFU_CLRSTATUS, DFU_ABORT}) {
        usb.SetupRequest(kind);
        EXPECT_EQ(usb.Setup.Direction, 0) << int(kind);
    }
    usb.SetupRequest(DFU_GETSTATE);
    EXPECT_EQ(usb.Setup.Direction, 1);
}

using UsbFrames = UsbOnBench;

TEST_F(UsbFrames, ReadBlockSendsDisplayFrameStatusAndUploadAndFillsTheImageAtItsAddress) {
    std::iota(chip->flash().begin(), chip->flash().end(), 0);
    open();
    ASSERT_EQ(usb.ReadBlock(0x7C00, 1024, MEM_FLASH, 0), 0);

    const auto reqs = classRequests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].bRequest, DFU_DNLOAD);
    EXPECT_EQ(reqs[0].data, frame({0x03, 0x00, 0x7C, 0x00, 0x7F, 0xFF}));
    EXPECT_EQ(reqs[1].bRequest, DFU_GETSTATUS);
    EXPECT_EQ(reqs[1].wLength, 6);
    EXPECT_EQ(reqs[2].bRequest, DFU_UPLOAD);
    EXPECT_EQ(reqs[2].wLength, 1024);
    EXPECT_TRUE(std::equal(images.FlashImage.begin() + 0x7C00, images.FlashImage.end(),
                           chip->flash().begin() + 0x7C00));
    EXPECT_EQ(images.FlashImage[0x7BFF], 0xFF); // untouched before the block
}

TEST_F(UsbFrames, ReadBlockOfEepromUsesSelectorTwo) {
    chip->eeprom()[0x300] = 0x12;
    chip->eeprom()[0x3FF] = 0x34;
    open();
    ASSERT_EQ(usb.ReadBlock(0x0300, 256, MEM_EEPROM, 0), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x02, 0x03, 0x00, 0x03, 0xFF}));
    EXPECT_EQ(images.EepromImage[0x300], 0x12);
    EXPECT_EQ(images.EepromImage[0x3FF], 0x34);
}

TEST_F(UsbFrames, ReadBlockOffsetMovesTheDeviceRangeButNotTheImagePositionAndEndWraps) {
    open();
    // 0x7C00 + 0x8000 = 0xFC00; its end address wraps to 0xFFFF. The chip
    // refuses that range, which is what a real one does as well.
    EXPECT_EQ(usb.ReadBlock(0x7C00, 1024, MEM_FLASH, 0x8000), -sim::errADDRESS);
    EXPECT_EQ(classRequests()[0].data, frame({0x03, 0x00, 0xFC, 0x00, 0xFF, 0xFF}));
}

TEST_F(UsbFrames, ProgramBlockSendsHeaderDataAndSixteenPadBytes) {
    for (std::size_t i = 0; i < images.FlashImage.size(); ++i)
        images.FlashImage[i] = static_cast<std::uint8_t>(i * 7);
    open();
    ASSERT_EQ(usb.ProgramBlock(0x0400, 1024, MEM_FLASH), 0);

    const auto reqs = classRequests();
    ASSERT_EQ(reqs.size(), 2u);
    ASSERT_EQ(reqs[0].data.size(), 1072u);
    std::vector<std::uint8_t> expected = frame({0x01, 0x00, 0x04, 0x00, 0x07, 0xFF});
    expected.insert(expected.end(), images.FlashImage.begin() + 0x400, images.FlashImage.begin() + 0x800);
    expected.insert(expected.end(), 16, 0xFF);
    EXPECT_EQ(reqs[0].data, expected);
    EXPECT_EQ(reqs[1].bRequest, DFU_GETSTATUS);
    EXPECT_TRUE(std::equal(chip->flash().begin() + 0x400, chip->flash().begin() + 0x800,
                           images.FlashImage.begin() + 0x400));
}

TEST_F(UsbFrames, ProgramBlockOfEepromSends304Bytes) {
    images.EepromImage[0x100] = 0xAB;
    open();
    ASSERT_EQ(usb.ProgramBlock(0x0100, 256, MEM_EEPROM), 0);
    const auto sent = classRequests()[0].data;
    ASSERT_EQ(sent.size(), 304u);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + 32),
              frame({0x01, 0x02, 0x01, 0x00, 0x01, 0xFF}));
    EXPECT_EQ(sent[32], 0xAB);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.end() - 16, sent.end()), std::vector<std::uint8_t>(16, 0xFF));
    EXPECT_EQ(chip->eeprom()[0x100], 0xAB);
}

TEST_F(UsbFrames, ConfigByteFramesAndTheByteRead) {
    open();
    EXPECT_EQ(usb.WriteConfigByte(0x01, 0x05, 0xFE), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x01, 0x05, 0xFE}));
    chip->clearLog();

    EXPECT_EQ(usb.ReadConfigByte(0x01, 0x30), 0x58);
    const auto reqs = classRequests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].data, frame({0x05, 0x01, 0x30}));
    EXPECT_EQ(reqs[2].bRequest, DFU_UPLOAD);
    EXPECT_EQ(reqs[2].wLength, 1);
}

TEST_F(UsbFrames, StartApplicationSendsCommandThenEmptyDownloadAndTheChipLeaves) {
    open();
    usb.StartApplication(1, 0x1234);
    auto reqs = classRequests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].data, frame({0x04, 0x03, 0x01, 0x12, 0x34}));
    EXPECT_EQ(reqs[1].bRequest, DFU_DNLOAD);
    EXPECT_EQ(reqs[1].wLength, 0);
    EXPECT_TRUE(chip->applicationRunning());
    EXPECT_EQ(chip->startAddress(), 0x1234);

    chip->reset(); // BLJB programmed: the bootloader is back
    chip->clearLog();
    open();
    usb.StartApplication(0, 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(chip->startMode(), 0);
}

TEST_F(UsbFrames, EraseChipSendsEraseFrameAndPollsUntilTheFirstAnsweredStatus) {
    chip->flash()[5] = 0x00;
    open();
    EXPECT_EQ(usb.EraseChip(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x00, 0xFF}));
    EXPECT_EQ(kinds(), (std::vector<std::uint8_t>{DFU_DNLOAD, DFU_GETSTATUS}));
    EXPECT_EQ(chip->flash()[5], 0xFF);
}

TEST_F(UsbFrames, DescriptorGivesVendorAndKeepsTheStoredOneOnFailure) {
    open();
    EXPECT_EQ(usb.GetDeviceDescriptor(), 0x03EB);
    EXPECT_EQ(usb.DevDesc[10], 0xFD);
    EXPECT_EQ(usb.DevDesc[11], 0x2F);
    EXPECT_EQ(usb.DevDesc[7], 32); // bMaxPacketSize0

    const DeviceDescriptor before = usb.DevDesc;
    chip->faults().failDescriptorReads();
    EXPECT_EQ(usb.GetDeviceDescriptor(), -1);
    EXPECT_EQ(usb.DevDesc, before);
}

TEST_F(UsbFrames, ClassRequestsCarryTheRecordsIndexToTheInProcessChip) {
    open();
    usb.GetStatus();
    EXPECT_EQ(classRequests()[0].wIndex, 4);
    EXPECT_EQ(classRequests()[0].bmRequestType, 0xA1);
}

} // namespace
} // namespace corvane::testing
