// SPDX-License-Identifier: GPL-3.0-or-later
// The two commands that wait for the device: the erase polled by time, with
// the waits each status answer asks for, and the start of the application
// judged by whether the bootloader then leaves the bus.

#include "frames_fixture.h"

#include <algorithm>
#include <functional>
#include <numeric>

using namespace corvane;
using namespace corvane::testing;

namespace {

// A device whose status requests answer from a script (the last step
// repeats); every other request goes through unless told otherwise.
class ScriptedLink : public DeviceLink {
public:
    struct Step {
        RequestFailure failure = RequestFailure::None;
        std::uint8_t status = OK;
        std::uint32_t pollMs = 0;
        std::uint8_t state = dfuDNLOAD_IDLE;
    };
    std::vector<Step> script;
    RequestFailure emptyDownload = RequestFailure::None;
    std::vector<std::uint8_t> requests; // bRequest of each, in order

    bool open(int) override { return open_ = true; }
    bool isOpen() const override { return open_; }
    bool getDeviceDescriptor(DeviceDescriptor&) override { return false; }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        requests.push_back(setup.Request);
        failure_ = RequestFailure::None;
        if (setup.Request == DFU_DNLOAD && length == 0 && emptyDownload != RequestFailure::None)
            failure_ = emptyDownload;
        if (setup.Request == DFU_GETSTATUS) {
            const Step& s = script[std::min(next_++, script.size() - 1)];
            failure_ = s.failure;
            const std::uint8_t answer[6] = {s.status,
                                            std::uint8_t(s.pollMs),
                                            std::uint8_t(s.pollMs >> 8),
                                            std::uint8_t(s.pollMs >> 16),
                                            s.state,
                                            0};
            std::copy_n(answer, 6, data);
        }
        return failure_ == RequestFailure::None;
    }
    void close() override { open_ = false; }
    RequestFailure lastRequestFailure() const override { return failure_; }

    long count(std::uint8_t request) const { return std::count(requests.begin(), requests.end(), request); }

private:
    bool open_ = true;
    std::size_t next_ = 0;
    RequestFailure failure_ = RequestFailure::None;
};

using Step = ScriptedLink::Step;
const Step kBusy{RequestFailure::None, errNOTDONE, 0, dfuDNBUSY};
const Step kDone{};

Step busyFor(std::uint32_t ms) {
    Step s = kBusy;
    s.pollMs = ms;
    return s;
}

Step failing(RequestFailure why) {
    return {why, OK, 0, dfuIDLE};
}

struct EraseCase {
    const char* name;
    std::vector<Step> script;
    CommandStatus result;
    std::uint8_t deviceStatus;
    long statusRequests;
    std::vector<int> waits; // empty: only their sum is checked
    long long waitedUs;     // negative: the bound less the time the requests took
    bool clears = false;
};

void PrintTo(const EraseCase& c, std::ostream* os) {
    *os << c.name;
}

class ErasePolling : public ::testing::TestWithParam<EraseCase> {};

TEST_P(ErasePolling, AsksUntilTheEraseEndsWaitingWhatEachAnswerAsksWithinTheBound) {
    const EraseCase& c = GetParam();
    ScriptedLink link;
    link.script = c.script;
    std::vector<int> waits;
    BootFrames frames(link, [&](int us) { waits.push_back(us); });
    const CommandResult r = frames.eraseChip();
    EXPECT_EQ(r.status, c.result);
    if (c.result == CommandStatus::DeviceStatus) {
        EXPECT_EQ(r.deviceStatus, c.deviceStatus);
    }
    EXPECT_EQ(link.count(DFU_GETSTATUS), c.statusRequests);
    if (!c.waits.empty()) {
        EXPECT_EQ(waits, c.waits);
    }
    const long long waited = std::accumulate(waits.begin(), waits.end(), 0LL);
    if (c.waitedUs >= 0) {
        EXPECT_EQ(waited, c.waitedUs);
    } else {
        EXPECT_LE(waited, -c.waitedUs);
        EXPECT_GT(waited, -c.waitedUs - 500000);
    }
    EXPECT_EQ(link.count(DFU_CLRSTATUS), c.clears ? 1 : 0);
}

