// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvane-cli on several chips at once, with serial numbers, sparse writes
// and JSON: each chip runs the command in a session of its own, on its own
// link, in its own thread; a summary (a table, or JSON) follows.

#include "cli/command_line.h"
#include "cli/lines/line_options.h"
#include "link/device_link.h"

#include <QString>
#include <cstdio>
#include <memory>

namespace corvane::cli {

// Where each chip's link comes from.
class LinkSource {
public:
    virtual ~LinkSource() = default;
    virtual std::unique_ptr<DeviceLink> newLink() = 0;
    // True when the links may be used at the same time from several threads.
    virtual bool concurrent() const { return true; }

    // The simulated bench in folder (empty: the folder named by the
    // environment), shared by the links. Throws std::runtime_error when its
    // bench file is bad.
    static std::unique_ptr<LinkSource> simulated(const QString& folder);
    // USB through libusb, a context per link.
    static std::unique_ptr<LinkSource> usb();
    // The one link given, lent to one chip at a time: the chips of a run take
    // turns instead of running at once.
    static std::unique_ptr<LinkSource> borrowed(DeviceLink& link);
};

// True when the command goes through runLines(): line options given, or a
// write with an erase (which programs only the pages that hold data).
bool runsOnLines(const CommandLine& options, const lines::LineOptions& line);

// Runs the command on the chips; the exit status.
int runLines(const CommandLine& options, const lines::LineOptions& line, LinkSource& links, std::FILE* out,
             std::FILE* err);

} // namespace corvane::cli
