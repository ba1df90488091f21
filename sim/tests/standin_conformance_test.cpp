// SPDX-License-Identifier: GPL-3.0-or-later
// A host tool that sends the shortest frame holding a command's bytes works
// on the bench: the stand-in driven through plain libusb calls; and the
// stand-in frees the devices a tool leaves referenced.

#include "core/chip_table.h"
#include "link/protocol.h"
#include "sim/bench.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

extern "C" int corvane_standin_live_devices(void);

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

class MinimalFrames : public ::testing::Test {
protected:
    MinimalFrames() {
        std::string name = (std::filesystem::temp_directory_path() / "corvane-frames-XXXXXX").string();
        dir = ::mkdtemp(name.data());
        ::setenv("CORVANE_SIM_DIR", dir.c_str(), 1);
        ::unsetenv("CORVANE_SIM_CONFIG");
    }
    void SetUp() override {
        ASSERT_NE(dlsym(RTLD_DEFAULT, "corvane_standin_active"), nullptr)
            << "the libusb stand-in is not loaded; refusing to touch real USB devices";
        ASSERT_EQ(libusb_init(&ctx), 0);
        libusb_device** list = nullptr;
        ASSERT_EQ(libusb_get_device_list(ctx, &list), 1);
        ASSERT_EQ(libusb_open(list[0], &handle), 0);
        libusb_free_device_list(list, 1);
        ASSERT_EQ(libusb_claim_interface(handle, 0), 0);
    }
    void TearDown() override {
        if (handle) {
            libusb_release_interface(handle, 0);
            libusb_close(handle);
        }
        if (ctx)
            libusb_exit(ctx);
    }
    ~MinimalFrames() override {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        ::unsetenv("CORVANE_SIM_DIR");
    }

    int download(Bytes frame) {
        return libusb_control_transfer(handle, wire::kClassOut, DFU_DNLOAD, 0, 0, frame.data(),
                                       static_cast<std::uint16_t>(frame.size()), 1000);
    }
    // The status byte, or -1 when the request failed.
    int status() {
        std::uint8_t answer[6] = {};
        if (libusb_control_transfer(handle, wire::kClassIn, DFU_GETSTATUS, 0, 0, answer, 6, 1000) != 6)
            return -1;
        if (answer[0] != OK)
            libusb_control_transfer(handle, wire::kClassOut, DFU_CLRSTATUS, 0, 0, nullptr, 0, 1000);
        return answer[0];
    }
    Bytes upload(std::uint16_t length) {
        Bytes into(length);
        const int n =
            libusb_control_transfer(handle, wire::kClassIn, DFU_UPLOAD, 0, 0, into.data(), length, 1000);
        into.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return into;
    }
    // A command, its status, and for read commands its answer.
    int command(const Bytes& frame) {
        if (download(frame) != static_cast<int>(frame.size()))
            return -1;
        return status();
    }
    // A read or write command naming a byte by its area and index, then rest.
    static Bytes byteFrame(std::uint8_t kind, ConfigId id, std::initializer_list<std::uint8_t> rest = {}) {
        Bytes f = {kind, configByte(id).area, configByte(id).index};
        f.insert(f.end(), rest);
        return f;
    }
    int readByte(ConfigId id) {
        if (command(byteFrame(READ_COMMAND, id)) != OK)
            return -1;
        const Bytes b = upload(1);
        return b.size() == 1 ? b[0] : -1;
    }
    // Header of 6 bytes, zeros up to byte 32, the data, then the suffix.
    static Bytes programFrame(std::uint8_t selector, std::uint16_t start, const Bytes& data, bool suffix) {
        const auto end = static_cast<std::uint16_t>(start + data.size() - 1);
        Bytes f = {PROGRAM_DATA,
                   selector,
                   static_cast<std::uint8_t>(start >> 8),
                   static_cast<std::uint8_t>(start),
                   static_cast<std::uint8_t>(end >> 8),
                   static_cast<std::uint8_t>(end)};
        f.resize(wire::kProgramData, 0);
        f.insert(f.end(), data.begin(), data.end());
        if (suffix)
            f.insert(f.end(), wire::kProgramSuffix, 0xFF);
        return f;
    }
    Bytes display(std::uint8_t selector, std::uint16_t start, std::uint16_t length) {
        const auto end = static_cast<std::uint16_t>(start + length - 1);
        if (command({DISPLAY_DATA, selector, static_cast<std::uint8_t>(start >> 8),
                     static_cast<std::uint8_t>(start), static_cast<std::uint8_t>(end >> 8),
                     static_cast<std::uint8_t>(end)}) != OK)
            return {};
        return upload(length);
    }
    std::unique_ptr<sim::SimBench> stored() const { return sim::SimBench::fromFolder(dir); }

    std::filesystem::path dir;
    libusb_context* ctx = nullptr;
    libusb_device_handle* handle = nullptr;
};

