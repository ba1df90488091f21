// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controller's identification and configuration bytes: where the
// bootloader keeps each one (area and index of its read and write commands),
// how the hardware security byte is composed and decoded, and what the software
// security byte means.

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace corvane {

struct ConfigByte {
    std::uint8_t area;
    std::uint8_t index;
};

namespace ConfigMap {
constexpr ConfigByte BootVersion{0, 0x00};
constexpr ConfigByte Manufacturer{1, 0x30};
constexpr ConfigByte Family{1, 0x31};
constexpr ConfigByte Product{1, 0x60};
constexpr ConfigByte Revision{1, 0x61};
constexpr ConfigByte SSB{1, 0x05};
constexpr ConfigByte HSB{2, 0x00};
constexpr ConfigByte BSB{1, 0x00};
constexpr ConfigByte EB{1, 0x06};
constexpr ConfigByte SBV{1, 0x01};
constexpr ConfigByte P1CF{1, 0x02};
constexpr ConfigByte P3CF{1, 0x03};
constexpr ConfigByte P4CF{1, 0x04};
} // namespace ConfigMap

// Security level of an unlocked device (the low two bits of the SSB).
constexpr std::uint8_t kNotLocked = 3;

// The hardware security byte from its three controls. Bit 7 is 0 when X2 is
// checked, bit 6 is 0 when BLJB is checked, bits 5..4 are the oscillator item
// XOR 3 (00 with no item selected), bits 3..0 are always 1011.
std::uint8_t composeHsb(int oscIndex, bool bljbChecked, bool x2Checked);

// The controls' states decoded from a hardware security byte. The oscillator
// index is 3 for the bits 00, which the three-item list does not have.
struct HsbControls {
    int oscIndex;
    bool bljbChecked;
    bool x2Checked;
};
HsbControls decodeHsb(std::uint8_t hsb);

// The items of the oscillator list cbOsc and of the security list cbSSB.
constexpr std::array<const char*, 3> kOscillatorItems{"11 - 0..32 MHz", "10 - 0..16 MHz", "01 - 0..8 MHz"};
constexpr std::array<const char*, 3> kSsbItems{"11 - No program locks", "01 - ISP disabled",
                                               "10 - ISP + verify disabled"};

// The cbSSB item shown for a security level (0..3): 0 and 1 show item 2, 2 shows
// item 1, 3 shows item 0.
int ssbItemForLevel(std::uint8_t securityLevel);

// The SSB value written for a cbSSB item: nothing for item 0 (the SSB is never
// written back to 0xFF), 0xFE for item 1, 0xFC for item 2.
std::optional<std::uint8_t> ssbValueForItem(int item);

// An identification byte as shown in its label: at least two upper-case hex
// digits; a failure code shows the eight digits of its 32-bit two's complement.
QString identificationText(int readResult);
// The bootloader version label: "1.0." followed by at least one hex digit.
QString bootVersionText(int readResult);

// The order in which the fuse step writes the configuration bytes before the
// security byte, with the name used in its failure message.
struct FuseStep {
    const char* name;
    ConfigByte where;
};
constexpr std::array<FuseStep, 7> kFuseOrder{{
    {"EB", ConfigMap::EB},
    {"BSB", ConfigMap::BSB},
    {"SBV", ConfigMap::SBV},
    {"HSB", ConfigMap::HSB},
    {"P1_CF", ConfigMap::P1CF},
    {"P3_CF", ConfigMap::P3CF},
    {"P4_CF", ConfigMap::P4CF},
}};

} // namespace corvane
