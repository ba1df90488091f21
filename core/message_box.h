// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message box vocabulary shared by the core and the front ends. The core asks a
// MessagePresenter to show a box; the window shows a modal dialog, the
// command-line tool prints the text, tests record the call.

#include <QString>
#include <cstdint>

namespace corvane {

enum class MessageKind : std::uint8_t {
    Warning = 0,      // exclamation mark
    Error = 1,        // stop sign
    Information = 2,  // information sign
    Confirmation = 3, // question mark
    Custom = 4,       // no icon
};

using MessageButtons = std::uint16_t;
namespace MessageButton {
constexpr MessageButtons Yes = 0x0001;
constexpr MessageButtons No = 0x0002;
constexpr MessageButtons Ok = 0x0004;
constexpr MessageButtons Cancel = 0x0008;
constexpr MessageButtons Abort = 0x0010; // captioned "Abbrechen", returns ResultAbort
constexpr MessageButtons Retry = 0x0020;
constexpr MessageButtons Ignore = 0x0040;
constexpr MessageButtons All = 0x0080;
constexpr MessageButtons Help = 0x0400;
// Not a button: the second button shown is the default (Enter) instead of the
// first, for questions whose first answer cannot be undone.
constexpr MessageButtons DefaultSecond = 0x0100;
} // namespace MessageButton

// Result codes of a closed box, one per button.
namespace MessageResult {
constexpr int None = 0;
constexpr int Ok = 1;
constexpr int Cancel = 2;
constexpr int Abort = 3;
constexpr int Retry = 4;
constexpr int Ignore = 5;
constexpr int Yes = 6;
constexpr int No = 7;
constexpr int All = 8;
constexpr int Help = 9;
} // namespace MessageResult

class MessagePresenter {
public:
    virtual ~MessagePresenter() = default;
    // caption is never empty here (callers substitute the application title);
    // text uses "\r" as its line separator. Returns a MessageResult code.
    virtual int showMessageBox(const QString& caption, const QString& text, MessageKind kind,
                               MessageButtons buttons, bool beep) = 0;
};

} // namespace corvane

#include "core/app_info.h"

namespace corvane {

// Shows a box through the presenter; an empty caption becomes the application
// title. Every box of the program beeps first.
inline int ShowMessageBox(MessagePresenter& presenter, QString caption, const QString& text, MessageKind kind,
                          MessageButtons buttons, bool beep = true) {
    if (caption.isEmpty())
        caption = titleText();
    return presenter.showMessageBox(caption, text, kind, buttons, beep);
}

// Text of the general error box: a final point is added when the message's
// last character sorts above '.', so "...!" and "...)" stay as they are.
inline QString generalErrorText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

} // namespace corvane
