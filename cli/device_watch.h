// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which devices a run works on: the link's list of what is attached (with
// the bus-port path of each), the devices -d, --all or list name resolved to
// their numbers, and the wait for them to be attached (--wait) or to leave
// (a station's board).

#include "cli/link_source.h"
#include "cli/options.h"
#include "cli/outcome.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::cli {

class DeviceWatch {
public:
    // How often the list is asked while waiting.
    static constexpr int kPollMilliseconds = 100;

    DeviceWatch(LinkSource& links, std::function<bool()> stop);

    // What is attached now; nothing when the link cannot list it (error()).
    std::optional<std::vector<AttachedDevice>> now();
    QString error() const { return error_; }

    enum class End { Ready, TimedOut, Stopped, Failed };
    using Test = std::function<bool(const std::vector<AttachedDevice>&)>;
    // Asks the list until ready(list) holds (Ready, the list in last), a
    // stop signal came (Stopped), seconds have passed (TimedOut; never
    // without seconds) or the list cannot be had (Failed, error()). Sleeps
    // between two looks.
    End waitUntil(const Test& ready, std::optional<int> seconds, std::vector<AttachedDevice>& last);

    // The link the list comes from, for a look at the devices themselves.
    DeviceLink& link() { return *link_; }

private:
    LinkSource& links_;
    std::function<bool()> stop_;
    std::unique_ptr<DeviceLink> link_;
    QString error_;
};

// The listed device at this bus-port path, or nullptr.
const AttachedDevice* deviceAt(const std::vector<AttachedDevice>& list, const QString& path);
// The listed device of this number, or nullptr.
const AttachedDevice* deviceNumbered(const std::vector<AttachedDevice>& list, int number);

struct SelectedDevice {
    int number = 0;
    QString path; // empty when the link cannot tell
};

// The devices the run works on, in device order, as the command line names
// them: list every attached device; --all every attached bootloader (also
// one the system refuses or another program holds); -d numbers as given and
// paths resolved to the numbers of the devices attached there (none there:
// no-device); else device 0. With --wait the named devices (without -d, any
// device: the first one is used) are waited for first; tell shows what is
// waited for. A run that cannot go on says why in its outcome.
Outcome selectDevices(const CommandLine& o, DeviceWatch& watch,
                      const std::function<void(const QString&)>& tell, std::vector<SelectedDevice>& out);

// "device 0", "1-2.1" or "a bootloader": what a run waits for.
QString waitedFor(const CommandLine& o);

} // namespace corvane::cli
