// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/config_controls.h"

namespace corvane {

std::uint8_t composeHsb(int oscIndex, bool bljbChecked, bool x2Checked) {
    // The low four bits are always 1011.
    unsigned hsb = 0x0B;
    hsb |= (static_cast<unsigned>(oscIndex ^ 3) & 3u) << kHsbOscShift;
    if (!bljbChecked)
        hsb |= kHsbBljb;
    if (!x2Checked)
        hsb |= kHsbX2;
    return static_cast<std::uint8_t>(hsb);
}

HsbControls decodeHsb(std::uint8_t hsb) {
    return HsbControls{((hsb & kHsbOscMask) >> kHsbOscShift) ^ 3, (hsb & kHsbBljb) == 0, (hsb & kHsbX2) == 0};
}

int ssbItemForLevel(std::uint8_t securityLevel) {
    static constexpr int kItems[4] = {2, 2, 1, 0};
    return kItems[securityLevel & 3];
}

std::optional<std::uint8_t> ssbValueForItem(int item) {
    switch (item) {
    case 1:
        return kSsbIspDisabled;
    case 2:
        return kSsbIspVerifyDisabled;
    default:
        return std::nullopt;
    }
}

QString identificationText(int readResult) {
    return QString::number(static_cast<std::uint32_t>(readResult), 16)
        .toUpper()
        .rightJustified(2, QLatin1Char('0'));
}

QString bootVersionText(int readResult) {
    return QStringLiteral("1.0.") + QString::number(static_cast<std::uint32_t>(readResult), 16).toUpper();
}

} // namespace corvane
