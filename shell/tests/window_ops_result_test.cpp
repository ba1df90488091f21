// SPDX-License-Identifier: GPL-3.0-or-later
// What the operations report to their front end: the kind of failure, its
// step and address; a stop on request; and the fuse step's refusal to write
// back a byte whose read failed.

#include "shell/tests/window_ops_rig.h"

#include "shell/config_controls.h"
#include "shell/hex_field.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace corvane;
using namespace corvane::opstest;

namespace {

// A request (1-based) of the chip's request log whose short form is `what`,
// counted from the first one.
int requestNumber(const Rig& reference, const std::string& what, int nth = 1) {
    const Strings all = reference.requests();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i] == what && --nth == 0)
            return int(i) + 1;
    return -1;
}

struct KindCase {
    const char* name;
    std::function<void(Rig&)> arrange;
    ShownResult (TOperations::*click)();
    ErrorKind kind;
    OpStep step;
    std::uint32_t address;
};

void PrintTo(const KindCase& c, std::ostream* os) {
    *os << c.name;
}

class ResultKinds : public ::testing::TestWithParam<KindCase> {};

} // namespace

TEST_P(ResultKinds, NameTheFailureItsStepAndAddressAndShowTheMessage) {
    const KindCase& c = GetParam();
    Rig r;
    c.arrange(r);
    const ShownResult result = (r.ops.*c.click)();
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.step, c.step);
    EXPECT_EQ(result.address, c.address);
    EXPECT_FALSE(result.ok());
    ASSERT_EQ(r.view.boxes.size(), 1u);
    EXPECT_EQ(r.view.boxes[0].text, result.message);
    EXPECT_TRUE(r.idle());
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ResultKinds,
    ::testing::Values(
        KindCase{"NoDevice", [](Rig& r) { r.controls.setIndex(Ctl::cbDevice, 4); },
                 &TOperations::ButReadClick, ErrorKind::NoDevice, OpStep::Open, 0},
        KindCase{"AccessDenied",
                 [](Rig& r) {
                     sim::ChipConfig c;
                     c.refuseOpen = true;
                     r.chip->setConfig(c);
                 },
                 &TOperations::ButEraseClick, ErrorKind::AccessDenied, OpStep::Open, 0},
        KindCase{"InUse", [](Rig& r) { r.bench.claim(0); }, &TOperations::ButWriteClick, ErrorKind::InUse,
                 OpStep::Open, 0},
        KindCase{"NotBootloader",
                 [](Rig& r) {
                     sim::ChipConfig c;
                     c.productId = 0x2FFE;
                     r.chip->setConfig(c);
                 },
                 &TOperations::ButRunClick, ErrorKind::NotBootloader, OpStep::Identify, 0},
        KindCase{"LockedRead", [](Rig& r) { r.chip->setConfigByte(sim::ConfigByte::SSB, 0xFC); },
                 &TOperations::ButReadClick, ErrorKind::Locked, OpStep::ReadFlash, 0},
        KindCase{"EepromBlock",
                 [](Rig& r) {
                     r.controls.setChecked(Ctl::chkFlash, false);
                     // identification, configuration, then the third EEPROM block's command
                     r.chip->faults().failRequest(1 + 6 * 3 + 7 * 3 + 2 * 3 + 1);
                 },
                 &TOperations::ButReadClick, ErrorKind::TransferFailed, OpStep::ReadEeprom, 0x200},
        KindCase{"EraseCommand", [](Rig& r) { r.chip->faults().failRequest(1 + 6 * 3 + 7 * 3 + 1); },
                 &TOperations::ButEraseClick, ErrorKind::TransferFailed, OpStep::Erase, 0},
        KindCase{"StartCommand", [](Rig& r) { r.chip->faults().failRequest(1 + 6 * 3 + 7 * 3 + 1); },
                 &TOperations::ButRunClick, ErrorKind::TransferFailed, OpStep::Start, 0},
        KindCase{"FuseByte",
                 [](Rig& r) {
                     touchAll(fusesOnly(r));
                     r.chip->faults().answerStatus(1 + 6 * 3 + 3 * 2 + 2, sim::errWRITE); // the HSB's status
                 },
                 &TOperations::ButWriteClick, ErrorKind::TransferFailed, OpStep::WriteFuses, 0x200},
        KindCase{"EmptiedField", [](Rig& r) { r.controls.edit(Ctl::EdSBV, ""); }, &TOperations::ButWriteClick,
                 ErrorKind::BadInput, OpStep::WriteFuses, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A stop asked for during a transfer ends the operation at the next block:
// nothing more is sent, the channel is closed and no box appears.
TEST(Stopping, EndsAtTheNextBlockWithTheChannelClosedAndNoMessage) {
    struct Case {
        ShownResult (TOperations::*click)();
        int stopAfterPumps;
        OpStep step;
        const char* block;
        std::size_t blocks; // sent before the stop
    };
    for (const Case& c : {Case{&TOperations::ButReadClick, 10, OpStep::ReadFlash, "DISP", 7},
                          Case{&TOperations::ButWriteClick, 8, OpStep::ProgramFlash, "PROG", 5},
                          Case{&TOperations::ButEraseClick, 0, OpStep::Open, "", 0}}) {
        SCOPED_TRACE(int(c.step));
        Rig r;
        std::fill(r.images.FlashImage.begin(), r.images.FlashImage.end(), 0x5A);
        int pumps = 0;
        r.view.onProcessMessages = [&pumps] { ++pumps; };
        r.view.stopWhen = [&pumps, &c] { return pumps >= c.stopAfterPumps; };
        const ShownResult result = (r.ops.*c.click)();
        EXPECT_EQ(result.kind, ErrorKind::Cancelled);
        EXPECT_EQ(result.step, c.step);
        EXPECT_TRUE(r.view.boxes.empty());
        const Strings sent = r.commands();
        EXPECT_EQ(std::size_t(std::count_if(sent.begin(), sent.end(),
                                            [&c](const std::string& q) { return q.rfind(c.block, 0) == 0; })),
                  sent.empty() ? 0 : c.blocks);
        EXPECT_TRUE(r.idle());
    }
}

// WRITE with Write Fuses never writes back a byte whose read failed: it
// refuses before the first request that changes the device, until the user
// has set the field or the device was read again.
TEST(FuseStep, RefusesAByteWhoseReadFailedUntilTheUserSetsIt) {
    struct Case {
        const char* read;
        Ctl field;
        const char* text;
    };
    for (const Case& c : {Case{"R 1,06", Ctl::EdEB, "EB: value not read from the device"},
                          Case{"R 2,00", Ctl::LabHSB, "HSB: value not read from the device"},
                          Case{"R 1,04", Ctl::EdP4CF, "P4_CF: value not read from the device"}}) {
        SCOPED_TRACE(c.read);
        Rig reference;
        reference.ops.ButReadClick();
        Rig r;
        fusesOnly(r).chip->faults().failRequest(requestNumber(reference, c.read));
        EXPECT_TRUE(r.ops.ButReadClick().ok()); // the window shows a failed read as it comes
        EXPECT_EQ(r.ops.FailedReads.size(), 1);

        r.chip->clearLog();
        r.view.boxes.clear();
        r.controls.setChecked(Ctl::chkFlash, true);
        r.controls.setChecked(Ctl::chkAutoErase, true);
        const ShownResult refused = r.ops.ButWriteClick();
        EXPECT_EQ(refused.kind, ErrorKind::BadInput);
        ASSERT_EQ(r.view.boxes.size(), 1u);
        EXPECT_EQ(r.view.boxes[0].caption, "Input-Error");
        EXPECT_EQ(r.view.boxes[0].text, c.text);
        EXPECT_EQ(r.commands(), kIdent); // neither erased nor written
        const sim::ConfigBytes untouched = r.chip->configBytes();

        // The user's own value is written; the HSB, whose other bits would
        // still be the failed read's, only once it has been read again.
        if (c.field == Ctl::LabHSB) {
            r.controls.click(Ctl::chkX2);
            EXPECT_EQ(r.ops.ButWriteClick().kind, ErrorKind::BadInput);
            r.chip->faults().clear();
            EXPECT_TRUE(r.ops.ButReadClick().ok());
            r.controls.click(Ctl::chkX2);
        } else {
            r.controls.edit(c.field, "$5A");
        }
        r.controls.setChecked(Ctl::chkFlash, false);
        EXPECT_TRUE(r.ops.ButWriteClick().ok());
        const sim::ConfigBytes written = r.chip->configBytes();
        if (c.field == Ctl::EdEB) {
            EXPECT_EQ(written.EB, 0x5A);
        } else if (c.field == Ctl::EdP4CF) {
            EXPECT_EQ(written.P4_CF, 0x5A);
        } else {
            EXPECT_EQ(formatHexValue(written.HSB, 2), r.controls.text(Ctl::LabHSB));
            EXPECT_NE(written.HSB, untouched.HSB);
        }
    }
}

// The core takes what to do from the request alone, not from the controls.
TEST(Requests, WriteTakesItsImagesAndBytesFromTheRequestAndRefusesImagesOfAnotherSize) {
    Rig r;
    fusesOnly(r); // the controls ask for nothing of this
    r.controls.setChecked(Ctl::chkFuses, false);
    WriteRequest request;
    request.flash = TBuffer(0x8000, 0xFF);
    std::fill(request.flash->begin(), request.flash->begin() + 0x500, 0x3C);
    request.erase = true;
    request.config = ConfigRequest{{0x11, 0x22, 0x33, 0xBB, 0x44, 0x55, 0x66}, std::nullopt, {}};
    EXPECT_TRUE(r.ops.Write(request).ok());
    EXPECT_TRUE(std::equal(request.flash->begin(), request.flash->end(), r.chip->flash().begin()));
    EXPECT_EQ(r.chip->configBytes().EB, 0x11);
    EXPECT_EQ(r.chip->configBytes().P4_CF, 0x66);

    Rig small;
    WriteRequest tooLarge;
    tooLarge.eeprom = TBuffer(0x800, 0);
    const ShownResult refused = small.ops.Write(tooLarge);
    EXPECT_EQ(refused.kind, ErrorKind::BadInput);
    EXPECT_EQ(refused.step, OpStep::ProgramEeprom);
    EXPECT_TRUE(small.commands().empty());
    EXPECT_TRUE(small.idle());
}

// A device that another program holds: the window's box says so, and the
// device works again once it is free.
TEST(DeviceInUse, TheBoxNamesTheDeviceHeldByAnotherProgram) {
    Rig r;
    ASSERT_EQ(r.bench.claim(0), sim::SimBench::Claim::Granted);
    r.ops.ButReadClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    EXPECT_EQ(r.view.boxes[0].caption, "USB-ERROR");
    EXPECT_EQ(r.view.boxes[0].text, "device 0 is in use by another program");
    EXPECT_TRUE(r.chip->log().empty()) << "nothing was sent";
    r.bench.release(0);
    EXPECT_TRUE(r.ops.ButReadClick().ok());
}
