// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The DFU class requests the programmer sends, one function each, over a
// device link. Each builds its own setup record; none keeps state, touches a
// memory image or the window.

#include "link/class_request.h"
#include "link/device_link.h"
#include "link/protocol.h"

#include <cstdint>
#include <span>

namespace corvane::dfu {

// How one request went.
enum class Transfer {
    Done,
    Refused,  // the device stalled it
    TimedOut, // the device did not complete it in the link's time limit
    Gone,     // the device is no longer on the bus
    Failed,   // lost, short, or the channel is closed
};

// The decoded answer to a status request.
struct Status {
    std::uint8_t status = OK;      // a DfuStatus
    std::uint32_t pollTimeout = 0; // milliseconds the device asks to wait before the next request
    std::uint8_t state = dfuIDLE;  // a DfuState
    std::uint8_t iString = 0;      // index of a string describing the status
};

struct StatusReply {
    Transfer transfer = Transfer::Failed;
    Status answer;
    bool ok() const { return transfer == Transfer::Done; }
};

// The setup record of a request of this kind: class request to an interface,
// direction by kind (device to host for UPLOAD, GETSTATUS and GETSTATE).
TClassRequest setupFor(DfuRequest request);

// Decodes the 6-byte status answer.
Status decodeStatus(std::span<const std::uint8_t, wire::kStatusAnswer> answer);

// Sends data (may be empty: an empty download ends the download).
Transfer download(DeviceLink& link, std::span<const std::uint8_t> data);
// Fills all of into; fewer bytes from the device is a failure.
Transfer upload(DeviceLink& link, std::span<std::uint8_t> into);
StatusReply getStatus(DeviceLink& link);
Transfer clearStatus(DeviceLink& link);

} // namespace corvane::dfu
