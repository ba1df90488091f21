// SPDX-License-Identifier: GPL-3.0-or-later
// TUsb's results on every path: driver failure, reported status, failed status
// request, the erase polling and the clearing of an error state; with the
// frames of the commands that are judged by their outcome alone.

#include "usb_fixture.h"

using namespace corvane;
using namespace corvane::testing;

using UsbResults = UsbOnBench;

TEST_F(UsbResults, OpenNeedsASelectedNumberAndAnOccupiedSlotCloseClearsThePaneEveryTime) {
    for (int number : {-1, 3, 8}) { // none selected, an empty slot, out of range
        deviceNumber = number;
        EXPECT_FALSE(usb.OpenDevice()) << number;
        // Requests on a closed channel fail without reaching the chip.
        EXPECT_EQ(usb.GetStatus(), -1);
        EXPECT_EQ(usb.GetDeviceDescriptor(), -1);
        EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -1);
    }
    EXPECT_TRUE(chip->log().empty());
    deviceNumber = 0;
    open();
    usb.CloseDevice();
    EXPECT_FALSE(usb.isOpen());
    usb.CloseDevice();
    EXPECT_EQ(statusClears, 2);
    EXPECT_EQ(messagePumps, 2);
}

TEST_F(UsbResults, EachStepOfAProgramBlockMapsToItsResult) {
    open();
    chip->faults().failRequest(1);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -1); // command transfer failed
    chip->faults().clear();
    chip->faults().failRequest(2);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), 1); // status request failed
    chip->faults().clear();
    chip->faults().answerStatus(2, sim::errWRITE);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -sim::errWRITE);
}

TEST_F(UsbResults, ReadPathsStopAtTheFirstFailureAndLeaveTheImageAlone) {
    chip->flash()[0] = 0x11;
    open();
    chip->faults().answerUploadShort(3, 100);
    EXPECT_EQ(usb.ReadBlock(0, 1024, MEM_FLASH, 0), -1);
    EXPECT_EQ(images.FlashImage[0], 0xFF);
    chip->faults().failRequest(6); // the upload
    EXPECT_EQ(usb.ReadBlock(0, 1024, MEM_FLASH, 0), -1);
    EXPECT_EQ(images.FlashImage[0], 0xFF);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x31), 0xD7); // and the next read works

    chip->clearLog();
    chip->faults().restartCount();
    chip->faults().answerStatus(2, sim::errADDRESS);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -sim::errADDRESS);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_CLRSTATUS})) << "no upload after the error";
}

TEST_F(UsbResults, ErrorStatusIsClearedSoTheNextCommandIsAccepted) {
    open();
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFE);
    EXPECT_EQ(usb.ProgramBlock(0, 256, MEM_FLASH), -sim::errWRITE);
    EXPECT_EQ(kinds().back(), DFU_CLRSTATUS);
    EXPECT_EQ(chip->state(), sim::dfuIDLE);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x05), 0xFE);
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

TEST_F(UsbResults, EraseSendsItsFrameAndEndsAtTheFirstAnsweredStatus) {
    chip->flash()[5] = 0x00;
    open();
    EXPECT_EQ(usb.EraseChip(), 0);
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x00, 0xFF}));
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS}));
    EXPECT_EQ(chip->flash()[5], 0xFF);

    chip->clearLog();
    chip->faults().restartCount();
    chip->faults().failRequest(1); // an erase command that never arrived erased nothing
    EXPECT_EQ(usb.EraseChip(), -1);
    EXPECT_EQ(kinds().size(), 1u);
}

TEST_F(UsbResults, EraseOnABusyPollingChipWaitsUntilItHasEndedWithoutClearing) {
    sim::ChipConfig c;
    c.eraseMode = sim::EraseMode::BusyPolling;
    c.busyPolls = 3;
    chip = &bench.insert(0, c);
    open();
    EXPECT_EQ(usb.EraseChip(), 0);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_GETSTATUS, DFU_GETSTATUS, DFU_GETSTATUS}))
        << "a busy device is not told to clear";
}

TEST_F(UsbResults, StartApplicationSendsCommandThenEmptyDownloadReportingAFailure) {
    open();
    chip->faults().failRequest(1);
    EXPECT_EQ(usb.StartApplication(1, 0), -1);
    EXPECT_FALSE(chip->applicationRunning()); // the command was lost
    chip->clearLog();
    EXPECT_EQ(usb.StartApplication(1, 0x1234), 0);
    ASSERT_EQ(kinds(), (Bytes{DFU_DNLOAD, DFU_DNLOAD}));
    EXPECT_EQ(classRequests()[0].data, frame({0x04, 0x03, 0x01, 0x12, 0x34}));
    EXPECT_EQ(classRequests()[1].wLength, 0);
    EXPECT_TRUE(chip->applicationRunning());
    EXPECT_EQ(chip->startAddress(), 0x1234);
    // The bootloader has left: later requests fail.
    EXPECT_EQ(usb.GetStatus(), -1);
    EXPECT_EQ(usb.ReadConfigByte(1, 0x30), -1);
}
