// SPDX-License-Identifier: GPL-3.0-or-later
// The two layers of the link: each DFU request's setup fields and the decoded
// status answer; the command frames' status enum; a chip found in the error
// state brought back to idle.

#include "frames_fixture.h"
#include "link/dfu_requests.h"

using namespace corvane;
using namespace corvane::testing;

namespace {

// Puts the chip into the error state the way an earlier run can leave it: a
// command the bootloader does not know.
void leaveInError(sim::SimChip& chip) {
    std::uint8_t unknown = 0x07;
    chip.control({wire::kClassOut, DFU_DNLOAD, 0, wire::kRequestIndex, 1}, &unknown);
    ASSERT_EQ(chip.state(), sim::dfuERROR);
    chip.clearLog();
    chip.faults().restartCount();
}

} // namespace

// ---------------------------------------------------------------------------
// DFU requests

struct RequestCase {
    DfuRequest kind;
    std::uint8_t bmRequestType;
    std::uint16_t wLength;
    dfu::Transfer (*issue)(DeviceLink&);
};

class DfuRequests : public FramesOnBench, public ::testing::WithParamInterface<RequestCase> {};

TEST_P(DfuRequests, EachRequestCarriesItsOwnLabelledSetup) {
    const RequestCase& c = GetParam();
    ASSERT_TRUE(link.open(0));
    c.issue(link);
    ASSERT_EQ(classRequests().size(), 1u);
    const sim::LoggedRequest r = classRequests()[0];
    EXPECT_EQ(r.bmRequestType, c.bmRequestType);
    EXPECT_EQ(r.bRequest, c.kind);
    EXPECT_EQ(r.wIndex, wire::kRequestIndex);
    EXPECT_EQ(r.wLength, c.wLength);
    // The ten-byte record: direction, then the setup fields low byte first.
    const std::uint8_t direction = c.bmRequestType == wire::kClassIn ? 1 : 0;
    EXPECT_EQ(
        dfu::setupFor(c.kind).bytes(),
        (std::array<std::uint8_t, 10>{direction, 0x01, 0x01, 0x00, c.kind, 0x00, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(dfu::setupFor(c.kind).bmRequestType(), c.bmRequestType);
}

// The requests the programmer sends.
const RequestCase kRequests[] = {
    {DFU_DNLOAD, wire::kClassOut, 3,
     [](DeviceLink& l) {
         const std::uint8_t f[3] = {READ_COMMAND, 1, 0x30};
         return dfu::download(l, f);
     }},
    {DFU_UPLOAD, wire::kClassIn, 2,
     [](DeviceLink& l) {
         std::uint8_t into[2];
         return dfu::upload(l, into);
     }},
    {DFU_GETSTATUS, wire::kClassIn, 6, [](DeviceLink& l) { return dfu::getStatus(l).transfer; }},
    {DFU_CLRSTATUS, wire::kClassOut, 0, [](DeviceLink& l) { return dfu::clearStatus(l); }},
};

INSTANTIATE_TEST_SUITE_P(EachSent, DfuRequests, ::testing::ValuesIn(kRequests));

using DfuAnswers = FramesOnBench;

TEST_F(DfuAnswers, StatusAnswersAreDecodedAndFailuresSaidApart) {
    const std::uint8_t raw[6] = {errNOTDONE, 0x34, 0x12, 0x01, dfuDNBUSY, 7};
    const dfu::Status s = dfu::decodeStatus(raw);
    EXPECT_EQ(s.status, errNOTDONE);
    EXPECT_EQ(s.pollTimeout, 0x011234u); // 24 bits, low byte first
    EXPECT_EQ(s.state, dfuDNBUSY);
    EXPECT_EQ(s.iString, 7);

    EXPECT_EQ(dfu::getStatus(link).transfer, dfu::Transfer::Failed) << "closed channel";
    EXPECT_TRUE(chip->log().empty());
    ASSERT_TRUE(link.open(0));
    leaveInError(*chip);
    const dfu::StatusReply reply = dfu::getStatus(link);
    ASSERT_TRUE(reply.ok());
    EXPECT_EQ(reply.answer.status, errUNKNOWN);
    EXPECT_EQ(reply.answer.state, dfuERROR);
    const std::uint8_t frame[3] = {READ_COMMAND, 1, 0x30};
    EXPECT_EQ(dfu::download(link, frame), dfu::Transfer::Refused) << "stalled in the error state";
    chip->faults().timeOutRequest(chip->faults().requestsSeen + 1);
    EXPECT_EQ(dfu::clearStatus(link), dfu::Transfer::TimedOut);
    chip->faults().failRequest(chip->faults().requestsSeen + 1);
    EXPECT_EQ(dfu::clearStatus(link), dfu::Transfer::Failed);
    EXPECT_EQ(dfu::clearStatus(link), dfu::Transfer::Done);
    EXPECT_EQ(chip->state(), sim::dfuIDLE);
}

// ---------------------------------------------------------------------------
// Command frames

struct FrameFault {
    const char* name;
    void (*arm)(sim::FaultPlan&);
    CommandStatus expected;
    int code;
};

class FrameResults : public FramesOnBench, public ::testing::WithParamInterface<FrameFault> {};

TEST_P(FrameResults, AConfigurationReadTellsWhichStepFailed) {
    const FrameFault& f = GetParam();
    ASSERT_TRUE(link.open(0));
    f.arm(chip->faults());
    const ByteRead family = read(ConfigId::Family);
    EXPECT_EQ(family.result.status, f.expected);
    EXPECT_EQ(family.result.code(), f.code);
    if (family.result.ok())
        EXPECT_EQ(family.value, 0xD7);
    else
        EXPECT_EQ(family.value, 0) << "no byte from a failed read";
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, FrameResults,
    ::testing::Values(
        FrameFault{"none", [](sim::FaultPlan&) {}, CommandStatus::Ok, 0},
        FrameFault{"command", [](sim::FaultPlan& p) { p.failRequest(1); }, CommandStatus::TransferFailed, -1},
        FrameFault{"status", [](sim::FaultPlan& p) { p.failRequest(2); }, CommandStatus::StatusRequestFailed,
                   1},
        FrameFault{"status1", [](sim::FaultPlan& p) { p.answerStatus(2, 1); }, CommandStatus::DeviceStatus,
                   -1},
        FrameFault{"statusWrite", [](sim::FaultPlan& p) { p.answerStatus(2, errWRITE); },
                   CommandStatus::DeviceStatus, -3},
        FrameFault{"upload", [](sim::FaultPlan& p) { p.failRequest(3); }, CommandStatus::TransferFailed, -1}),
    [](const auto& info) { return std::string(info.param.name); });

using FrameSpans = FramesOnBench;

TEST_F(FrameSpans, BlocksGoToAndFromTheGivenSpanOnly) {
    ASSERT_TRUE(link.open(0));
    const Bytes data = {1, 2, 3, 4, 5};
    EXPECT_TRUE(frames.programBlock(0x0100, data, BootMemory::Eeprom).ok());
    EXPECT_EQ(classRequests()[0].data.size(), 32u + 5u + 16u);
    EXPECT_EQ(Bytes(chip->eeprom().begin() + 0x100, chip->eeprom().begin() + 0x105), data);

    Bytes back(7, 0xAA);
    EXPECT_TRUE(frames.readBlock(0x00FF, std::span(back).subspan(1, 5), BootMemory::Eeprom).ok());
    EXPECT_EQ(back, (Bytes{0xAA, 0xFF, 1, 2, 3, 4, 0xAA}));

    chip->faults().failRequest(chip->faults().requestsSeen + 3); // the upload
    EXPECT_EQ(frames.readBlock(0x0100, std::span(back).first(5), BootMemory::Eeprom).status,
              CommandStatus::TransferFailed);
    EXPECT_EQ(back[0], 0xAA) << "a failed upload writes nothing";
}

// ---------------------------------------------------------------------------
// A chip left in the error state

using Recovery = FramesOnBench;

TEST_F(Recovery, AChipFoundInErrorIsClearedAndTheFirstCommandGoesThrough) {
    leaveInError(*chip);
    open();
    EXPECT_EQ(valueOrCode(read(ConfigId::Family)), 0xD7);
    EXPECT_EQ(kinds(),
              (Bytes{DFU_DNLOAD, DFU_GETSTATUS, DFU_CLRSTATUS, DFU_DNLOAD, DFU_GETSTATUS, DFU_UPLOAD}));

    // A refused command still reports its error after the recovery.
    link.close();
    chip->setConfigByte(sim::ConfigByte::SSB, 0xFC);
    leaveInError(*chip);
    open();
    EXPECT_EQ(write(ConfigId::EB, 0x00).code(), -sim::errWRITE);

    // A transfer lost on its way is no error state: nothing is cleared, nothing resent.
    link.close();
    chip->clearLog();
    chip->faults().clear();
    open();
    chip->faults().failRequest(1);
    EXPECT_EQ(valueOrCode(read(ConfigId::Family)), -1);
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD}));
}

TEST_F(Recovery, OnlyTheFirstCommandAfterOpeningRecovers) {
    open();
    EXPECT_EQ(valueOrCode(read(ConfigId::Family)), 0xD7);
    leaveInError(*chip);
    EXPECT_EQ(valueOrCode(read(ConfigId::Family)), -1) << "an error state during the run is not hidden";
    EXPECT_EQ(kinds(), (Bytes{DFU_DNLOAD}));
}
