// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device link the tool talks through: the simulated bench in-process, or
// the USB devices through libusb.

#include "link/device_link.h"

#include <QString>
#include <memory>

namespace corvane::cli {

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    virtual DeviceLink& link() = 0;

    // The simulated bench in folder (empty: the folder named by the
    // environment). Throws std::runtime_error when its bench file is bad.
    static std::unique_ptr<DeviceBackend> simulated(const QString& folder);
    // The bootloaders attached to USB.
    static std::unique_ptr<DeviceBackend> usb();
};

} // namespace corvane::cli