TEST_F(MinimalFrames, EraseProgramAndDisplayFlashAndEeprom) {
    EXPECT_EQ(command({WRITE_COMMAND, wire::kWriteErase, wire::kChipErase}), OK);

    const Bytes code = {0x02, 0x00, 0x30, 0x75, 0x81, 0x07};
    EXPECT_EQ(command(programFrame(wire::kSelectFlash, 0x0000, code, true)), OK);
    EXPECT_EQ(display(wire::kSelectFlash, 0x0000, 6), code);
    // Without the suffix the data is still taken from byte 32 on.
    const Bytes more = {0xAA, 0x55};
    EXPECT_EQ(command(programFrame(wire::kSelectFlash, 0x7FFE, more, false)), OK);
    EXPECT_EQ(display(wire::kSelectFlash, 0x7FFE, 2), more);

    const Bytes settings = {1, 2, 3};
    EXPECT_EQ(command(programFrame(wire::kSelectEeprom, 0x03FD, settings, true)), OK);
    EXPECT_EQ(display(wire::kSelectEeprom, 0x03FD, 3), settings);

    TearDown();
    handle = nullptr;
    ctx = nullptr;
    auto bench = stored();
    EXPECT_EQ(Bytes(bench->chip(0)->flash().begin(), bench->chip(0)->flash().begin() + 6), code);
    EXPECT_EQ(bench->chip(0)->eeprom()[0x3FF], 3);
}

TEST_F(MinimalFrames, ConfigurationWritesAndStartTakeTheirShortFrames) {
    EXPECT_EQ(command(byteFrame(WRITE_COMMAND, ConfigId::EB, {0x5A})), OK);
    EXPECT_EQ(readByte(ConfigId::EB), 0x5A);
    EXPECT_EQ(command(byteFrame(WRITE_COMMAND, ConfigId::SBV)), OK) << "value byte read as 0";
    EXPECT_EQ(readByte(ConfigId::SBV), 0x00);
    EXPECT_EQ(command(byteFrame(WRITE_COMMAND, ConfigId::HSB, {0x7B})), OK);
    EXPECT_EQ(readByte(ConfigId::HSB), 0x7B);

    EXPECT_EQ(command({WRITE_COMMAND, wire::kWriteStart, wire::kStartJump, 0x12, 0x34}), OK);
    EXPECT_EQ(download({}), 0);
    TearDown();
    handle = nullptr;
    ctx = nullptr;
    auto bench = stored();
    EXPECT_TRUE(bench->chip(0)->applicationRunning());
    EXPECT_EQ(bench->chip(0)->startAddress(), 0x1234);
}

// As with a real interface: one handle claims it, another is refused busy
// until the first lets go.
TEST_F(MinimalFrames, ASecondHandleIsRefusedTheInterfaceUntilTheFirstReleasesIt) {
    libusb_device_handle* other = libusb_open_device_with_vid_pid(ctx, 0x03EB, 0x2FFD);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(libusb_claim_interface(other, 0), LIBUSB_ERROR_BUSY);
    std::uint8_t answer[6] = {};
    EXPECT_LT(libusb_control_transfer(other, wire::kClassIn, DFU_GETSTATUS, 0, 0, answer, 6, 1000), 0);
    EXPECT_EQ(libusb_release_interface(handle, 0), 0);
    EXPECT_EQ(libusb_claim_interface(other, 0), 0);
    EXPECT_EQ(libusb_claim_interface(handle, 0), LIBUSB_ERROR_BUSY);
    libusb_release_interface(other, 0);
    libusb_close(other);
    EXPECT_EQ(libusb_claim_interface(handle, 0), 0);
}

TEST_F(MinimalFrames, FramesMissingBytesTheirCommandUsesAreRefused) {
    const Bytes tooShort[] = {
        {READ_COMMAND, configByte(ConfigId::Family).area},          // 2 of 3
        {WRITE_COMMAND, wire::kWriteStart, wire::kStartJump, 0x12}, // 4 of 5
        {DISPLAY_DATA, wire::kSelectFlash, 0x00, 0x00, 0x00},       // 5 of 6
        {PROGRAM_DATA, wire::kSelectFlash, 0x00, 0x00, 0x00, 0x00}, // no data at byte 32
        {0x07, 0x00, 0x00},                                         // no such command
    };
    for (const Bytes& f : tooShort) {
        EXPECT_NE(command(f), OK) << "frame of " << f.size() << " bytes, command " << int(f[0]);
        EXPECT_EQ(readByte(ConfigId::Family), 0xD7) << "and the next command works";
    }
}

TEST(StandinMemory, DevicesLeftReferencedAreFreedAtExit) {
    std::string name = (std::filesystem::temp_directory_path() / "corvane-exit-XXXXXX").string();
    const std::filesystem::path dir = ::mkdtemp(name.data());
    ::setenv("CORVANE_SIM_DIR", dir.c_str(), 1);
    std::ofstream(dir / "bench.conf") << "[slot 0]\n[slot 3]\n[foreign]\ndevice = 1D6B:0002 bus=1 ports=2\n";
    libusb_context* ctx = nullptr;
    ASSERT_EQ(libusb_init(&ctx), 0);
    libusb_device** list = nullptr;
    ASSERT_EQ(libusb_get_device_list(ctx, &list), 3);
    libusb_free_device_list(list, 0); // as some tools do: the devices stay referenced
    EXPECT_EQ(corvane_standin_live_devices(), 3);
    libusb_exit(ctx);
    EXPECT_EQ(corvane_standin_live_devices(), 0);

    // Lists freed the ordinary way leave nothing either.
    ASSERT_EQ(libusb_init(&ctx), 0);
    ASSERT_EQ(libusb_get_device_list(ctx, &list), 3);
    libusb_free_device_list(list, 1);
    EXPECT_EQ(corvane_standin_live_devices(), 0);
    libusb_exit(ctx);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    ::unsetenv("CORVANE_SIM_DIR");
}

} // namespace
} // namespace corvane
