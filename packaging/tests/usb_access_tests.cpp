// What the user is told when the bootloader cannot be opened, through the real
// libusb backend running on the libusb stand-in and its simulated chips.

// The bench first: it has a member named like a Qt keyword macro.
#include "sim/bench.h"

#include "image/memory_images.h"
#include "link/libusb_link.h"
#include "link/usb.h"
#include "ops/operations.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

// Exported by the libusb stand-in only. Calling it makes the linker keep the
// stand-in ahead of the real library.
extern "C" int corvane_standin_active(void);

namespace corvane {
namespace {

// True when libusb's functions resolve to the stand-in in this process.
bool runningOnStandin() {
    Dl_info where{};
    void* const init = dlsym(RTLD_DEFAULT, "libusb_init");
    return corvane_standin_active() == 1 && init && dladdr(init, &where) && where.dli_fname &&
           std::string(where.dli_fname).find("standin") != std::string::npos;
}

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
        boxes << caption + QStringLiteral(" | ") + text;
        return MessageResult::Abort;
    }
};

class BootloaderAccess : public ::testing::Test {
protected:
    void SetUp() override {
        // These tests open USB devices: never let them reach real hardware.
        ASSERT_TRUE(runningOnStandin())
            << "libusb is not the stand-in here; refusing to touch real USB devices";
        ASSERT_TRUE(state_.isValid());
        ::setenv("CORVANE_SIM_DIR", qPrintable(state_.path()), 1);
        ::unsetenv("CORVANE_SIM_CONFIG");
    }
    void TearDown() override { ::unsetenv("CORVANE_SIM_DIR"); }

    void bench(const char* text) {
        std::ofstream(state_.filePath(QStringLiteral("bench.conf")).toStdString()) << text;
    }

    // READ on device number `device`, as the window runs it; returns the box texts.
    QStringList readDevice(int device) {
        LibusbLink link;
        MemoryImages images;
        TUsb usb(link, images);
        TOperations ops(usb, images, view_);
        ops.Controls.setIndex(Ctl::cbDevice, device);
        ops.ButReadClick();
        EXPECT_FALSE(link.isOpen()) << "the channel must be closed after the operation";
        return view_.boxes;
    }

    QTemporaryDir state_;
    SeenView view_;
};

TEST_F(BootloaderAccess, RefusedOpenKeepsTheMessageAndNamesTheCauseAndTheRule) {
    bench("[slot 0]\nrefuse-open = yes\n");
    const QStringList boxes = readDevice(0);
    ASSERT_EQ(boxes.size(), 1);
    const QStringList lines = boxes.first().split(QLatin1Char('\r'));
    ASSERT_EQ(lines.size(), 2) << qPrintable(boxes.first());
    EXPECT_EQ(lines[0], QStringLiteral("USB-ERROR | USB-Device not found!"));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("denied"))) << qPrintable(lines[1]);
    EXPECT_TRUE(lines[1].contains(QStringLiteral("70-corvane.rules"))) << qPrintable(lines[1]);
    ASSERT_EQ(view_.debugLines.size(), 1);
    EXPECT_TRUE(view_.debugLines.first().contains(QStringLiteral("LIBUSB_ERROR_ACCESS")))
        << qPrintable(view_.debugLines.first());
}

TEST_F(BootloaderAccess, PermissionLineAppearsOnlyForTheOpenThatWasRefused) {
    // A refused open, then a device number beyond the attached ones: that one
    // is simply not there.
    bench("[slot 0]\nrefuse-open = yes\n");
    LibusbLink link;
    MemoryImages images;
    TUsb usb(link, images);
    TOperations ops(usb, images, view_);
    ops.Controls.setIndex(Ctl::cbDevice, 0);
    ops.ButReadClick();
    ops.Controls.setIndex(Ctl::cbDevice, 3);
    ops.ButReadClick();
    ASSERT_EQ(view_.boxes.size(), 2);
    EXPECT_TRUE(view_.boxes[0].contains(QStringLiteral("70-corvane.rules")));
    EXPECT_EQ(view_.boxes[1], QStringLiteral("USB-ERROR | USB-Device not found!"));
}

TEST_F(BootloaderAccess, OtherLibusbFailuresKeepTheirMessageAndLogLibusbsErrorName) {
    bench("[slot 0]\nfail-descriptor = yes\n");
    const QStringList boxes = readDevice(0);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first().startsWith(QStringLiteral("USB-ERROR | No 89C513x Bootloader found!\r")))
        << qPrintable(boxes.first());
    EXPECT_FALSE(boxes.first().contains(QStringLiteral("70-corvane.rules")));
    ASSERT_EQ(view_.debugLines.size(), 1);
    EXPECT_TRUE(view_.debugLines.first().contains(QStringLiteral("LIBUSB_ERROR_")))
        << qPrintable(view_.debugLines.first());
}

TEST_F(BootloaderAccess, SimulatedBenchExplainsARefusedOpenAsLibusbDoes) {
    bench("[slot 0]\nrefuse-open = yes\n");
    const QStringList onLibusb = readDevice(0);

    sim::SimBench simulated;
    sim::ChipConfig refused;
    refused.refuseOpen = true;
    simulated.insert(0, refused);
    sim::SimLink link(simulated);
    MemoryImages images;
    TUsb usb(link, images);
    SeenView seen;
    TOperations ops(usb, images, seen);
    ops.Controls.setIndex(Ctl::cbDevice, 0);
    ops.ButReadClick();
    EXPECT_EQ(seen.boxes, onLibusb);
    EXPECT_EQ(seen.debugLines.size(), 1);
}

TEST_F(BootloaderAccess, SuccessfulReadLogsNoLinkError) {
    bench("[slot 0]\n");
    EXPECT_TRUE(readDevice(0).isEmpty());
    EXPECT_TRUE(view_.debugLines.isEmpty());
}

} // namespace
} // namespace corvane
