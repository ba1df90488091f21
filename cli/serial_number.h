// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Serial numbers written into each chip: where they go, how a number becomes
// bytes, and whether it would overwrite the image's own data.

#include "image/memory_images.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvane::cli {

enum class SerialFormat {
    Hex,   // the number in binary, size bytes, most significant first
    Bcd,   // two decimal digits per byte, most significant first
    Ascii, // decimal digits as characters, zero-padded to size
};

struct SerialPlace {
    MemKind memory = MEM_FLASH;
    std::uint32_t address = 0;
};

struct SerialLayout {
    std::uint64_t start = 0;
    SerialPlace place;
    int size = 4;
    SerialFormat format = SerialFormat::Hex;
    bool littleEndian = false; // hex and bcd: least significant byte first
    bool overwrite = false;    // may replace bytes that the image holds
};

std::optional<SerialFormat> parseSerialFormat(const QString& text);
// "flash:ADDR" or "eeprom:ADDR", the address hexadecimal ("7FF0", "0x7FF0", "$7FF0").
std::optional<SerialPlace> parseSerialPlace(const QString& text);
// A serial number as typed: decimal, or hexadecimal after "0x".
std::optional<std::uint64_t> parseSerialValue(const QString& text);

// The bytes of value in the format, size bytes long. std::nullopt with error
// set when the number does not fit.
std::optional<std::vector<std::uint8_t>> encodeSerial(std::uint64_t value, const SerialLayout& layout,
                                                      QString& error);

// Checks that the serial fits the memory (of memorySize bytes) and, unless
// layout.overwrite, that the image holds no data (a byte other than 0xFF)
// where it goes. Empty when it may be written, else the reason.
QString checkSerialPlace(const SerialLayout& layout, const TBuffer& image, std::size_t memorySize);

// Puts the bytes into the image at the serial's place.
void placeSerial(TBuffer& image, const SerialLayout& layout, const std::vector<std::uint8_t>& bytes);

} // namespace corvane::cli
