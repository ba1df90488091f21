// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated chip's rules, driven through its control-transfer entry.

#include "link/class_request.h"
#include "sim/bench.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane::sim {
namespace {

class Chip : public ::testing::Test {
protected:
    using Bytes = std::vector<std::uint8_t>;

    static Bytes frame(std::initializer_list<std::uint8_t> head, std::size_t size = 32) {
        Bytes f(head);
        f.resize(size, 0);
        return f;
    }

    TransferResult download(Bytes data) {
        return chip.control({0x21, DFU_DNLOAD, 0, 0, static_cast<std::uint16_t>(data.size())}, data.data());
    }

    // Status byte and state byte of a status request; -1 if it failed.
    std::pair<int, int> status() {
        std::uint8_t a[6]{};
        const auto r = chip.control({0xA1, DFU_GETSTATUS, 0, 0, 6}, a);
        if (!r.ok())
            return {-1, -1};
        return {a[0], a[4]};
    }

    Bytes upload(std::uint16_t n) {
        Bytes b(n);
        const auto r = chip.control({0xA1, DFU_UPLOAD, 0, 0, n}, b.data());
        if (!r.ok())
            return {};
        b.resize(static_cast<std::size_t>(r.transferred));
        return b;
    }

    bool clear() { return chip.control({0x21, DFU_CLRSTATUS, 0, 0, 0}, nullptr).ok(); }

    // A command frame and its status: the status byte, or -1.
    int command(Bytes f) {
        if (!download(std::move(f)).ok())
            return -1;
        return status().first;
    }

    int readByte(std::uint8_t area, std::uint8_t index) {
        const int s = command(frame({0x05, area, index}));
        if (s != 0)
            return -s;
        const auto b = upload(1);
        return b.size() == 1 ? b[0] : -100;
    }

    int program(std::uint8_t sel, std::uint16_t start, const Bytes& data) {
        Bytes f =
            frame({0x01, sel, std::uint8_t(start >> 8), std::uint8_t(start),
                   std::uint8_t((start + data.size() - 1) >> 8), std::uint8_t(start + data.size() - 1)});
        f.insert(f.end(), data.begin(), data.end());
        f.insert(f.end(), 16, 0xFF);
        return command(f);
    }

    int display(std::uint8_t sel, std::uint16_t start, std::uint16_t end) {
        return command(frame({0x03, sel, std::uint8_t(start >> 8), std::uint8_t(start),
                              std::uint8_t(end >> 8), std::uint8_t(end)}));
    }