constexpr long long kBoundUs = 10'000'000;

INSTANTIATE_TEST_SUITE_P(
    Answers, ErasePolling,
    ::testing::Values(
        EraseCase{"done_at_once", {kDone}, CommandStatus::Ok, 0, 1, {}, 0},
        EraseCase{"busy_with_poll_timeouts",
                  {busyFor(5), busyFor(700), kDone},
                  CommandStatus::Ok,
                  0,
                  3,
                  {5000, 700000},
                  705000},
        EraseCase{"busy_without_poll_timeout", {kBusy, kDone}, CommandStatus::Ok, 0, 2, {100}, 100},
        EraseCase{"busy_as_dfu_has_it",
                  {{RequestFailure::None, OK, 1, dfuDNBUSY}, kDone},
                  CommandStatus::Ok,
                  0,
                  2,
                  {1000},
                  1000},
        EraseCase{"timed_out_and_lost_requests_are_asked_again",
                  {failing(RequestFailure::TimedOut), failing(RequestFailure::Other),
                   failing(RequestFailure::Refused), kDone},
                  CommandStatus::Ok,
                  0,
                  4,
                  {100, 100, 100},
                  300},
        EraseCase{"an_error_ends_it_cleared",
                  {kBusy, {RequestFailure::None, errERASE, 0, dfuERROR}},
                  CommandStatus::DeviceStatus,
                  errERASE,
                  2,
                  {100},
                  100,
                  true},
        EraseCase{"a_poll_timeout_past_the_bound_is_cut_to_it",
                  {busyFor(60000), kDone},
                  CommandStatus::Ok,
                  0,
                  2,
                  {},
                  -kBoundUs},
        EraseCase{"never_ending", {busyFor(2000)}, CommandStatus::DeviceStatus, errNOTDONE, 6, {}, kBoundUs},
        EraseCase{"never_answering",
                  {failing(RequestFailure::TimedOut)},
                  CommandStatus::StatusRequestFailed,
                  0,
                  kBoundUs / 100 + 1,
                  {},
                  kBoundUs},
        EraseCase{"gone_from_the_bus",
                  {kBusy, failing(RequestFailure::Gone)},
                  CommandStatus::StatusRequestFailed,
                  0,
                  2,
                  {100},
                  100}),
    [](const auto& info) { return std::string(info.param.name); });

// The bench's chips: a blocking one, a busy one and one whose status request
// after the command times out once.
using ErasingChips = FramesOnBench;

TEST_F(ErasingChips, EachKindIsErased) {
    sim::ChipConfig busy;
    busy.eraseMode = sim::EraseMode::BusyPolling;
    for (const sim::ChipConfig& config : {sim::ChipConfig{}, busy}) {
        for (const bool timeOutFirst : {false, true}) {
            chip = &bench.insert(0, config);
            std::fill(chip->flash().begin(), chip->flash().end(), 0x00);
            if (timeOutFirst)
                chip->faults().timeOutRequest(2);
            open();
            EXPECT_EQ(frames.eraseChip().code(), 0);
            EXPECT_TRUE(
                std::all_of(chip->flash().begin(), chip->flash().end(), [](auto b) { return b == 0xFF; }));
            link.close();
        }
    }
}

// ---------------------------------------------------------------------------
// RUN

