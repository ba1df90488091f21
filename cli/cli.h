// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvane-cli: runs one command line and returns its exit status.

#include "link/device_link.h"

#include <QStringList>
#include <cstdio>
#include <functional>

namespace corvane::cli {

// Over the links the options name (the simulated bench or USB); stop is
// asked between requests (a signal came).
int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err,
           const std::function<bool()>& stop = {});

// The same over a link of the caller's (a bench in the same process), in
// place of the one the options name; the chips of a run take turns on it.
int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err, DeviceLink& link,
           const std::function<bool()>& stop = {});

} // namespace corvane::cli
