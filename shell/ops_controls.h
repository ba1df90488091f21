// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of the configuration and operation controls of the main window,
// with their click and change handlers. The window binds its widgets to this
// model.
//
// Semantics kept from the window's controls:
//  - a check box changed by the program runs its click handler, but only when
//    its state actually changes (setChecked);
//  - selecting a list item from the program runs no change handler (setIndex);
//    a selection by the user does (select);
//  - LabHSB is the only holder of the hardware security byte to write.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace corvane {

enum class Ctl : int {
    // identification labels
    LabManufacturer,
    LabFamily,
    LabProduct,
    LabRevision,
    LabBootVersion,
    // configuration bytes
    cbOsc,
    LabHSB,
    chkBLJB,
    chkX2,
    EdBSB,
    EdEB,
    EdSBV,
    EdP1CF,
    EdP3CF,
    EdP4CF,
    cbSSB,
    // start application
    ButRun,
    chkReset,
    EdStart,
    // action
    ButRead,
    ButErase,
    ButWrite,
    chkFlash,
    chkEEP,
    chkFuses,
    chkAutoErase,
    chkFlashAll,
    // status bar selectors
    cbDevice,
    cbController,
};
constexpr int kControlCount = static_cast<int>(Ctl::cbController) + 1;

enum class CtlKind { Label, Button, CheckBox, ComboBox, HexField };

CtlKind controlKind(Ctl c);
// Number of digits a hex value field shows at least (2, or 4 for EdStart); 0 for
// other controls.
int hexFieldDigits(Ctl c);
// Number of items of a list (cbOsc, cbSSB, cbDevice, cbController); 0 otherwise.
int comboItemCount(Ctl c);
// The control's name, e.g. "EdBSB".
const char* controlName(Ctl c);

class OpsControls {
public:
    OpsControls();

    // Called after every setter, also one that leaves the state as it was, so
    // that a window shows what the program set last even where its widget was
    // changed behind the model's back.
    void setListener(std::function<void(Ctl)> listener) { listener_ = std::move(listener); }
    // Called after each action of the user below (and userChanged()).
    void setUserListener(std::function<void(Ctl)> listener) { userListener_ = std::move(listener); }

    const QString& text(Ctl c) const { return state(c).text; }
    bool checked(Ctl c) const { return state(c).checked; }
    int index(Ctl c) const { return state(c).index; }
    bool enabled(Ctl c) const { return state(c).enabled; }
    // The number a hex value field holds; empty when its text is no number.
    std::optional<std::int64_t> hexValue(Ctl c) const;

    // --- changes made by the program
    void setText(Ctl c, const QString& text);
    void setHexValue(Ctl c, std::int64_t value);
    // Runs the click handler when the state changes.
    void setChecked(Ctl c, bool checked);
    // Runs no change handler. An index outside the list leaves no selection (-1).
    void setIndex(Ctl c, int index);
    void setEnabled(Ctl c, bool enabled);

    // --- actions of the user
    // A click on a check box: toggles it and runs its click handler.
    void click(Ctl c);
    // The user picking a list item: runs the list's change handler.
    void select(Ctl c, int index);
    // The user typing into a field (the text already follows the typing rules).
    void edit(Ctl c, const QString& text) {
        setText(c, text);
        userChanged(c);
    }
    // The user changed the control in the widget; its new state has already
    // been set.
    void userChanged(Ctl c) {
        if (userListener_)
            userListener_(c);
    }

    // --- handlers
    // Composes the HSB from cbOsc, chkBLJB and chkX2 into LabHSB.
    void HsbChange();
    void chkBLJBClick() { HsbChange(); }
    // RESET checked: remember EdStart's address, show $0000 and disable the
    // field. Unchecked: show the remembered address and enable the field.
    void chkResetClick();

    // The run address remembered while RESET is checked.
    std::uint16_t SavedRunAddress = 0;

private:
    struct State {
        QString text;
        bool checked = false;
        int index = -1;
        bool enabled = true;
    };
    State& state(Ctl c) { return states_[static_cast<std::size_t>(c)]; }
    const State& state(Ctl c) const { return states_[static_cast<std::size_t>(c)]; }
    void changed(Ctl c);
    void runClickHandler(Ctl c);

    std::array<State, kControlCount> states_;
    std::function<void(Ctl)> listener_;
    std::function<void(Ctl)> userListener_;
};

} // namespace corvane