struct StartCase {
    const char* name;
    std::function<void(sim::SimChip&)> arrange;
    StartOutcome outcome;
    Bytes requests;
    bool running;
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

// Leaves the chip in the error state, in which it refuses every command.
void refusing(sim::SimChip& chip) {
    std::uint8_t unknown = 0x07;
    chip.control({wire::kClassOut, DFU_DNLOAD, 0, wire::kRequestIndex, 1}, &unknown);
    chip.clearLog();
    chip.faults().restartCount();
}

class StartOnBench : public FramesOnBench, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartOnBench, TheBusSaysWhetherTheApplicationStarted) {
    const StartCase& c = GetParam();
    sim::ChipConfig config;
    config.leavesBeforeStatus = c.name == std::string("leaves_before_the_status_stage");
    chip = &bench.insert(0, config);
    c.arrange(*chip);
    open();
    std::vector<int> waits;
    BootFrames watched(link, [&](int us) { waits.push_back(us); });
    const StartResult r = watched.runApplication(wire::kStartJump, 0x1234);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.ok(), c.outcome == StartOutcome::Started || c.outcome == StartOutcome::LeftBus);
    EXPECT_EQ(kinds(), c.requests);
    EXPECT_EQ(chip->applicationRunning(), c.running);
    EXPECT_TRUE(waits.empty()) << "the bench answers at once";
}

INSTANTIATE_TEST_SUITE_P(
    Chips, StartOnBench,
    ::testing::Values(
        StartCase{"both_requests_go_through", [](sim::SimChip&) {}, StartOutcome::Started,
                  Bytes{DFU_DNLOAD, DFU_DNLOAD}, true},
        StartCase{"leaves_before_the_status_stage", [](sim::SimChip&) {}, StartOutcome::LeftBus,
                  Bytes{DFU_DNLOAD, DFU_DNLOAD}, true},
        StartCase{"start_command_lost", [](sim::SimChip& c) { c.faults().failRequest(1); },
                  StartOutcome::CommandFailed, Bytes{DFU_DNLOAD}, false},
        StartCase{"start_command_refused", refusing, StartOutcome::CommandFailed, Bytes{DFU_DNLOAD}, false},
        StartCase{"empty_download_lost", [](sim::SimChip& c) { c.faults().failRequest(2); },
                  StartOutcome::StillAnswering, Bytes{DFU_DNLOAD, DFU_DNLOAD, DFU_GETSTATUS}, false},
        StartCase{"empty_download_timed_out", [](sim::SimChip& c) { c.faults().timeOutRequest(2); },
                  StartOutcome::StillAnswering, Bytes{DFU_DNLOAD, DFU_DNLOAD, DFU_GETSTATUS}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartWatch, WaitsForTheBootloaderToLeaveAtMostASecond) {
    struct WatchCase {
        RequestFailure emptyDownload;
        std::vector<Step> script;
        StartOutcome outcome;
        long long waitedUs;
    };
    const Step manifesting{RequestFailure::None, OK, 0, dfuMANIFEST};
    const WatchCase cases[] = {
        {RequestFailure::Gone, {kDone}, StartOutcome::LeftBus, 0},
        {RequestFailure::Other,
         {failing(RequestFailure::Other), manifesting, failing(RequestFailure::Gone)},
         StartOutcome::LeftBus,
         100000},
        {RequestFailure::TimedOut, {failing(RequestFailure::Other)}, StartOutcome::NoAnswer, 1000000},
        {RequestFailure::Other, {manifesting}, StartOutcome::NoAnswer, 1000000},
        {RequestFailure::Other, {failing(RequestFailure::Refused)}, StartOutcome::StillAnswering, 0},
    };
    for (const WatchCase& c : cases) {
        ScriptedLink link;
        link.emptyDownload = c.emptyDownload;
        link.script = c.script;
        std::vector<int> waits;
        BootFrames frames(link, [&](int us) { waits.push_back(us); });
        const StartResult r = frames.runApplication(wire::kStartReset, 0);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), 0LL), c.waitedUs);
        EXPECT_TRUE(std::all_of(waits.begin(), waits.end(), [](int us) { return us <= 50000; }));
    }
}

} // namespace
