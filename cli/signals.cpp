// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/signals.h"

#include <atomic>
#include <csignal>

namespace corvane::cli {

namespace {

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal) {
    int none = 0;
    if (!g_stopSignal.compare_exchange_strong(none, signal)) {
        // The second one: as if the tool had no handler.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

} // namespace

void installStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

bool stopRequested() {
    return g_stopSignal.load() != 0;
}

} // namespace corvane::cli
