// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/profile_file.h"

#include "core/local_text.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

namespace corvane {

namespace {

// One line of the file as it stands, its line end included, so that a
// change can write every other line back byte for byte.
struct Line {
    QByteArray text; // without the line end
    QByteArray end;  // "\r\n", "\n" or "" (the last line without one)
};

// What a line means. Anything that is neither a section header nor a
// key=value line (comments, blank lines, stray text) is kept and skipped.
struct LineMeaning {
    enum Kind { Other, Section, Key } kind = Other;
    QString name;         // section or key name, blanks around it removed
    QByteArray value;     // for a key: the value as valueOf() reads it
    qsizetype keyEnd = 0; // for a key: where its "=" stands
};

std::vector<Line> splitLines(const QByteArray& data) {
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype lf = data.indexOf('\n', start);
        if (lf < 0) {
            lines.push_back({data.mid(start), QByteArray()});
            break;
        }
        const bool cr = lf > start && data[lf - 1] == '\r';
        lines.push_back(
            {data.mid(start, lf - start - (cr ? 1 : 0)), cr ? QByteArray("\r\n") : QByteArray("\n")});
        start = lf + 1;
    }
    return lines;
}

// Reading removes these around a value (as QByteArray::trimmed() does).
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A key's value from what follows its "=": up to a carriage return inside the
// line (a write stores no more than that), the blanks around it removed, then
// one pair of double quotes around it, which a write adds to keep blanks or
// quotes at the value's ends. So whatever is read, written back, reads the
// same.
QByteArray valueOf(QByteArray stored) {
    if (const qsizetype cr = stored.indexOf('\r'); cr >= 0)
        stored.truncate(cr);
    stored = stored.trimmed();
    if (stored.size() >= 2 && stored.front() == '"' && stored.back() == '"')
        return stored.mid(1, stored.size() - 2);
    return stored;
}

// The inverse of valueOf() for a value without line breaks.
QByteArray storedForm(const QByteArray& value) {
    if (value.isEmpty())
        return value;
    const bool blankEnd = isBlank(value.front()) || isBlank(value.back());
    const bool quoted = value.front() == '"' && value.back() == '"';
    return blankEnd || quoted ? '"' + value + '"' : value;
}

LineMeaning meaningOf(const QByteArray& text) {
    LineMeaning m;
    const QByteArray trimmed = text.trimmed();
    if (trimmed.startsWith('[')) {
        const qsizetype close = trimmed.indexOf(']');
        m.kind = LineMeaning::Section;
        m.name = QString::fromUtf8(trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed());
        return m;
    }
    if (trimmed.startsWith(';'))
        return m;
    const qsizetype eq = text.indexOf('=');
    if (eq < 0)
        return m;
    m.kind = LineMeaning::Key;
    m.name = QString::fromUtf8(text.left(eq).trimmed());
    m.value = valueOf(text.mid(eq + 1));
    m.keyEnd = eq;
    if (m.name.isEmpty())
        m.kind = LineMeaning::Other;
    return m;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key stands in the file: the line of its first occurrence in a
// section of that name, and the line after the last key of the first such
// section (where a new key goes); -1 where there is none.
struct KeyPlace {
    qsizetype keyLine = -1;
    qsizetype sectionEnd = -1;
};

KeyPlace findKey(const std::vector<Line>& lines, const QString& section, const QString& key) {
    KeyPlace place;
    bool inSection = false;
    bool firstSectionDone = false;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const LineMeaning m = meaningOf(lines[std::size_t(i)].text);
        if (m.kind == LineMeaning::Section) {
            if (inSection)
                firstSectionDone = true;
            inSection = sameName(m.name, section);
            if (inSection && !firstSectionDone)
                place.sectionEnd = i + 1;
            continue;
        }
        if (!inSection || m.kind != LineMeaning::Key)
            continue;
        if (!firstSectionDone)
            place.sectionEnd = i + 1;
        if (place.keyLine < 0 && sameName(m.name, key))
            place.keyLine = i;
    }
    return place;
}

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult load(const QString& path, std::vector<Line>& lines) {
    QFile file(path);
    if (!file.exists())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return LoadResult::Unreadable;
    lines = splitLines(data);
    return LoadResult::Loaded;
}

// Loads the file for a change. A file that exists but cannot be read is not
// replaced by one holding only the change, and a file the user made
// read-only is not replaced either.
std::vector<Line> loadForChange(const QString& path) {
    std::vector<Line> lines;
    const LoadResult result = load(path, lines);
    if (result == LoadResult::Unreadable || (result == LoadResult::Loaded && !QFileInfo(path).isWritable()))
        throw ESettingsWriteError(path);
    return lines;
}

void store(const QString& path, const std::vector<Line>& lines) {
    QByteArray out;
    for (const Line& line : lines)
        out += line.text + line.end;
    QSaveFile file(path);
    // Where only the file, not its folder, may be written, write it in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        throw ESettingsWriteError(path);
}

const QByteArray kLineEnd("\r\n");

} // namespace

