// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/config_bytes.h"

namespace corvane {

std::uint8_t composeHsb(int oscIndex, bool bljbChecked, bool x2Checked) {
    unsigned hsb = 0x0B;
    hsb |= (static_cast<unsigned>(oscIndex ^ 3) & 3u) << 4;
    if (!bljbChecked)
        hsb |= 0x40;
    if (!x2Checked)
        hsb |= 0x80;
    return static_cast<std::uint8_t>(hsb);
}

HsbControls decodeHsb(std::uint8_t hsb) {
    return HsbControls{((hsb >> 4) & 3) ^ 3, (hsb & 0x40) == 0, (hsb & 0x80) == 0};
}

int ssbItemForLevel(std::uint8_t securityLevel) {
    static constexpr int kItems[4] = {2, 2, 1, 0};
    return kItems[securityLevel & 3];
}

std::optional<std::uint8_t> ssbValueForItem(int item) {
    switch (item) {
    case 1:
        return 0xFE;
    case 2:
        return 0xFC;
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
