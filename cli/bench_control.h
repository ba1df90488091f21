// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "bench attach|remove SLOT": the simulated bench's control, as an operator
// at its sockets, for tests and trials of a station: a new board plugged
// into a slot's socket, or the board there taken off the bus. Every program
// on the bench's folder sees the change at its next look at the bus (the
// tool in-process and any program through the libusb stand-in).

#include "cli/options.h"

#include <cstdio>

namespace corvane::cli {

// The exit status. Throws std::runtime_error when the bench cannot be set up.
int benchControl(const CommandLine& options, std::FILE* out, std::FILE* err);

} // namespace corvane::cli
