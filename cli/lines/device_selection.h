// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which devices a command runs on: "-d 0,2-5" names numbers and ranges,
// "--all" every attached bootloader.

#include "link/device_link.h"

#include <QString>
#include <optional>
#include <vector>

namespace corvane::lines {

constexpr int kDeviceCount = 8;

// Parses a device list such as "3", "0,2-5" or "1-2,6": numbers 0 to 7,
// ranges low-high, separated by commas, each device at most once. The result
// is in device order. std::nullopt with error set when the list is bad.
std::optional<std::vector<int>> parseDeviceList(const QString& text, QString& error);

// The device numbers where the bootloader answers: the device opens and its
// descriptor names the bootloader's vendor and product; and those where the
// system refuses this user access, which the run then reports. The link is
// closed again afterwards.
std::vector<int> attachedBootloaders(DeviceLink& link);

} // namespace corvane::lines
