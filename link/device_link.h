// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device link at the level of the four driver operations. Backends: libusb
// (real hardware) and the simulated bench.

#include "link/class_request.h"

#include <cstdint>
#include <string>

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
};

} // namespace corvane
