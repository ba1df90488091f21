// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller types the program knows, in the order of the window's
// controller list. Adding a type is one entry here: the window's list, the
// tool's --controller values and help, and the image sizes follow it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace corvane {

// One block of FLASH that the bootloader erases on its own.
struct EraseBlock {
    std::uint8_t code; // the erase command's block byte
    std::uint16_t first, last;
};

struct ChipVariant {
    const char* listName;  // as the window's controller list shows it
    const char* name;      // the type's plain name
    const char* shortName; // what --controller takes besides the name
    std::size_t flashSize;
    std::uint8_t productCode; // the product byte the bootloader reports
    std::span<const EraseBlock> eraseBlocks;
};

inline constexpr std::size_t kEepromBytes = 1024;

inline constexpr std::array<EraseBlock, 3> kEraseBlocks32K{{
    {0x00, 0x0000, 0x1FFF},
    {0x20, 0x2000, 0x3FFF},
    {0x40, 0x4000, 0x7FFF},
}};

inline constexpr std::array<ChipVariant, 2> kChipVariants{{
    {"AT89C5131 (A)", "AT89C5131", "5131", 0x8000, 0x31, std::span(kEraseBlocks32K)},
    {"AT89C5130 (A)", "AT89C5130", "5130", 0x4000, 0x30, std::span(kEraseBlocks32K).first(2)},
}};

// The variant at a controller list index; every index outside the list, no
// selection (-1) included, is the first one.
constexpr const ChipVariant& chipVariant(int index) {
    return index >= 0 && std::size_t(index) < kChipVariants.size() ? kChipVariants[std::size_t(index)]
                                                                   : kChipVariants[0];
}

// The list index of the variant named (its name or short name, any letter
// case); nothing for an unknown name.
constexpr std::optional<int> chipVariantIndex(std::string_view name) {
    constexpr auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    constexpr auto same = [upper](std::string_view a, std::string_view b) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (upper(a[i]) != upper(b[i]))
                return false;
        }
        return true;
    };
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        if (same(name, kChipVariants[i].name) || same(name, kChipVariants[i].shortName))
            return int(i);
    }
    return std::nullopt;
}

// The variant whose bootloader reports this product byte, if any.
constexpr std::optional<int> chipVariantForProduct(std::uint8_t productCode) {
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        if (kChipVariants[i].productCode == productCode)
            return int(i);
    }
    return std::nullopt;
}

} // namespace corvane
