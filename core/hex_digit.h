// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Value of a character as a hexadecimal digit: one table for the 256 byte
// values (the Intel HEX reader's fast path), and the same answer for wider
// characters.

#include <QChar>
#include <array>

namespace corvane {

// 0 to 15 for 0-9, A-F and a-f; -1 for every other byte value.
inline constexpr std::array<signed char, 256> kHexDigitValue = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c)
        table[std::size_t(c)] = static_cast<signed char>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        table[std::size_t(c)] = static_cast<signed char>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        table[std::size_t(c)] = static_cast<signed char>(c - 'a' + 10);
    return table;
}();

// A byte of text (Latin-1 or UTF-8: no digit is above 0x7F).
constexpr int hexDigitValue(char c) {
    return kHexDigitValue[static_cast<unsigned char>(c)];
}

// A character of any width; -1 for every character that is no digit.
constexpr int hexDigitValue(char32_t c) {
    return c < kHexDigitValue.size() ? kHexDigitValue[c] : -1;
}

inline int hexDigitValue(QChar c) {
    return hexDigitValue(char32_t(c.unicode()));
}

} // namespace corvane
