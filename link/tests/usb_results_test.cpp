// TUsb's results on every path: driver failure, reported status, failed status
// request, the erase polling, and the clearing of an error state.

#include "usb_fixture.h"

namespace corvane::testing {
namespace {

using UsbResults = UsbOnBench;

TEST_F(UsbResults, OpenDeviceNeedsASelectedNumberAndAnOccupiedSlot) {
    deviceNumber = -1;
    EXPECT_FALSE(usb.OpenDevice());
    deviceNumber = 3; // empty slot
    EXPECT_FALSE(usb.OpenDevice());
    EXPECT_FALSE(usb.isOpen());
    EXPECT_FALSE(link.lastError().empty());
    deviceNumber = 0;
    EXPECT_TRUE(usb.OpenDevice());
    EXPECT_TRUE(usb.isOpen());
}

TEST_F(UsbResults, CloseDeviceClearsThePaneEveryTimeAndClosesOnce) {
    open();
    usb.CloseDevice();
    EXPECT_FALSE(usb.isOpen());
    usb.CloseDevice();
    EXPECT_EQ(statusClears, 2);
    EXPECT_EQ(messagePumps, 2);
}

TEST_F(UsbResults, RequestsOnAClosedChannelFailWithoutReachingTheChip) {
    EXPECT_EQ(usb.GetStatus(), -1);
    EXPECT_EQ(usb.GetDeviceDescriptor(), -1);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -1);
    EXPECT_TRUE(chip->log().empty());
}

TEST_F(UsbResults, GetStatusGivesTheStatusByteOrMinusOne) {
    open();
    EXPECT_EQ(usb.GetStatus(), 0);
    chip->faults().restartCount();
    chip->faults().answerStatus(1, 0x0A);
    EXPECT_EQ(usb.GetStatus(), 10);
    chip->faults().failRequest(3); // request 2 was the clearing
    EXPECT_EQ(usb.GetStatus(), -1);
}

TEST_F(UsbResults, EachStepOfAProgramBlockMapsToItsResult) {
    open();
    chip->faults().clear();
    chip->faults().failRequest(1);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -1); // command transfer failed

    chip->faults().clear();
    chip->faults().failRequest(2);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), 1); // status request failed

    chip->faults().clear();
    chip->faults().answerStatus(2, sim::errWRITE);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -3);
}

TEST_F(UsbResults, ReadPathsStopAtTheFirstFailure) {
    open();
    chip->faults().restartCount();
    chip->faults().failRequest(3); // the upload
    EXPECT_EQ(usb.ReadBlock(0, 1024, MEM_FLASH, 0), -1);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x31), 0xD7); // and the next read works

    chip->clearLog();
    chip->faults().restartCount();
    chip->faults().answerStatus(2, sim::errADDRESS);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -8);
    // No upload after the error, only the clearing.
    EXPECT_EQ(kinds(), (std::vector<std::uint8_t>{DFU_DNLOAD, DFU_GETSTATUS, DFU_CLRSTATUS}));
}

TEST_F(UsbResults, ErrorStatusIsClearedSoTheNextCommandIsAccepted) {
    open();
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFE);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -sim::errWRITE);
    EXPECT_EQ(kinds().back(), DFU_CLRSTATUS);
    EXPECT_EQ(chip->state(), sim::dfuIDLE);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x05), 0xFE);
}

TEST_F(UsbResults, ShortUploadIsAFailedRequestAndLeavesTheImageAlone) {
    chip->flash()[0] = 0x11;
    open();
    chip->faults().restartCount();
    chip->faults().answerUploadShort(3, 100);
    EXPECT_EQ(usb.ReadBlock(0, 1024, MEM_FLASH, 0), -1);
    EXPECT_EQ(images.FlashImage[0], 0xFF);
}

TEST_F(UsbResults, BlocksOutsideTheImageOrLongerThanABufferAreRefusedBeforeSending) {
    open();
    EXPECT_EQ(usb.ReadBlock(0x7C01, 1024, MEM_FLASH, 0), -1);
    EXPECT_EQ(usb.ReadBlock(0, 1025, MEM_FLASH, 0), -1);
    EXPECT_EQ(usb.ProgramBlock(0x0300, 512, MEM_EEPROM), -1);
    EXPECT_EQ(usb.ProgramBlock(0, 0, MEM_FLASH), -1);
    EXPECT_EQ(usb.ReadBlock(0, 16, 7, 0), -1);
    EXPECT_TRUE(chip->log().empty());
}

TEST_F(UsbResults, EraseStopsAtTheFirstAnsweredStatusWhateverItSays) {
    open();
    chip->faults().restartCount();
    chip->faults().failRequest(2, 499);
    EXPECT_EQ(usb.EraseChip(), 0);
    const auto k = kinds();
    EXPECT_EQ(std::count(k.begin(), k.end(), DFU_GETSTATUS), 500);

    chip->clearLog();
    chip->faults().clear();
    chip->faults().failRequest(1); // the erase command itself is not examined
    chip->faults().answerStatus(2, sim::errERASE);
    EXPECT_EQ(usb.EraseChip(), -sim::errERASE);
}

TEST_F(UsbResults, EraseGivesPlusOneWhenAllFiveHundredStatusRequestsFail) {
    open();
    chip->faults().restartCount();
    chip->faults().failRequest(2, 500);
    EXPECT_EQ(usb.EraseChip(), 1);
    const auto k = kinds();
    EXPECT_EQ(std::count(k.begin(), k.end(), DFU_GETSTATUS), 500);
    EXPECT_EQ(k.size(), 501u);
}

TEST_F(UsbResults, EraseOnABusyPollingChipReportsNotDoneWithoutClearing) {
    sim::ChipConfig c;
    c.eraseMode = sim::EraseMode::BusyPolling;
    chip = &bench.insert(0, c);
    open();
    EXPECT_EQ(usb.EraseChip(), -sim::errNOTDONE);
    EXPECT_EQ(kinds().back(), DFU_GETSTATUS); // a busy device is not told to clear
}

TEST_F(UsbResults, StartApplicationIgnoresFailuresAndLaterRequestsFail) {
    open();
    chip->faults().restartCount();
    chip->faults().failRequest(1);
    usb.StartApplication(1, 0);
    EXPECT_FALSE(chip->applicationRunning()); // the command was lost
    usb.StartApplication(1, 0x0100);
    EXPECT_TRUE(chip->applicationRunning());
    EXPECT_EQ(usb.GetStatus(), -1);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -1);
}

} // namespace
} // namespace corvane::testing
