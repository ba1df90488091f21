// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device links both programs choose from: the simulated bench in the
// same process ("--simulate [FOLDER]") or the USB devices through libusb.

#include "link/device_link.h"

#include <memory>
#include <string>

namespace corvane {

// The simulated bench in its state folder (empty: the folder the
// environment names), owned together with its link; the bench stores the
// chips changed when the link goes. Throws std::runtime_error when the bench
// cannot be set up (the bench file or a stored chip cannot be read).
std::unique_ptr<DeviceLink> makeSimulatedLink(const std::string& folder);

// The bootloaders attached to USB.
std::unique_ptr<DeviceLink> makeLibusbLink();

// One of the two, as "--simulate [FOLDER]" asks or not.
std::unique_ptr<DeviceLink> makeDeviceLink(bool simulate, const std::string& folder);

} // namespace corvane
