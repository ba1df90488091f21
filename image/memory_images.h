// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two memory images of the controller: FLASH (16 or 32 KB by controller
// type) and EEPROM (1 KB). Byte a of an image is device address a.

#include "core/chip_table.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

using TBuffer = std::vector<std::uint8_t>;

enum MemKind : std::uint8_t { MEM_FLASH = 0, MEM_EEPROM = 1 };

constexpr std::uint8_t kErased = 0xFF;
constexpr std::size_t kEepromSize = kEepromBytes;

// The FLASH size of the controller at this list index (see chipVariant).
constexpr std::size_t flashSizeForController(int controllerIndex) {
    return chipVariant(controllerIndex).flashSize;
}

struct MemoryImages {
    TBuffer FlashImage = TBuffer(0x8000, kErased);
    TBuffer EepromImage = TBuffer(kEepromSize, kErased);

    TBuffer& image(MemKind kind) { return kind == MEM_EEPROM ? EepromImage : FlashImage; }
    const TBuffer& image(MemKind kind) const { return kind == MEM_EEPROM ? EepromImage : FlashImage; }

    // Sizes FLASH for the controller and erases both images to 0xFF.
    void renew(int controllerIndex) {
        FlashImage.assign(flashSizeForController(controllerIndex), kErased);
        EepromImage.assign(kEepromSize, kErased);
    }
};

} // namespace corvane
