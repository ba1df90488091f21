// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// convert IN OUT: a file into another format, sized by --controller; no device.

#include "cli/options.h"

#include <cstdio>

namespace corvane::cli {

// The exit status; failures are told on err.
int convertFiles(const CommandLine& options, std::FILE* err);

} // namespace corvane::cli
