// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb backend against simulated chips, through the libusb stand-in.

#include "core/chip_table.h"
#include "link/boot_frames.h"
#include "link/dfu_requests.h"
#include "link/libusb_link.h"
#include "sim/bench.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The byte read, or the link's integer code of the failure.
int valueOrCode(const ByteRead& r) {
    return r.result.ok() ? int(r.value) : r.result.code();
}

// A bench in a fresh state folder, which the stand-in reads.
class LibusbOnBench : public ::testing::Test {
protected:
    LibusbOnBench() {
        std::string name = (std::filesystem::temp_directory_path() / "corvane-libusb-XXXXXX").string();
        dir = ::mkdtemp(name.data());
        ::setenv("CORVANE_SIM_DIR", dir.c_str(), 1);
        ::unsetenv("CORVANE_SIM_CONFIG");
    }
    // Refuses to run against a real libusb: these tests open devices.
    void SetUp() override {
        ASSERT_NE(dlsym(RTLD_DEFAULT, "corvane_standin_active"), nullptr)
            << "the libusb stand-in is not loaded; refusing to touch real USB devices";
    }
    ~LibusbOnBench() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        ::unsetenv("CORVANE_SIM_DIR");
    }

    void benchFile(const std::string& text) const { std::ofstream(dir / "bench.conf") << text; }
    // The chips as the stand-in left them in the state folder.
    std::unique_ptr<sim::SimBench> stored() const { return sim::SimBench::fromFolder(dir); }

    std::filesystem::path dir;
};

TEST_F(LibusbOnBench, NumbersFollowBusThenPortPathAndOpenClaimsTheInterfaceOrTellsARefusalApart) {
    benchFile("[slot 0]\nbus = 2\nports = 1\nkernel-driver = yes\n"
              "[slot 1]\nbus = 1\nports = 3.2\n"
              "[slot 2]\nbus = 1\nports = 3\nproduct = 2FFE\n"
              "[slot 5]\nbus = 1\nports = 1.7\nrefuse-open = yes\n"
              "[foreign]\ndevice = 1D6B:0002 bus=1 ports=2\ndevice = 046D:C52B bus=1 ports=1.1\n");
    LibusbLink link;
    const auto list = link.attachedDevices();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].ports, (std::vector<std::uint8_t>{1, 7}));
    EXPECT_EQ(list[1].ports, (std::vector<std::uint8_t>{3}));
    EXPECT_EQ(list[1].productId, 0x2FFE);
    EXPECT_EQ(list[2].ports, (std::vector<std::uint8_t>{3, 2}));
    EXPECT_EQ(list[3].bus, 2);

    // Number 3 is the chip of slot 0 on bus 2, with a kernel driver bound to
    // its interface: tell it by its contents.
    stored()->chip(0)->eeprom()[0] = 0xB2;
    ASSERT_TRUE(link.open(3)) << link.lastError();
    BootFrames frames(link);
    frames.channelOpened();
    Bytes block(256);
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Eeprom).code(), 0);
    EXPECT_EQ(block[0], 0xB2);
    link.close();
    DeviceDescriptor d{};
    EXPECT_FALSE(link.getDeviceDescriptor(d));

    EXPECT_FALSE(link.open(0));
    EXPECT_EQ(link.lastOpenFailure(), OpenFailure::AccessDenied);
    EXPECT_NE(link.lastError().find("LIBUSB_ERROR_ACCESS"), std::string::npos);
    EXPECT_FALSE(link.open(4));
    EXPECT_EQ(link.lastOpenFailure(), OpenFailure::NotFound);
    EXPECT_FALSE(link.open(-1));
}

// What makes the backend send its requests to the claimed interface 0 rather
// than to the record's index 4: the stand-in refuses both, as Linux does.
TEST_F(LibusbOnBench, InterfaceRuleRefusesTheRecordsIndexAndUnclaimedInterfaces) {
    benchFile("[slot 0]\n");
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device_handle* h = libusb_open_device_with_vid_pid(ctx, 0x03EB, 0x2FFD);
    ASSERT_NE(h, nullptr);
    std::uint8_t status[6]{};
    EXPECT_LT(libusb_control_transfer(h, 0xA1, DFU_GETSTATUS, 0, 0, status, 6, 1000), 0); // not claimed yet
    ASSERT_EQ(libusb_claim_interface(h, 0), 0);
    EXPECT_LT(libusb_control_transfer(h, 0xA1, DFU_GETSTATUS, 0, 4, status, 6, 1000), 0);
    EXPECT_EQ(libusb_control_transfer(h, 0xA1, DFU_GETSTATUS, 0, 0, status, 6, 1000), 6);
    EXPECT_EQ(libusb_claim_interface(h, 1), LIBUSB_ERROR_NOT_FOUND);
    libusb_release_interface(h, 0);
    libusb_close(h);
    libusb_exit(ctx);
}

