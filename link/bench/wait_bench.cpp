// SPDX-License-Identifier: GPL-3.0-or-later
// How precise and how frugal the precise wait is: 10,000 waits of 100
// microseconds, their overshoot (median, 99th percentile, worst) and the
// processor time the waiting thread used per wait.

#include "link/high_res_timer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

double nowUs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

void WaitOvershoot(benchmark::State& state) {
    const int waitUs = static_cast<int>(state.range(0));
    const int count = static_cast<int>(state.range(1));
    corvane::THighResTimer timer;
    std::vector<double> overshoot(static_cast<std::size_t>(count));
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double cpu0 = nowUs(CLOCK_THREAD_CPUTIME_ID);
        const double wall0 = nowUs(CLOCK_MONOTONIC);
        for (int i = 0; i < count; ++i) {
            const double t0 = nowUs(CLOCK_MONOTONIC);
            timer.Wait(waitUs);
            overshoot[static_cast<std::size_t>(i)] = nowUs(CLOCK_MONOTONIC) - t0 - waitUs;
        }
        cpu += nowUs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        wall += nowUs(CLOCK_MONOTONIC) - wall0;
    }
    std::sort(overshoot.begin(), overshoot.end());
    const auto at = [&](double q) {
        return overshoot[static_cast<std::size_t>(q * double(overshoot.size() - 1))];
    };
    state.counters["overshoot_median_us"] = at(0.5);
    state.counters["overshoot_p99_us"] = at(0.99);
    state.counters["overshoot_max_us"] = overshoot.back();
    state.counters["cpu_per_wait_us"] = cpu / (double(count) * double(state.iterations()));
    state.counters["cpu_share"] = cpu / wall;
    state.counters["final_margin_us"] = double(timer.spinMarginNs()) / 1000.0;
}

BENCHMARK(WaitOvershoot)->Args({100, 10000})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(WaitOvershoot)->Args({2500, 400})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
