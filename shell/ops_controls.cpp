// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ops_controls.h"

#include "shell/config_controls.h"
#include "shell/hex_field.h"

namespace corvane {

CtlKind controlKind(Ctl c) {
    switch (c) {
    case Ctl::LabManufacturer:
    case Ctl::LabFamily:
    case Ctl::LabProduct:
    case Ctl::LabRevision:
    case Ctl::LabBootVersion:
    case Ctl::LabHSB:
        return CtlKind::Label;
    case Ctl::ButRun:
    case Ctl::ButRead:
    case Ctl::ButErase:
    case Ctl::ButWrite:
        return CtlKind::Button;
    case Ctl::chkBLJB:
    case Ctl::chkX2:
    case Ctl::chkReset:
    case Ctl::chkFlash:
    case Ctl::chkEEP:
    case Ctl::chkFuses:
    case Ctl::chkAutoErase:
    case Ctl::chkFlashAll:
        return CtlKind::CheckBox;
    case Ctl::cbOsc:
    case Ctl::cbSSB:
    case Ctl::cbDevice:
    case Ctl::cbController:
        return CtlKind::ComboBox;
    case Ctl::EdBSB:
    case Ctl::EdEB:
    case Ctl::EdSBV:
    case Ctl::EdP1CF:
    case Ctl::EdP3CF:
    case Ctl::EdP4CF:
    case Ctl::EdStart:
        return CtlKind::HexField;
    }
    return CtlKind::Label;
}

int hexFieldDigits(Ctl c) {
    if (controlKind(c) != CtlKind::HexField)
        return 0;
    return c == Ctl::EdStart ? 4 : 2;
}

int comboItemCount(Ctl c) {
    switch (c) {
    case Ctl::cbOsc:
    case Ctl::cbSSB:
        return 3;
    case Ctl::cbDevice:
        return 8;
    case Ctl::cbController:
        return 2;
    default:
        return 0;
    }
}

const char* controlName(Ctl c) {
    static constexpr const char* kNames[kControlCount] = {
        "LabManufacturer", "LabFamily",    "LabProduct",  "LabRevision", "LabBootVersion", "cbOsc",
        "LabHSB",          "chkBLJB",      "chkX2",       "EdBSB",       "EdEB",           "EdSBV",
        "EdP1CF",          "EdP3CF",       "EdP4CF",      "cbSSB",       "ButRun",         "chkReset",
        "EdStart",         "ButRead",      "ButErase",    "ButWrite",    "chkFlash",       "chkEEP",
        "chkFuses",        "chkAutoErase", "chkFlashAll", "cbDevice",    "cbController",
    };
    return kNames[static_cast<int>(c)];
}

OpsControls::OpsControls() {
    // The window's controls as created, before anything has been cleared or read.
    for (Ctl c : {Ctl::LabManufacturer, Ctl::LabFamily, Ctl::LabProduct, Ctl::LabRevision, Ctl::LabHSB})
        state(c).text = QStringLiteral("--");
    state(Ctl::LabBootVersion).text = QStringLiteral("-.-.-");
    for (Ctl c : {Ctl::EdBSB, Ctl::EdEB, Ctl::EdSBV, Ctl::EdP1CF, Ctl::EdP3CF, Ctl::EdP4CF})
        state(c).text = QStringLiteral("$00");
    state(Ctl::EdStart).text = QStringLiteral("$0000");
}

std::optional<std::int64_t> OpsControls::hexValue(Ctl c) const {
    return parseFieldValue(text(c));
}

void OpsControls::changed(Ctl c) {
    if (listener_)
        listener_(c);
}

void OpsControls::setText(Ctl c, const QString& text) {
    state(c).text = text;
    changed(c);
}

void OpsControls::setHexValue(Ctl c, std::int64_t value) {
    setText(c, formatHexValue(value, hexFieldDigits(c)));
}

void OpsControls::setChecked(Ctl c, bool checked) {
    const bool changes = state(c).checked != checked;
    state(c).checked = checked;
    changed(c);
    if (changes)
        runClickHandler(c);
}

void OpsControls::setIndex(Ctl c, int index) {
    if (index < 0 || index >= comboItemCount(c))
        index = -1;
    state(c).index = index;
    changed(c);
}

void OpsControls::setEnabled(Ctl c, bool enabled) {
    state(c).enabled = enabled;
    changed(c);
}

void OpsControls::click(Ctl c) {
    setChecked(c, !checked(c));
    userChanged(c);
}

void OpsControls::select(Ctl c, int index) {
    setIndex(c, index);
    if (c == Ctl::cbOsc)
        HsbChange();
    userChanged(c);
}

void OpsControls::runClickHandler(Ctl c) {
    switch (c) {
    case Ctl::chkBLJB:
        chkBLJBClick();
        break;
    case Ctl::chkX2:
        HsbChange();
        break;
    case Ctl::chkReset:
        chkResetClick();
        break;
    default:
        break;
    }
}

void OpsControls::HsbChange() {
    const std::uint8_t hsb = composeHsb(index(Ctl::cbOsc), checked(Ctl::chkBLJB), checked(Ctl::chkX2));
    setText(Ctl::LabHSB, formatHexValue(hsb, 2));
}

void OpsControls::chkResetClick() {
    if (checked(Ctl::chkReset)) {
        SavedRunAddress = static_cast<std::uint16_t>(parseHexDigits(text(Ctl::EdStart)).value_or(0) & 0xFFFF);
        setText(Ctl::EdStart, QStringLiteral("$0000"));
        setEnabled(Ctl::EdStart, false);
    } else {
        setText(Ctl::EdStart, formatHexValue(SavedRunAddress, 4));
        setEnabled(Ctl::EdStart, true);
    }
}

} // namespace corvane
