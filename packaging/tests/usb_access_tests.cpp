// SPDX-License-Identifier: GPL-3.0-or-later
// What the user is told when the bootloader cannot be opened, through the real
// libusb backend running on the libusb stand-in and its simulated chips.

#include "image/memory_images.h"
#include "link/libusb_link.h"
#include "shell/window_ops.h"
#include "sim/bench.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

// Exported by the libusb stand-in only. Calling it makes the linker keep the
// stand-in ahead of the real library.
extern "C" int corvane_standin_active(void);

namespace corvane {
namespace {

// The operations' front end, keeping only what the user and the debug log see.
class SeenView : public OpsView, public MessagePresenter {
public:
    QStringList boxes;
    QStringList debugLines;

    void setStatusText(const QString&) override {}
    void processMessages() override {}
    void pause(int) override {}
    void progressChanged(const ProgressModel&) override {}
    void takeViewIntoImage(MemKind) override {}
    void refreshView(MemKind) override {}
    void addHexLine(std::int32_t) override {}
    void addDebugLine(const QString& line) override { debugLines << line; }
    MessagePresenter& messagePresenter() override { return *this; }
    int showMessageBox(const QString& caption, const QString& text, MessageKind, MessageButtons,
                       bool) override {
        boxes << caption + " | " + text;
        return MessageResult::Abort;
    }
};

// READ on device number `device`, as the window runs it.
void readDevice(DeviceLink& link, SeenView& view, int device) {
    MemoryImages images;
    TOperations ops(link, images, view);
    ops.Controls.setIndex(Ctl::cbDevice, device);
    ops.ButReadClick();
    EXPECT_FALSE(link.isOpen()) << "the channel must be closed after the operation";
}

class BootloaderAccess : public ::testing::Test {
protected:
    void SetUp() override {
        // These tests open USB devices: never let them reach real hardware.
        Dl_info where{};
        void* const init = dlsym(RTLD_DEFAULT, "libusb_init");
        ASSERT_TRUE(corvane_standin_active() == 1 && init && dladdr(init, &where) && where.dli_fname &&
                    std::string(where.dli_fname).find("standin") != std::string::npos)
            << "libusb is not the stand-in here; refusing to touch real USB devices";
        ASSERT_TRUE(state_.isValid());
        ::setenv("CORVANE_SIM_DIR", qPrintable(state_.path()), 1);
        ::unsetenv("CORVANE_SIM_CONFIG");
    }
    void TearDown() override { ::unsetenv("CORVANE_SIM_DIR"); }

    void bench(const char* text) { std::ofstream(state_.filePath("bench.conf").toStdString()) << text; }

    QTemporaryDir state_;
};

TEST_F(BootloaderAccess, OnlyTheRefusedOpenGetsThePermissionLineAndEveryFailureIsLogged) {
    // One window reading device after device: a refusal names its cause and
    // the rule and must not stick to the next device; other failures keep
    // their own message. The simulated bench tells the same as libusb.
    bench("[slot 0]\nrefuse-open = yes\n[slot 1]\nfail-descriptor = yes\n[slot 2]\n");
    struct Case {
        int device;
        const char* box; // how the message box starts; nothing when there is none
        bool namesRule;
        const char* logged; // what the one debug line holds; nothing when there is none
    };
    const Case cases[] = {
        {0, "USB-ERROR | USB-Device not found!\r", true, "LIBUSB_ERROR_ACCESS"},
        {1, "USB-ERROR | No 89C513x Bootloader found!\r", false, "LIBUSB_ERROR_"},
        {2, nullptr, false, nullptr},
        {7, "USB-ERROR | USB-Device not found!", false, "device number 7"},
    };
    LibusbLink link;
    const std::unique_ptr<sim::SimBench> simulated = sim::SimBench::fromEnvironment();
    sim::SimLink simLink(*simulated);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        SeenView seen, seenSimulated;
        readDevice(link, seen, c.device);
        readDevice(simLink, seenSimulated, c.device);
        EXPECT_EQ(seenSimulated.boxes, seen.boxes);
        EXPECT_EQ(seenSimulated.debugLines.size(), seen.debugLines.size());

        ASSERT_EQ(seen.boxes.size(), c.box ? 1 : 0) << qPrintable(seen.boxes.join('\n'));
        if (c.box) {
            const QString& box = seen.boxes.first();
            EXPECT_TRUE(box.startsWith(c.box)) << qPrintable(box);
            EXPECT_EQ(box.contains("denied") && box.contains("70-corvane.rules"), c.namesRule)
                << qPrintable(box);
        }
        ASSERT_EQ(seen.debugLines.size(), c.logged ? 1 : 0) << qPrintable(seen.debugLines.join('\n'));
        if (c.logged) {
            EXPECT_TRUE(seen.debugLines.first().contains(c.logged)) << qPrintable(seen.debugLines.first());
        }
    }
}

} // namespace
} // namespace corvane
