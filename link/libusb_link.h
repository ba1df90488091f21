// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// LibusbLink: the device link to real hardware through libusb-1.0.
//
// Device number n is the n-th attached USB device of the bootloader's vendor
// (kBootVendor), ordered by bus number and then port path, so numbers stay put while the
// devices stay in their ports. Opening claims the bootloader's interface 0,
// detaching a kernel driver if one is bound (and giving it back on close).

#include "core/chip_table.h"
#include "link/device_link.h"

#include <cstdint>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device_handle;

namespace corvane {

class LibusbLink : public DeviceLink {
public:
    // The bootloader's only interface.
    static constexpr int kInterface = 0;
    // Long enough for the slowest step: a status request after a chip erase
    // completes only when the erase has ended, about 2.6 seconds.
    static constexpr unsigned kTimeoutMs = 5000;

    LibusbLink();
    ~LibusbLink() override;
    LibusbLink(const LibusbLink&) = delete;
    LibusbLink& operator=(const LibusbLink&) = delete;

    bool open(int deviceNumber) override;
    bool isOpen() const override { return handle_ != nullptr; }
    bool getDeviceDescriptor(DeviceDescriptor& out) override;
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override;
    void close() override;
    std::string lastError() const override { return error_; }
    RequestFailure lastRequestFailure() const override { return failure_; }

    // NotFound also when libusb could not start or list the devices, or
    // failed opening for another reason (lastError() tells which).
    OpenFailure lastOpenFailure() const override { return openFailure_; }
    // The devices of the bootloader's vendor attached now, in device-number
    // order; nothing (with lastError()) when libusb fails.
    std::optional<std::vector<AttachedDevice>> listDevices() override;
    // The same, empty when libusb fails.
    std::vector<AttachedDevice> attachedDevices() {
        return listDevices().value_or(std::vector<AttachedDevice>{});
    }

private:
    bool ensureContext();
    void fail(const std::string& what, int libusbError);

    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    bool claimed_ = false;
    OpenFailure openFailure_ = OpenFailure::None;
    std::string error_;
    RequestFailure failure_ = RequestFailure::None;
};

} // namespace corvane
