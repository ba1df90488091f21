// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP while the tool runs: the first asks every chip
// to stop between two requests, so that each ends cancelled and the summary
// still prints; a second ends the program at once.

namespace corvane::cli {

void installStopSignals();
// True once a stop signal came.
bool stopRequested();

} // namespace corvane::cli
