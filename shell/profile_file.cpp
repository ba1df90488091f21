// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/profile_file.h"

#include "shell/local_text.h"

// The settings file holds plain 8-bit text; no conversion layer is wanted.
#define SI_NO_CONVERSION
// This unit instantiates the (template) implementation itself; no library to link.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace corvane {

namespace {

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult loadInto(const QString& path, CSimpleIniA& ini) {
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
    QFile file(path);
    if (!file.exists())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly))
        return LoadResult::Unreadable;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return LoadResult::Unreadable;
    if (ini.LoadData(data.constData(), std::size_t(data.size())) < 0)
        return LoadResult::Unreadable;
    return LoadResult::Loaded;
}

// Loads the file for a change. A file that exists but cannot be read is not
// replaced by one holding only the change.
void loadForChange(const QString& path, CSimpleIniA& ini) {
    if (loadInto(path, ini) == LoadResult::Unreadable)
        throw ESettingsWriteError(path);
}

void store(const QString& path, const CSimpleIniA& ini) {
    std::string text;
    if (ini.Save(text, false) < 0)
        throw ESettingsWriteError(path);
    // The library ends lines with LF alone here; the file has CR LF.
    QByteArray out;
    out.reserve(qsizetype(text.size() + text.size() / 16));
    for (char c : text) {
        if (c == '\n')
            out.append('\r');
        out.append(c);
    }
    QSaveFile file(path);
    // Where only the file, not its folder, may be written, write it in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        throw ESettingsWriteError(path);
}

QByteArray nameBytes(const QString& name) {
    return name.toUtf8();
}

} // namespace

ESettingsWriteError::ESettingsWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path).toStdString()),
      Message(QStringLiteral("nach %1 kann nicht geschrieben werden").arg(path)) {}

std::optional<QString> ProfileFile::readString(const QString& section, const QString& key) const {
    CSimpleIniA ini;
    if (Path.isEmpty() || loadInto(Path, ini) != LoadResult::Loaded)
        return std::nullopt;
    const char* value = ini.GetValue(nameBytes(section).constData(), nameBytes(key).constData(), nullptr);
    if (!value)
        return std::nullopt;
    // Byte for byte: a file name that is not UTF-8 comes back as it went in.
    QString text = decodeFileName(value);
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
    CSimpleIniA ini;
    loadForChange(Path, ini);
    QString stored = value;
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == QLatin1Char('\r') || stored[i] == QLatin1Char('\n')) {
            stored.truncate(i);
            break;
        }
    }
    if (ini.SetValue(nameBytes(section).constData(), nameBytes(key).constData(),
                     encodeFileName(stored).constData()) < 0)
        throw ESettingsWriteError(Path);
    store(Path, ini);
}

void ProfileFile::eraseSection(const QString& section) {
    if (Path.isEmpty())
        throw ESettingsWriteError(Path);
    CSimpleIniA ini;
    loadForChange(Path, ini);
    // Nothing to erase: leave the file (or its absence) alone.
    if (!ini.Delete(nameBytes(section).constData(), nullptr))
        return;
    store(Path, ini);
}

} // namespace corvane
