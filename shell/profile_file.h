// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file's text format: sections in brackets, key=value lines,
// names matched without regard to letter case, CR LF line ends for what is
// added. Every call reads the file afresh (and writes it back for a change);
// nothing is cached.
//
// A change touches only its own line: every other line, comments, unknown
// keys and sections, blank lines and their line ends, stays byte for byte.
// Of keys that appear twice the first is read and the first is written.
// Values are cut to 2047 characters when read, line breaks are kept out of
// them, a file that exists but cannot be read (or is read-only) is never
// replaced, and the file is replaced atomically.
//
// Reading removes the blanks around a value, then one pair of double quotes
// around it; a value that begins or ends with a blank, or begins and ends
// with a double quote, is written in double quotes. So a value reads back
// exactly as it was written, and whatever is read, written back, reads the
// same.

#include <QString>
#include <optional>
#include <stdexcept>

namespace corvane {

// A write of the settings file that the system refused. The text is
// "nach <path> kann nicht geschrieben werden".
class ESettingsWriteError : public std::runtime_error {
public:
    explicit ESettingsWriteError(const QString& path);
    const QString& message() const { return Message; }

private:
    QString Message;
};

class ProfileFile {
public:
    static constexpr qsizetype kMaxValueLength = 2047;

    explicit ProfileFile(QString path) : Path(std::move(path)) {}
    const QString& path() const { return Path; }

    // The value as stored (up to a carriage return, blanks and then a pair of
    // double quotes around it removed, cut to 2047 characters), or nothing
    // for a missing file, section or key.
    std::optional<QString> readString(const QString& section, const QString& key) const;
    // Replaces the key's value where it stands; a new key goes to the end of
    // its section, a new section to the end of the file. A value is stored up
    // to its first line break. Raises ESettingsWriteError.
    void writeString(const QString& section, const QString& key, const QString& value);
    // Removes the section's header and all its keys. Raises ESettingsWriteError.
    void eraseSection(const QString& section);

private:
    QString Path;
};

} // namespace corvane
