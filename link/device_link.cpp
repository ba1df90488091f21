// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/device_link.h"

#include "core/chip_table.h"

namespace corvane {

std::optional<std::vector<AttachedDevice>> DeviceLink::listDevices() {
    close();
    std::vector<AttachedDevice> found;
    for (int n = 0; n < kDeviceCount; ++n) {
        const bool opened = open(n);
        const OpenFailure why = lastOpenFailure();
        close();
        if (opened || why == OpenFailure::AccessDenied || why == OpenFailure::Busy)
            found.push_back(AttachedDevice{n, 0, {}, 0, 0, 0});
    }
    return found;
}

} // namespace corvane
