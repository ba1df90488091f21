// SPDX-License-Identifier: GPL-3.0-or-later
// The precise wait's contract (its speed is shown by the benchmark).

#include "link/high_res_timer.h"

#include <gtest/gtest.h>

#include <chrono>

using corvane::THighResTimer;
using Clock = std::chrono::steady_clock;

TEST(HighResTimer, WaitLastsAtLeastTheGivenMicrosecondsShortAndAcrossTickPeriods) {
    THighResTimer t;
    for (int us : {1, 100, 999, 2500}) {
        for (int i = 0; i < 20; ++i) {
            const auto start = Clock::now();
            t.Wait(us);
            EXPECT_GE(Clock::now() - start, std::chrono::microseconds(us)) << us;
        }
    }
}

TEST(HighResTimer, DisabledOrNonPositiveWaitReturnsAtOnce) {
    THighResTimer t;
    const auto start = Clock::now();
    t.Wait(-5);
    t.Enabled = false;
    t.Wait(1000000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}
