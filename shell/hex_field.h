// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hexadecimal value field: a one-line field that shows an integer as "$"
// followed by at least N upper-case hexadecimal digits and accepts only
// hexadecimal input. The configuration byte fields use N = 2, the run address
// N = 4. This is the field's behaviour without any widget: formatting, reading
// and the typing rules.

#include <QString>
#include <cstdint>
#include <optional>

namespace corvane {

// "$" followed by at least `digits` upper-case hex digits. The value is 64-bit:
// a negative value shows all sixteen digits of its two's complement.
QString formatHexValue(std::int64_t value, int digits);

// Reads a field's text as an integer: a leading "$" marks hexadecimal (up to
// sixteen digits, read as a 64-bit two's complement), otherwise the text is a
// decimal number with an optional sign. Empty when the text is no number.
std::optional<std::int64_t> parseFieldValue(const QString& text);

// Reads text as hexadecimal with or without its leading "$" (at most sixteen
// digits). Empty when the text is no such number.
std::optional<std::uint64_t> parseHexDigits(const QString& text);

// The text of a field with its cursor and selection, as the typing rules see it.
struct HexEditState {
    QString text;
    int cursor = 0;         // insertion point when nothing is selected
    int selectionStart = 0; // valid when selectionLength > 0
    int selectionLength = 0;
};

// Applies one typed character to the field:
//   a-f are upper-cased; "$" replaces the whole text by "$0" and selects the 0;
//   a hex digit replaces the selection (or is inserted at the cursor) only while
//   the resulting text stays at most digits + 1 characters long.
// Every other character (Enter and Escape included) is refused. Returns false
// when refused; the caller beeps then. Backspace, copy, cut and paste are not
// characters for this function: the field lets them through itself.
bool typeHexChar(HexEditState& state, QChar ch, int digits);

// Pastes text one character at a time through typeHexChar. Returns how many
// characters were refused.
int pasteHexText(HexEditState& state, const QString& text, int digits);

} // namespace corvane