    SimChip chip;
};

TEST_F(Chip, FactoryStateIdentificationAndConfigurationReads) {
    EXPECT_EQ(readByte(0x01, 0x30), 0x58);
    EXPECT_EQ(readByte(0x01, 0x31), 0xD7);
    EXPECT_EQ(readByte(0x01, 0x60), chip.identification().productName);
    EXPECT_EQ(readByte(0x00, 0x00), chip.identification().bootloaderVersion);
    EXPECT_EQ(readByte(0x00, 0x01), chip.identification().bootId1);
    EXPECT_EQ(readByte(0x01, 0x05), 0xFF); // SSB
    EXPECT_EQ(readByte(0x02, 0x00), 0xBB); // HSB, BLJB programmed
    EXPECT_EQ(chip.configByte(ConfigByte::HSB) & 0x40, 0);
    EXPECT_EQ(readByte(0x01, 0x07), -errADDRESS);
    EXPECT_EQ(chip.flash().size(), 0x8000u);
    EXPECT_EQ(SimChip(ChipConfig::of(*Controller::named("AT89C5130"))).flash().size(), 0x4000u);
}

TEST_F(Chip, UploadReturnsTheRangeInOrderAcrossSeveralRequests) {
    for (std::size_t i = 0; i < chip.flash().size(); ++i)
        chip.flash()[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    ASSERT_EQ(display(0x00, 0x1000, 0x10FF), 0);
    Bytes got;
    for (int i = 0; i < 4; ++i) {
        const auto part = upload(64);
        ASSERT_EQ(part.size(), 64u);
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, Bytes(chip.flash().begin() + 0x1000, chip.flash().begin() + 0x1100));
    EXPECT_TRUE(upload(1).empty()); // nothing left: the request stalls
    EXPECT_EQ(chip.state(), dfuERROR);
}

TEST_F(Chip, RangesOutsideTheMemoryAnswerErrAddress) {
    SimChip small(ChipConfig::of(*Controller::named("AT89C5130")));
    std::swap(chip, small);
    EXPECT_EQ(display(0x00, 0x3C00, 0x3FFF), 0);
    EXPECT_TRUE(clear());
    EXPECT_EQ(display(0x00, 0x4000, 0x43FF), errADDRESS);
    EXPECT_TRUE(clear());
    EXPECT_EQ(program(0x02, 0x03FF, Bytes(2, 0)), errADDRESS);
    EXPECT_TRUE(clear());
    EXPECT_EQ(display(0x00, 0x0010, 0x000F), errADDRESS); // end before start
}

TEST_F(Chip, AnErrorIsKeptUntilClearStatus) {
    ASSERT_EQ(display(0x00, 0x8000, 0x8001), errADDRESS);
    EXPECT_EQ(status(), std::make_pair(int(errADDRESS), int(dfuERROR)));
    EXPECT_FALSE(download(frame({0x05, 0x01, 0x30})).ok()); // refused
    EXPECT_TRUE(upload(1).empty());
    EXPECT_TRUE(clear());
    EXPECT_EQ(status(), std::make_pair(0, int(dfuIDLE)));
    EXPECT_EQ(readByte(0x01, 0x30), 0x58);
}

TEST_F(Chip, ProgramTakesEepromSelectorOneAndTwo) {
    EXPECT_EQ(program(0x02, 0x0010, {1, 2, 3}), 0);
    EXPECT_EQ(program(0x01, 0x0020, {4, 5}), 0);
    EXPECT_EQ(program(0x00, 0x7FFE, {6, 7}), 0);
    EXPECT_EQ(chip.eeprom()[0x12], 3);
    EXPECT_EQ(chip.eeprom()[0x21], 5);
    EXPECT_EQ(chip.flash()[0x7FFF], 7);
    EXPECT_EQ(chip.flash()[0x0010], 0xFF);
}

TEST_F(Chip, StuckFlashCellsKeepTheirValueWhileProgrammingReportsSuccess) {
    BenchConfig config;
    ASSERT_TRUE(parseBenchConfig("[slot 0]\nstuck-flash = 0011, 0400\n", config));
    chip.faults() = config.faults[0];
    EXPECT_EQ(program(0x00, 0x0010, {1, 2, 3}), 0);
    EXPECT_EQ(program(0x02, 0x0011, {9}), 0); // EEPROM has no stuck cells
    EXPECT_EQ(chip.flash()[0x10], 1);
    EXPECT_EQ(chip.flash()[0x11], 0xFF);
    EXPECT_EQ(chip.flash()[0x12], 3);
    EXPECT_EQ(chip.eeprom()[0x11], 9);
}

TEST_F(Chip, ProgramFrameWithoutAllItsDataIsRefused) {
    Bytes f = frame({0x01, 0x00, 0x00, 0x00, 0x00, 0xFF});
    f.resize(32 + 100);
    EXPECT_EQ(command(f), errPROG);
    EXPECT_EQ(chip.flash()[0], 0xFF);
}

TEST_F(Chip, WriteProtectionRefusesEveryWriteButKeepsReads) {
    chip.flash()[0] = 0x42;
    ASSERT_EQ(command(frame({0x04, 0x01, 0x05, 0xFE})), 0);
    EXPECT_EQ(program(0x00, 0, {1}), errWRITE);
    clear();
    EXPECT_EQ(program(0x02, 0, {1}), errWRITE);
    clear();
    EXPECT_EQ(command(frame({0x04, 0x01, 0x00, 0x12})), errWRITE); // BSB
    clear();
    EXPECT_EQ(command(frame({0x04, 0x02, 0x00, 0xFF})), errWRITE); // HSB
    clear();
    EXPECT_EQ(command(frame({0x04, 0x00, 0x00})), errWRITE); // block erase
    clear();
    EXPECT_EQ(chip.configByte(ConfigByte::BSB), 0xFF);
    ASSERT_EQ(display(0x00, 0, 0), 0);
    EXPECT_EQ(upload(1), Bytes{0x42});
}

TEST_F(Chip, ReadProtectionAlsoRefusesMemoryReadsNotIdentification) {
    chip.setConfigByte(ConfigByte::SSB, 0xFC);
    EXPECT_EQ(display(0x00, 0, 0xFF), errVERIFY);
    clear();
    EXPECT_EQ(display(0x02, 0, 0xFF), errVERIFY);
    clear();
    EXPECT_EQ(readByte(0x01, 0x30), 0x58);
    EXPECT_EQ(readByte(0x01, 0x05), 0xFC);
    EXPECT_EQ(display(0x01, 0, 0x7FFF), 0); // the blank check stays allowed
}

TEST_F(Chip, SecurityByteCanOnlyBeRaised) {
    EXPECT_EQ(command(frame({0x04, 0x01, 0x05, 0xFE})), 0);
    EXPECT_EQ(command(frame({0x04, 0x01, 0x05, 0xFF})), errWRITE);
    clear();
    EXPECT_EQ(command(frame({0x04, 0x01, 0x05, 0xFD})), errWRITE);
    clear();
    EXPECT_EQ(command(frame({0x04, 0x01, 0x05, 0xFC})), 0);
    EXPECT_EQ(chip.securityLevel(), 0);
}

TEST_F(Chip, ChipEraseIsAlwaysAllowedAndClearsFlashAndSecurity) {
    chip.flash()[100] = 0;
    chip.eeprom()[3] = 0x33;
    chip.configBytes().SSB = 0xFC;
    chip.configBytes().BSB = 0x00;
    chip.configBytes().SBV = 0x12;
    chip.configBytes().EB = 0x34;
    EXPECT_EQ(command(frame({0x04, 0x00, 0xFF})), 0);
    EXPECT_EQ(chip.flash()[100], 0xFF);
    EXPECT_EQ(chip.configByte(ConfigByte::SSB), 0xFF);
    EXPECT_EQ(chip.configByte(ConfigByte::BSB), 0xFF);
    EXPECT_EQ(chip.configByte(ConfigByte::SBV), 0xFF);
    EXPECT_EQ(chip.configByte(ConfigByte::EB), 0x34);
    EXPECT_EQ(chip.eeprom()[3], 0x33);
    EXPECT_GE(chip.modelledFloor(), SimChip::kChipErase);
}

TEST_F(Chip, BlockErasesClearTheirRangeOnly) {
    chip.flash()[0x1FFF] = 0;
    chip.flash()[0x2000] = 0;
    chip.flash()[0x4000] = 0;
    EXPECT_EQ(command(frame({0x04, 0x00, 0x20})), 0);
    EXPECT_EQ(chip.flash()[0x1FFF], 0);
    EXPECT_EQ(chip.flash()[0x2000], 0xFF);
    EXPECT_EQ(command(frame({0x04, 0x00, 0x40})), 0);
    EXPECT_EQ(chip.flash()[0x4000], 0xFF);

    SimChip small(ChipConfig::of(*Controller::named("AT89C5130")));
    std::swap(chip, small);
    EXPECT_EQ(command(frame({0x04, 0x00, 0x40})), errADDRESS);
}

TEST_F(Chip, BlankCheckReportsTheFirstWrittenAddress) {
    EXPECT_EQ(display(0x01, 0, 0x7FFF), 0);
    chip.flash()[0x1234] = 0x00;
    chip.flash()[0x2000] = 0x00;
    EXPECT_EQ(display(0x01, 0x1000, 0x7FFF), errCHECK_ERASED);
    EXPECT_EQ(upload(2), (Bytes{0x12, 0x34}));
    EXPECT_TRUE(clear());
    EXPECT_EQ(display(0x01, 0x1235, 0x1FFF), 0);
}

TEST_F(Chip, BusyPollingEraseAnswersNotDoneWhileBusy) {
    ChipConfig c;
    c.eraseMode = EraseMode::BusyPolling;
    c.busyPolls = 2;
    chip = SimChip(c);
    ASSERT_TRUE(download(frame({0x04, 0x00, 0xFF})).ok());
    EXPECT_EQ(status(), std::make_pair(int(errNOTDONE), int(dfuDNBUSY)));
    EXPECT_FALSE(clear()); // a busy chip refuses the clearing
    EXPECT_EQ(status(), std::make_pair(int(errNOTDONE), int(dfuDNBUSY)));
    EXPECT_EQ(status(), std::make_pair(0, int(dfuDNLOAD_IDLE)));
}

TEST_F(Chip, StartApplicationLeavesTheBusAndResetBringsTheBootloaderBack) {
    ASSERT_EQ(command(frame({0x04, 0x03, 0x01, 0x01, 0x00})), 0);
    EXPECT_TRUE(chip.attached()); // not before the empty download
    ASSERT_TRUE(download({}).ok());
    EXPECT_FALSE(chip.attached());
    EXPECT_TRUE(chip.applicationRunning());
    EXPECT_EQ(chip.startAddress(), 0x0100);
    EXPECT_EQ(status().first, -1);

    chip.reset();
    EXPECT_TRUE(chip.attached());
    EXPECT_EQ(readByte(0x01, 0x30), 0x58);

    chip.configBytes().HSB = 0xFB; // BLJB unprogrammed: the application keeps the chip
    chip.reset();
    EXPECT_FALSE(chip.attached());
    EXPECT_TRUE(chip.applicationRunning());
}

// The reset form of the start command needs no address: its three bytes are
// the whole command, as some hosts send it; the jump form needs its address.
TEST_F(Chip, StartCommandTakesTheThreeByteResetFormAndTheFullJumpForm) {
    struct Form {
        Bytes frame;
        bool taken;
        int mode;
    };
    const Form forms[] = {
        {{0x04, 0x03, 0x00}, true, 0},
        {{0x04, 0x03, 0x00, 0x00, 0x00}, true, 0},
        {frame({0x04, 0x03, 0x00}), true, 0},
        {{0x04, 0x03, 0x01, 0x12, 0x34}, true, 1},
        {{0x04, 0x03, 0x01, 0x12}, false, -1},
        {{0x04, 0x03, 0x01}, false, -1},
        {{0x04, 0x03}, false, -1},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(::testing::PrintToString(f.frame));
        chip = SimChip();
        EXPECT_EQ(command(f.frame) == 0, f.taken);
        EXPECT_EQ(download({}).ok(), f.taken) << "the empty download after it";
        EXPECT_EQ(chip.applicationRunning(), f.taken);
        EXPECT_EQ(chip.startMode(), f.mode);
    }
}

TEST_F(Chip, AChipThatLeavesBeforeTheStatusStageFailsTheEmptyDownloadButStarts) {
    ChipConfig c;
    c.leavesBeforeStatus = true;
    chip = SimChip(c);
    ASSERT_EQ(command({0x04, 0x03, 0x00}), 0);
    EXPECT_EQ(download({}).error, TransferError::Io);
    EXPECT_FALSE(chip.attached());
    EXPECT_TRUE(chip.applicationRunning());
    EXPECT_EQ(status().first, -1) << "gone from the bus";

    chip = SimChip(c); // an empty download without a start command completes
    EXPECT_TRUE(download({}).ok());
    EXPECT_TRUE(chip.attached());
}

TEST_F(Chip, FaultsCountEveryRequestFromOne) {
    chip.faults().failRequest(2);
    chip.faults().answerUploadShort(3, 0);
    chip.faults().vanishAfter(5);
    DeviceDescriptor d{};
    EXPECT_TRUE(chip.control({0x80, 0x06, 0x0100, 0, 18}, d.data()).ok()); // 1
    EXPECT_FALSE(download(frame({0x05, 0x01, 0x30})).ok());                // 2: lost
    EXPECT_TRUE(upload(1).empty());                                        // 3: nothing pending
    EXPECT_TRUE(clear());                                                  // 4
    EXPECT_TRUE(download(frame({0x05, 0x01, 0x30})).ok());                 // 5, then gone
    EXPECT_FALSE(chip.attached());
    EXPECT_EQ(chip.faults().requestsSeen, 5);
    ASSERT_EQ(chip.log().size(), 5u);
    EXPECT_EQ(chip.log()[0].kind, LoggedRequest::Kind::Descriptor);
    EXPECT_FALSE(chip.log()[1].ok);
    EXPECT_EQ(chip.log()[4].data, frame({0x05, 0x01, 0x30}));
}

TEST_F(Chip, DescriptorsDescribeOneDfuInterface) {
    const auto d = chip.deviceDescriptor();
    EXPECT_EQ(d[8] | d[9] << 8, 0x03EB);
    EXPECT_EQ(d[10] | d[11] << 8, 0x2FFD);
    EXPECT_EQ(d[17], 1);
    const auto c = chip.configurationDescriptor();
    ASSERT_EQ(c.size(), std::size_t(c[2] | c[3] << 8));
    EXPECT_EQ(c[4], 1);  // one interface
    EXPECT_EQ(c[11], 0); // numbered 0
    EXPECT_EQ(c[14], 0xFE);
    EXPECT_EQ(c[15], 0x01);
}

TEST_F(Chip, TimingFloorAddsLatencyAndPagesForTheRequestsServed) {
    EXPECT_EQ(program(0x00, 0x0000, Bytes(1024, 0)), 0);
    // two requests, eight 128-byte pages
    EXPECT_EQ(chip.modelledFloor(), 2 * SimChip::kTransferLatency + 8 * SimChip::kPageProgram);
    chip.resetFloor();
    EXPECT_EQ(program(0x00, 0x007F, Bytes(2, 0)), 0); // straddles two pages
    EXPECT_EQ(chip.modelledFloor(), 2 * SimChip::kTransferLatency + 2 * SimChip::kPageProgram);
}

} // namespace
} // namespace corvane::sim
