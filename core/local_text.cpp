// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/local_text.h"

#include <cstring>

namespace corvane {

namespace {

constexpr char16_t kKeptByteBase = 0xDC00; // U+DC80..U+DCFF hold the bytes 0x80..0xFF

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at p (at most n bytes there) and its
// code point; 0 when the bytes there are not one.
int utf8Sequence(const unsigned char* p, qsizetype n, char32_t& code) {
    const unsigned char c = p[0];
    int length = 0;
    char32_t min = 0;
    if (c < 0x80) {
        code = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
        min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
        min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(p[i]))
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

} // namespace

QString decodeFileName(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        char32_t code = 0;
        const int length = utf8Sequence(p + i, n - i, code);
        if (length == 0) {
            text.append(QChar(char16_t(kKeptByteBase + p[i])));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            const char32_t high = 0xD800 + ((code - 0x10000) >> 10);
            const char32_t low = 0xDC00 + ((code - 0x10000) & 0x3FF);
            text.append(QChar(char16_t(high)));
            text.append(QChar(char16_t(low)));
        } else {
            text.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return text;
}

QString decodeFileName(const char* bytes) {
    return decodeFileName(QByteArray(bytes, qsizetype(std::strlen(bytes))));
}

QByteArray encodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= kKeptByteBase + 0x80 && u <= kKeptByteBase + 0xFF) {
            out.append(char(u - kKeptByteBase));
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, 0xFFFD); // no name decodes to this; written as the replacement character
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

QString escapeControlChars(const QString& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        int shown = -1; // the value written as \xNN
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown = u;
        else if (u >= kKeptByteBase + 0x80 && u <= kKeptByteBase + 0xFF &&
                 !(i > 0 && QChar::isHighSurrogate(text[i - 1].unicode())))
            shown = u - kKeptByteBase;
        if (shown < 0) {
            out.append(text[i]);
            continue;
        }
        out.append(QLatin1String("\\x"));
        out.append(QLatin1Char(kDigits[(shown >> 4) & 0xF]));
        out.append(QLatin1Char(kDigits[shown & 0xF]));
    }
    return out;
}

} // namespace corvane
