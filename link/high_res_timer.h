// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// THighResTimer: the precise microsecond wait of the device link.
//
// Wait(n) returns after at least n microseconds on the monotonic clock and
// processes no window messages. It sleeps to an absolute deadline with a fine
// timer slack while more than a small margin remains, and spins on the clock
// only for the last few microseconds; the
// margin follows the wake-up lateness the timer has observed, so a quiet
// machine spins for a few microseconds and a busy one a little longer. No
// tick thread is needed: the kernel's high-resolution timers wake the waiting
// thread at the deadline itself.

#include <chrono>
#include <cstdint>

namespace corvane {

class THighResTimer {
public:
    THighResTimer();

    // Tick period in milliseconds (1), kept for the record: one absolute sleep
    // covers any number of periods.
    int Resolution = 1;
    // Timer slack asked of the platform in microseconds; 0 = the finest (1 ns).
    int Accuracy = 0;
    // Kept for the record; the monotonic clock serves on every processor.
    bool UseTSC = true;
    // Disabled, Wait returns at once.
    bool Enabled = true;

    // Blocks the calling thread for at least us microseconds (none for us <= 0).
    void Wait(int us);

    // The current spin margin in nanoseconds (for benchmarks and tests).
    std::int64_t spinMarginNs() const { return marginNs_; }

private:
    std::int64_t marginNs_;
};

} // namespace corvane