TEST_F(LibusbOnBench, FailuresReachTheCallerWithLibusbsErrorName) {
    benchFile("[slot 0]\nfail-descriptor = yes\nstatus = 3:7\nshort-upload = 7:10\n");
    LibusbLink link;
    ASSERT_TRUE(link.open(0));
    BootFrames frames(link);
    frames.channelOpened();
    DeviceDescriptor d{};
    EXPECT_FALSE(link.getDeviceDescriptor(d)); // request 1
    EXPECT_NE(link.lastError().find("LIBUSB_ERROR_IO"), std::string::npos);
    const ConfigByteInfo& eb = configByte(ConfigId::EB);
    EXPECT_EQ(frames.writeConfigByte(eb.area, eb.index, 0x12).code(), -7); // 2, 3 and the clearing 4
    Bytes block(16);
    EXPECT_EQ(frames.readBlock(0, block, BootMemory::Flash).code(), -1); // 5, 6 and the short upload 7
    EXPECT_NE(link.lastError().find("short answer"), std::string::npos);
}

// The same operations over both backends on equal chips give equal results
// and leave equal chips.
TEST_F(LibusbOnBench, BothBackendsAgreeOnTheSameChip) {
    const std::string conf = "[slot 0]\ncontroller = AT89C5130\nssb = FF\n";
    benchFile(conf);
    const auto otherDir = dir / "in-process";
    std::filesystem::create_directories(otherDir);
    std::ofstream(otherDir / "bench.conf") << conf;

    auto run = [](DeviceLink& link) {
        Bytes flash(chipVariant(1).flashSize);
        for (std::size_t i = 0; i < flash.size(); ++i)
            flash[i] = static_cast<std::uint8_t>(i * 13 + 1);
        const auto block = [&](std::size_t a, std::size_t n) { return std::span(flash).subspan(a, n); };
        std::vector<int> r{link.open(0)};
        BootFrames frames(link);
        frames.channelOpened();
        DeviceDescriptor d{};
        r.push_back(link.getDeviceDescriptor(d) ? d[8] | d[9] << 8 : -1);
        r.push_back(frames.eraseChip().code());
        for (std::size_t a = 0; a < flash.size(); a += kFlashBlock)
            r.push_back(
                frames.programBlock(std::uint16_t(a), block(a, kFlashBlock), BootMemory::Flash).code());
        const Bytes settings(kEepromBlock, 0xFF);
        r.push_back(frames.programBlock(0, settings, BootMemory::Eeprom).code());
        const ConfigByteInfo& ssb = configByte(ConfigId::SSB);
        r.push_back(frames.writeConfigByte(ssb.area, ssb.index, 0xFE).code());
        r.push_back(frames.programBlock(0, block(0, kFlashBlock), BootMemory::Flash).code()); // locked now
        const ConfigByteInfo& manufacturer = configByte(ConfigId::Manufacturer);
        r.push_back(valueOrCode(frames.readConfigByte(manufacturer.area, manufacturer.index)));
        r.push_back(valueOrCode(frames.readConfigByte(3, 0x00))); // no such byte
        Bytes back(kFlashBlock);
        r.push_back(frames.readBlock(0x3C00, back, BootMemory::Flash).code());
        r.push_back(back.back());
        frames.startApplication(wire::kStartJump, 0x0000);
        r.push_back(dfu::getStatus(link).ok());
        return r;
    };

    const std::vector<int> viaLibusb = [&] {
        LibusbLink link;
        return run(link);
    }();
    auto bench = sim::SimBench::fromFolder(otherDir);
    sim::SimLink inProcess(*bench);
    EXPECT_EQ(viaLibusb, run(inProcess));
    EXPECT_EQ(viaLibusb[1], kBootVendor);
    EXPECT_EQ(viaLibusb.back(), 0); // the application runs: no status
    const auto viaLibusbBench = stored();
    EXPECT_EQ(viaLibusbBench->chip(0)->flash(), bench->chip(0)->flash());
    EXPECT_EQ(viaLibusbBench->chip(0)->eeprom(), bench->chip(0)->eeprom());
    EXPECT_EQ(viaLibusbBench->chip(0)->configByte(sim::ConfigByte::SSB), 0xFE);
}