ESettingsWriteError::ESettingsWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path).toStdString()),
      Message(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path)) {}

std::optional<QString> ProfileFile::readString(const QString& section, const QString& key) const {
    std::vector<Line> lines;
    if (Path.isEmpty() || load(Path, lines) != LoadResult::Loaded)
        return std::nullopt;
    const KeyPlace place = findKey(lines, section, key);
    if (place.keyLine < 0)
        return std::nullopt;
    // Byte for byte: a file name that is not UTF-8 comes back as it went in.
    QString text = decodeFileName(meaningOf(lines[std::size_t(place.keyLine)].text).value);
    if (text.size() > kMaxValueLength) {
        qsizetype cut = kMaxValueLength;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text;
}

void ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    if (Path.isEmpty())
        throw ESettingsWriteError(Path);
    std::vector<Line> lines = loadForChange(Path);
    QString stored = value;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == QLatin1Char('\r') || stored[i] == QLatin1Char('\n')) {
            stored.truncate(i);
            break;
        }
    }
    const QByteArray valueBytes = storedForm(encodeFileName(stored)); // byte for byte, see readString
    const KeyPlace place = findKey(lines, section, key);
    if (place.keyLine >= 0) {
        // The key keeps its spelling and the line its line end.
        Line& line = lines[std::size_t(place.keyLine)];
        line.text = line.text.left(meaningOf(line.text).keyEnd) + '=' + valueBytes;
    } else {
        const Line added{key.toUtf8() + '=' + valueBytes, kLineEnd};
        auto at = lines.end();
        if (place.sectionEnd >= 0) {
            at = lines.begin() + place.sectionEnd;
        } else {
            if (!lines.empty() && lines.back().end.isEmpty())
                lines.back().end = kLineEnd;
            lines.push_back({'[' + section.toUtf8() + ']', kLineEnd});
            at = lines.end();
        }
        // A last line without its line end gets one before a line follows it.
        if (at != lines.begin() && (at - 1)->end.isEmpty())
            (at - 1)->end = kLineEnd;
        lines.insert(at, added);
    }
    store(Path, lines);
}

void ProfileFile::eraseSection(const QString& section) {
    if (Path.isEmpty())
        throw ESettingsWriteError(Path);
    std::vector<Line> lines = loadForChange(Path);
    std::vector<Line> kept;
    bool inSection = false;
    bool erased = false;
    for (Line& line : lines) {
        const LineMeaning m = meaningOf(line.text);
        if (m.kind == LineMeaning::Section)
            inSection = sameName(m.name, section);
        if (inSection)
            erased = true;
        else
            kept.push_back(std::move(line));
    }
    // Nothing to erase: leave the file (or its absence) alone.
    if (!erased)
        return;
    store(Path, kept);
}

} // namespace corvane
