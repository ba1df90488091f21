// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window's buttons ask the operations to do, built from the controls
// when a button is clicked, and what an operation reports back to the window.

#include "image/memory_images.h"
#include "ops/op_result.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace corvane {

// An operation's result with the text its message box showed (empty on
// success and when stopped on request).
struct ShownResult : OpResult {
    QString message;

    static ShownResult of(const OpResult& result, QString message) {
        ShownResult r;
        static_cast<OpResult&>(r) = result;
        r.message = std::move(message);
        return r;
    }
};

// READ: the identification and configuration always, FLASH and EEPROM as
// asked, into the memory images.
struct ReadRequest {
    bool flash = true;
    bool eeprom = true;
};

// ERASE: the chip erase, then the identification and configuration again.
struct EraseRequest {};

// The configuration bytes WRITE's fuse step writes.
struct ConfigRequest {
    // EB, BSB, SBV, HSB, P1_CF, P3_CF, P4_CF: the order in which they are
    // written, and only on a device that is not locked. A byte left empty is
    // not written: the chip keeps its value.
    std::array<std::optional<std::uint8_t>, 7> bytes{};
    // The software security byte; nothing: it is not written.
    std::optional<std::uint8_t> ssb;
    // Set when a byte could not be taken (an emptied field, a byte whose read
    // failed): reported before anything changes on a device that is not
    // locked or that the write erases; a locked device takes only the
    // security byte and does not need the others.
    ShownResult problem;
};

// WRITE: FLASH and EEPROM from these images (nothing: not written), then the
// configuration bytes.
struct WriteRequest {
    std::optional<TBuffer> flash;
    std::optional<TBuffer> eeprom;
    // Erase the chip first (only when FLASH is written).
    bool erase = false;
    // All of FLASH, not only the blocks up to the last byte that is not 0xFF.
    bool flashAll = false;
    std::optional<ConfigRequest> config;
};

// RUN: reset the controller, or jump to the address.
struct StartRequest {
    bool reset = false;
    std::uint16_t address = 0;
    // Set when the address could not be taken; reported once the device has
    // been identified, before the start command.
    ShownResult problem;
};

} // namespace corvane
