// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Value of a character as a hexadecimal digit.

#include <QChar>

namespace corvane {

// 0 to 15 for 0-9, A-F and a-f; -1 for every other character.
inline int hexDigitValue(QChar ch) {
    const char16_t c = ch.unicode();
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

} // namespace corvane