TEST_F(LibusbOnBench, StartedApplicationLeavesTheDeviceListUntilReset) {
    benchFile("[slot 0]\n");
    LibusbLink link;
    ASSERT_TRUE(link.open(0));
    BootFrames frames(link);
    frames.startApplication(wire::kStartReset, 0);
    EXPECT_EQ(dfu::getStatus(link).transfer, dfu::Transfer::Gone);
    EXPECT_NE(link.lastError().find("LIBUSB_ERROR_NO_DEVICE"), std::string::npos);
    link.close();
    EXPECT_TRUE(link.attachedDevices().empty());
    EXPECT_FALSE(link.open(0));

    stored()->chip(0)->reset();
    EXPECT_TRUE(link.open(0));
}

// A chip that keeps erasing while it answers, one that leaves the bus before
// RUN's last transfer completes, and threads on their own devices and on one
// handle.
TEST_F(LibusbOnBench, ABusyErasingChipIsPolledUntilItHasErased) {
    benchFile("[slot 0]\nerase = busy\nbusy-polls = 4\nfail-request = 3\n");
    LibusbLink link;
    ASSERT_TRUE(link.open(0)) << link.lastError();
    std::vector<int> waits;
    BootFrames frames(link, [&waits](int us) { waits.push_back(us); });
    EXPECT_TRUE(frames.eraseChip().ok());
    EXPECT_EQ(waits.size(), 5u) << "one lost status request and four busy answers";
    link.close();
    auto bench = stored();
    const auto& flash = bench->chip(0)->flash();
    EXPECT_TRUE(std::all_of(flash.begin(), flash.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(LibusbOnBench, RunOfAChipThatLeavesBeforeTheStatusStageSucceeds) {
    benchFile("[slot 0]\nleave-early = yes\n");
    LibusbLink link;
    ASSERT_TRUE(link.open(0)) << link.lastError();
    BootFrames frames(link);
    const StartResult r = frames.runApplication(wire::kStartJump, 0x0100);
    EXPECT_EQ(r.outcome, StartOutcome::LeftBus);
    EXPECT_TRUE(r.ok());
    link.close();
    auto bench = stored();
    EXPECT_TRUE(bench->chip(0)->applicationRunning());
    EXPECT_EQ(bench->chip(0)->startAddress(), 0x0100);
}

// Several threads, each on its own device with its own link, and two on one
// handle: every request reaches its chip (the stand-in holds no lock of its
// own while a chip serves a request; the bench serves one chip's in order).
TEST_F(LibusbOnBench, ThreadsOnTheirOwnDevicesAndOnOneHandleAllGetTheirAnswers) {
    benchFile("[slot 0]\n[slot 1]\n[slot 2]\n[slot 3]\n");
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int n = 0; n < 4; ++n) {
        threads.emplace_back([n, &good] {
            LibusbLink own;
            if (!own.open(n))
                return;
            BootFrames frames(own);
            const ConfigByteInfo& eb = configByte(ConfigId::EB);
            for (int i = 0; i < 50; ++i) {
                const auto value = static_cast<std::uint8_t>(n * 50 + i);
                const bool written = frames.writeConfigByte(eb.area, eb.index, value).ok();
                const ByteRead back = frames.readConfigByte(eb.area, eb.index);
                good[std::size_t(n)] += written && back.result.ok() && back.value == value;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(good, std::vector<int>(4, 50));

    // Two threads on one handle, as libusb allows: every request is served.
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device_handle* h = libusb_open_device_with_vid_pid(ctx, 0x03EB, 0x2FFD);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(libusb_claim_interface(h, 0), 0);
    std::vector<int> answered(2, 0);
    threads.clear();
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([h, t, &answered] {
            for (int i = 0; i < 100; ++i) {
                std::uint8_t status[6] = {};
                answered[std::size_t(t)] +=
                    libusb_control_transfer(h, wire::kClassIn, DFU_GETSTATUS, 0, 0, status, 6, 1000) == 6;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(answered, std::vector<int>(2, 100));
    libusb_release_interface(h, 0);
    libusb_close(h);
    libusb_exit(ctx);
}

} // namespace
} // namespace corvane
