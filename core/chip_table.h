// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program knows of the controllers and their bootloader, in one
// place: the USB identifiers, the device numbers, the memories and their
// page and block sizes, the identification and configuration bytes with the
// area and index the bootloader keeps each under, the order in which the
// configuration is written, the bits of the security bytes, and the
// controller types in the order of the window's controller list. Adding a
// type is one entry in kChipVariants: the window's list, the tool's
// --controller values and help, the image sizes and the simulated chip follow.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace corvane {

// --- the bootloader on the bus --------------------------------------------------

inline constexpr std::uint16_t kBootVendor = 0x03EB;
inline constexpr std::uint16_t kBootProduct = 0x2FFD;
// Device numbers 0 to kDeviceCount - 1 name the attached bootloaders.
inline constexpr int kDeviceCount = 8;

// --- memories -------------------------------------------------------------------

inline constexpr std::size_t kEepromBytes = 1024;
// The bootloader programs FLASH and EEPROM a page at a time.
inline constexpr std::size_t kPageSize = 128;
// Data bytes of one display or program command, the most the bootloader takes.
inline constexpr std::size_t kMaxFrame = 1024;
// The blocks in which the window moves each memory.
inline constexpr std::size_t kFlashBlock = 1024;
inline constexpr std::size_t kEepromBlock = 256;

// One block of FLASH that the bootloader erases on its own.
struct EraseBlock {
    std::uint8_t code; // the erase command's block byte
    std::uint16_t first, last;
};

// --- identification and configuration bytes --------------------------------------

enum class ConfigId : std::uint8_t {
    BootVersion,
    Manufacturer,
    Family,
    ProductName,
    ProductRevision,
    SSB, // software security byte: its low two bits are the security level
    HSB, // hardware security byte: oscillator range, BLJB, X2
    BSB, // boot status byte
    EB,  // extra byte
    SBV, // start boot vector
    P1CF,
    P3CF,
    P4CF,
};
inline constexpr std::size_t kConfigIdCount = 13;

struct ConfigByteInfo {
    ConfigId id;
    std::uint8_t area;  // the bootloader's read and write commands name a byte by area
    std::uint8_t index; // and index
    const char* name;   // as the window's captions and the tool's messages name it
    bool identification;
};

// In the order of ConfigId.
inline constexpr std::array<ConfigByteInfo, kConfigIdCount> kConfigBytes{{
    {ConfigId::BootVersion, 0x00, 0x00, "Bootloader Version", true},
    {ConfigId::Manufacturer, 0x01, 0x30, "Manufacturer", true},
    {ConfigId::Family, 0x01, 0x31, "Family", true},
    {ConfigId::ProductName, 0x01, 0x60, "Product", true},
    {ConfigId::ProductRevision, 0x01, 0x61, "Revision", true},
    {ConfigId::SSB, 0x01, 0x05, "SSB", false},
    {ConfigId::HSB, 0x02, 0x00, "HSB", false},
    {ConfigId::BSB, 0x01, 0x00, "BSB", false},
    {ConfigId::EB, 0x01, 0x06, "EB", false},
    {ConfigId::SBV, 0x01, 0x01, "SBV", false},
    {ConfigId::P1CF, 0x01, 0x02, "P1_CF", false},
    {ConfigId::P3CF, 0x01, 0x03, "P3_CF", false},
    {ConfigId::P4CF, 0x01, 0x04, "P4_CF", false},
}};

constexpr const ConfigByteInfo& configByte(ConfigId id) {
    return kConfigBytes[static_cast<std::size_t>(id)];
}
// The byte as one number, area * 256 + index (how results name it).
constexpr std::uint32_t configAddress(ConfigId id) {
    return std::uint32_t(configByte(id).area) << 8 | configByte(id).index;
}
// The byte the bootloader keeps under this area and index; nothing for a
// pair the table does not list.
constexpr std::optional<ConfigId> configIdAt(std::uint8_t area, std::uint8_t index) {
    for (const ConfigByteInfo& b : kConfigBytes) {
        if (b.area == area && b.index == index)
            return b.id;
    }
    return std::nullopt;
}

// The bytes that identify the bootloader, in the order they are read.
inline constexpr std::array<ConfigId, 5> kIdentificationBytes{
    ConfigId::Manufacturer, ConfigId::Family, ConfigId::ProductName, ConfigId::ProductRevision,
    ConfigId::BootVersion};
// The configuration bytes besides the security byte, in the order they are read.
inline constexpr std::array<ConfigId, 7> kConfigReadOrder{ConfigId::HSB, ConfigId::BSB,  ConfigId::EB,
                                                          ConfigId::SBV, ConfigId::P1CF, ConfigId::P3CF,
                                                          ConfigId::P4CF};
// The order in which they are written; the security byte comes last, after
// all of them, since a raised level refuses further writes.
inline constexpr std::array<ConfigId, 7> kFuseOrder{ConfigId::EB,  ConfigId::BSB,  ConfigId::SBV,
                                                    ConfigId::HSB, ConfigId::P1CF, ConfigId::P3CF,
                                                    ConfigId::P4CF};

// Software security byte: level = SSB & 3. 3 is unlocked; 2 refuses writes of
// FLASH and EEPROM; 1 and 0 refuse their reads as well. Only a chip erase
// lowers it again; the bootloader takes 0xFE (level 2) and 0xFC (level 0).
inline constexpr std::uint8_t kNotLocked = 3;
constexpr std::uint8_t securityLevel(std::uint8_t ssb) {
    return ssb & 3;
}
inline constexpr std::uint8_t kSsbIspDisabled = 0xFE;
inline constexpr std::uint8_t kSsbIspVerifyDisabled = 0xFC;

// Hardware security byte. X2 and BLJB are active low (a 0 bit means on).
inline constexpr std::uint8_t kHsbX2 = 0x80;
inline constexpr std::uint8_t kHsbBljb = 0x40;
inline constexpr std::uint8_t kHsbOscShift = 4;
inline constexpr std::uint8_t kHsbOscMask = 0x30;
// The oscillator ranges by their bits 5..4: 11 up to 32 MHz, 10 up to 16 MHz,
// 01 up to 8 MHz; 00 is no range the bootloader documents.
constexpr std::optional<int> oscillatorMegahertz(std::uint8_t hsb) {
    switch ((hsb & kHsbOscMask) >> kHsbOscShift) {
    case 3:
        return 32;
    case 2:
        return 16;
    case 1:
        return 8;
    default:
        return std::nullopt;
    }
}

// --- controller types -------------------------------------------------------------

struct ChipVariant {
    const char* listName;  // as the window's controller list shows it
    const char* name;      // the type's plain name
    const char* shortName; // what --controller takes besides the name
    std::size_t flashSize;
    std::uint8_t productCode; // the product byte the bootloader reports
    std::span<const EraseBlock> eraseBlocks;
};

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
