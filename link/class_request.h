// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 10-byte class-request record that accompanies every DFU class request.

#include "link/protocol.h"

#include <array>
#include <cstdint>

namespace corvane {

// Wire layout, little-endian 16-bit fields:
// 0 Direction (0 host to device, 1 device to host), 1 RequestType (1 class),
// 2 Recipient (1 interface), 3 RequestTypeReserved, 4 Request, 5 filler,
// 6-7 Value, 8-9 Index.
struct TClassRequest {
    std::uint8_t Direction = 0;
    std::uint8_t RequestType = 0;
    std::uint8_t Recipient = 0;
    std::uint8_t RequestTypeReserved = 0;
    std::uint8_t Request = 0;
    std::uint8_t Filler = 0;
    std::uint16_t Value = 0;
    std::uint16_t Index = 0;

    std::array<std::uint8_t, 10> bytes() const {
        return {Direction,
                RequestType,
                Recipient,
                RequestTypeReserved,
                Request,
                Filler,
                static_cast<std::uint8_t>(Value & 0xFF),
                static_cast<std::uint8_t>(Value >> 8),
                static_cast<std::uint8_t>(Index & 0xFF),
                static_cast<std::uint8_t>(Index >> 8)};
    }

    // The USB setup packet's bmRequestType: type class (01), recipient interface (00001),
    // direction bit 7 from Direction: 0x21 or 0xA1.
    std::uint8_t bmRequestType() const {
        return static_cast<std::uint8_t>((Direction ? 0x80 : 0x00) | (RequestType << 5) | Recipient);
    }
};

using DeviceDescriptor = std::array<std::uint8_t, 18>;

} // namespace corvane
