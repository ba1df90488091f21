// The precise wait's contract (its speed is shown by the benchmark).

#include "link/high_res_timer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace corvane {
namespace {

TEST(HighResTimer, WaitLastsAtLeastTheGivenMicrosecondsShortAndAcrossTickPeriods) {
    THighResTimer t;
    for (int us : {1, 100, 999, 2500}) {
        for (int i = 0; i < 20; ++i) {
            const auto start = std::chrono::steady_clock::now();
            t.Wait(us);
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(us)) << us;
        }
    }
}

TEST(HighResTimer, DisabledOrNonPositiveWaitReturnsAtOnce) {
    THighResTimer t;
    t.Wait(0);
    t.Wait(-5);
    t.Enabled = false;
    const auto start = std::chrono::steady_clock::now();
    t.Wait(1000000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
}

} // namespace
} // namespace corvane
