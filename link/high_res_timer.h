#pragma once
// THighResTimer: the precise microsecond wait of the device link.
//
// Wait(n) returns after at least n microseconds on the monotonic clock and
// processes no window messages. While a whole tick period (Resolution
// milliseconds) remains before the deadline it sleeps on the tick event that
// the tick thread sets once per period; for the rest it sleeps to the
// deadline minus a small margin with a fine timer slack and spins only for the
// last few microseconds.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace corvane {

class THighResTimer {
public:
    THighResTimer();
    ~THighResTimer();
    THighResTimer(const THighResTimer&) = delete;
    THighResTimer& operator=(const THighResTimer&) = delete;

    // Tick period in milliseconds (1).
    int Resolution = 1;
    // Timer resolution asked of the platform; 0 = the finest.
    int Accuracy = 0;
    // Kept for the record; the monotonic clock serves on every processor.
    bool UseTSC = true;

    bool Enabled() const { return enabled_; }
    // Starts or stops the tick thread. Disabled, Wait returns at once.
    void setEnabled(bool on);

    // Blocks the calling thread for at least us microseconds.
    void Wait(int us);

    // Counts of the last wait, for benchmarks: how often it slept on the tick
    // event.
    int lastTickSleeps() const { return lastTickSleeps_; }

private:
    using Clock = std::chrono::steady_clock;
    void tickLoop();

    bool enabled_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable tick_;
    Clock::time_point lastTick_{};
    std::uint64_t tickCount_ = 0;
    bool stop_ = false;
    int lastTickSleeps_ = 0;
};

} // namespace corvane
