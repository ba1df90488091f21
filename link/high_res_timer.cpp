// SPDX-License-Identifier: GPL-3.0-or-later
// The precise wait: absolute-deadline sleeps on the monotonic clock with a
// fine timer slack, and a short spin at the end.

#include "link/high_res_timer.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

#include <sys/prctl.h>

namespace corvane {

namespace {

constexpr std::int64_t kNsPerUs = 1000;
constexpr std::int64_t kNsPerS = 1000000000;
constexpr std::int64_t kInitialMarginNs = 30000;
constexpr std::int64_t kMinMarginNs = 10000;
constexpr std::int64_t kMaxMarginNs = 60000;

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * kNsPerS + ts.tv_nsec;
}

void sleepUntilNs(std::int64_t t) {
    timespec ts{static_cast<time_t>(t / kNsPerS), static_cast<long>(t % kNsPerS)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Sets the calling thread's timer slack for the time of one wait.
class SlackScope {
public:
    explicit SlackScope(unsigned long ns)
        : old_(static_cast<unsigned long>(prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0))) {
        if (old_ != ns)
            prctl(PR_SET_TIMERSLACK, ns, 0, 0, 0);
        set_ = old_ != ns;
    }
    ~SlackScope() {
        if (set_)
            prctl(PR_SET_TIMERSLACK, old_, 0, 0, 0);
    }

private:
    unsigned long old_;
    bool set_ = false;
};

} // namespace

THighResTimer::THighResTimer() : marginNs_(kInitialMarginNs) {}

void THighResTimer::Wait(int us) {
    if (!Enabled || us <= 0)
        return;
    const std::int64_t start = nowNs();
    const std::int64_t target = start + std::int64_t(us) * kNsPerUs;
    SlackScope slack(Accuracy > 0 ? static_cast<unsigned long>(Accuracy) * kNsPerUs : 1UL);

    std::int64_t now = start;
    // Sleep to the deadline less the margin (one absolute sleep covers any
    // number of tick periods), then spin.
    if (target - now > marginNs_) {
        const std::int64_t wake = target - marginNs_;
        sleepUntilNs(wake);
        now = nowNs();
        // Learn the wake-up lateness: a late wake-up widens the margin at
        // once, an early one narrows it slowly.
        const std::int64_t late = now - wake;
        const std::int64_t wanted = std::clamp(late + late / 2 + 2000, kMinMarginNs, kMaxMarginNs);
        marginNs_ = wanted > marginNs_ ? wanted : marginNs_ - (marginNs_ - wanted) / 64;
    }
    while (nowNs() < target) {
    }
}

} // namespace corvane
