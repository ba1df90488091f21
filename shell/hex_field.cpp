// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/hex_field.h"

#include "core/hex_digit.h"

#include <algorithm>
#include <limits>

namespace corvane {

QString formatHexValue(std::int64_t value, int digits) {
    const auto bits = static_cast<std::uint64_t>(value);
    return QLatin1Char('$') + QString::number(bits, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

namespace {

std::optional<std::uint64_t> parseHexBody(QStringView body) {
    if (body.isEmpty() || body.size() > 16)
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar ch : body) {
        const int d = hexDigitValue(ch);
        if (d < 0)
            return std::nullopt;
        value = (value << 4) | static_cast<std::uint64_t>(d);
    }
    return value;
}

std::optional<std::int64_t> parseDecimal(QStringView text) {
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    // Accumulate as a negative number so that the smallest 64-bit value fits.
    std::int64_t value = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int d = c - u'0';
        if (value < (kMin + d) / 10)
            return std::nullopt;
        value = value * 10 - d;
    }
    if (!negative) {
        if (value == kMin)
            return std::nullopt;
        value = -value;
    }
    return value;
}

} // namespace

std::optional<std::int64_t> parseFieldValue(const QString& text) {
    if (text.startsWith(QLatin1Char('$'))) {
        const auto bits = parseHexBody(QStringView(text).mid(1));
        if (!bits)
            return std::nullopt;
        return static_cast<std::int64_t>(*bits);
    }
    return parseDecimal(text);
}

std::optional<std::uint64_t> parseHexDigits(const QString& text) {
    QStringView body(text);
    if (body.startsWith(u'$'))
        body = body.mid(1);
    return parseHexBody(body);
}

bool typeHexChar(HexEditState& state, QChar ch, int digits) {
    if (ch == u'$') {
        state.text = QStringLiteral("$0");
        state.selectionStart = 1;
        state.selectionLength = 1;
        state.cursor = 2;
        return true;
    }
    if (hexDigitValue(ch) < 0)
        return false;
    const QChar digit = ch.toUpper();

    int start = state.cursor;
    int length = 0;
    if (state.selectionLength > 0) {
        start = state.selectionStart;
        length = state.selectionLength;
    }
    start = std::clamp(start, 0, static_cast<int>(state.text.size()));
    length = std::clamp(length, 0, static_cast<int>(state.text.size()) - start);
    if (state.text.size() - length + 1 > digits + 1)
        return false;

    state.text.replace(start, length, digit);
    state.cursor = start + 1;
    state.selectionStart = state.cursor;
    state.selectionLength = 0;
    return true;
}

int pasteHexText(HexEditState& state, const QString& text, int digits) {
    int refused = 0;
    for (QChar ch : text) {
        if (!typeHexChar(state, ch, digits))
            ++refused;
    }
    return refused;
}

} // namespace corvane
