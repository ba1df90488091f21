// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device link at the level of the four driver operations. Backends: libusb
// (real hardware) and the simulated bench.

#include "link/class_request.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

enum class RequestFailure {
    None,
    Refused,  // the device stalled the request
    TimedOut, // the device did not complete it within the link's time limit
    Gone,     // the device is no longer on the bus
    Other,    // lost, short, or the channel is closed
};

// Why the last open failed.
enum class OpenFailure {
    None,
    NotFound,     // nothing usable answers at the device number
    AccessDenied, // attached, but the system refused this user access to it (device permissions)
    Busy,         // attached, but another program (or another link) holds it
};

// A device a link can open: the number it is opened by and where it sits on
// the bus.
struct AttachedDevice {
    int number = 0;
    std::uint8_t bus = 0;            // 0: the link cannot tell where it is
    std::vector<std::uint8_t> ports; // from the root hub on
    std::uint8_t address = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// The bus and port path as libusb and "lsusb -t" number it: "1-2.1" is
// port 1 of the hub on port 2 of bus 1. Empty when the bus is unknown.
inline std::string busPortPath(std::uint8_t bus, const std::vector<std::uint8_t>& ports) {
    if (bus == 0)
        return {};
    std::string path = std::to_string(bus);
    for (std::size_t i = 0; i < ports.size(); ++i)
        path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return path;
}
inline std::string busPortPath(const AttachedDevice& d) {
    return busPortPath(d.bus, d.ports);
}

class DeviceLink {
public:
    virtual ~DeviceLink() = default;

    // Opens device number n (0..7). False when nothing usable answers there.
    virtual bool open(int deviceNumber) = 0;
    virtual bool isOpen() const = 0;
    // Reads the 18-byte USB device descriptor. False on failure (out untouched).
    virtual bool getDeviceDescriptor(DeviceDescriptor& out) = 0;
    // One class control request; data is sent (Direction 0) or filled
    // (Direction 1). False when the transfer failed or, for an upload, when
    // fewer than length bytes came back.
    virtual bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) = 0;
    virtual void close() = 0;

    // Why the last open or request failed, for the debug log; empty if unknown.
    virtual std::string lastError() const { return {}; }
    // Why the last open failed; None after a successful one.
    virtual OpenFailure lastOpenFailure() const { return OpenFailure::None; }
    // Why the last class request failed, as far as the backend can tell.
    virtual RequestFailure lastRequestFailure() const { return RequestFailure::Other; }

    // The devices attached now that open() reaches, in device-number order,
    // with their place on the bus; nothing when the list cannot be had
    // (lastError() says why). A link that cannot tell where its devices are
    // tries the numbers 0 to 7, closing a device it has open: a device is
    // attached where it opens, or where the system refuses this user or
    // another program holds it (bus 0: no path).
    virtual std::optional<std::vector<AttachedDevice>> listDevices();
};

// A link that passes every operation on to another one, which it does not
// own. Wrappers derive from it and override only what they add, so that no
// operation (a failure's reason, the device list) is lost on the way.
class ForwardingLink : public DeviceLink {
public:
    explicit ForwardingLink(DeviceLink& to) : to_(to) {}

    bool open(int deviceNumber) override { return to_.open(deviceNumber); }
    bool isOpen() const override { return to_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return to_.getDeviceDescriptor(out); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return to_.classRequest(setup, data, length);
    }
    void close() override { to_.close(); }
    std::string lastError() const override { return to_.lastError(); }
    OpenFailure lastOpenFailure() const override { return to_.lastOpenFailure(); }
    RequestFailure lastRequestFailure() const override { return to_.lastRequestFailure(); }
    std::optional<std::vector<AttachedDevice>> listDevices() override { return to_.listDevices(); }

protected:
    DeviceLink& target() const { return to_; }

private:
    DeviceLink& to_;
};

} // namespace corvane
