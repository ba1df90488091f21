// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvane-cli: runs one command line and returns its exit status.

#include "link/device_link.h"

#include <QStringList>
#include <cstdio>

namespace corvane::cli {

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err);

// The same over a link of the caller's (a bench in the same process), in
// place of the one the options name.
int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err, DeviceLink& link);

} // namespace corvane::cli
