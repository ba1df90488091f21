// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text that comes from outside the program. File names are bytes to the
// system; they are decoded as UTF-8 (the local 8-bit encoding), and every
// byte that is not part of valid UTF-8 is kept as a code point of its own, so
// that encoding the name again gives the very same bytes. Text shown to the
// user that came from a file or a device has its control characters escaped.

#include <QByteArray>
#include <QString>

namespace corvane {

// The bytes as text: valid UTF-8 as such, every other byte b as the single
// (unpaired) code unit U+DC00 + b.
QString decodeFileName(const QByteArray& bytes);
QString decodeFileName(const char* bytes);
// The inverse: encodeFileName(decodeFileName(b)) == b for all bytes b.
QByteArray encodeFileName(const QString& name);

// The text with control characters (U+0000 to U+001F, U+007F to U+009F) and
// bytes kept from a name that is not valid UTF-8 written as \xNN; all other
// characters, the backslash included, stay as they are.
QString escapeControlChars(const QString& text);

} // namespace corvane
