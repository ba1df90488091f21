// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's configuration controls and the bytes they stand for: how the
// hardware security byte is composed from its three controls and decoded into
// them, what the security list's items mean, and how the identification
// labels show a byte read.

#include "core/chip_table.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace corvane {

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

} // namespace corvane
