// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/settings.h"

#include "core/hex_digit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <limits>

namespace corvane {

std::optional<std::int32_t> parseSettingsInteger(const QString& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i < n && (text[i] == QLatin1Char('x') || text[i] == QLatin1Char('X'))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return std::nullopt;
    std::uint64_t value = 0;
    for (; i < n; ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * std::uint64_t(base) + std::uint64_t(digit);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        const auto bits = std::int32_t(std::uint32_t(value));
        return negative ? std::int32_t(0u - std::uint32_t(bits)) : bits;
    }
    if (negative) {
        if (value > std::uint64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            return std::nullopt;
        return std::int32_t(-std::int64_t(value));
    }
    if (value > std::uint64_t(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return std::int32_t(value);
}

// ------------------------------------------------------------ location

QString settingsFileBeside(const QString& executablePath) {
    const QFileInfo info(executablePath);
    QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    name += QStringLiteral(".ini");
    for (QChar& c : name) {
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + ('a' - 'A'));
    }
    QString folder = executablePath.left(executablePath.size() - info.fileName().size());
    return folder + name;
}

namespace {

// Whether the settings may live at path: an existing file that opens for
// writing, or a folder in which files can be made. An existing file that is
// read-only in a writable folder stays in use: it is read as usual, and its
// refused writes are reported.
bool canWriteSettingsAt(const QString& path) {
    QFile existing(path);
    if (existing.exists() && existing.open(QIODevice::WriteOnly | QIODevice::Append))
        return true;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.settings-probe-XXXXXX"));
    return probe.open();
}

} // namespace

// Whether the executable lies in a folder that the system's package manager
// owns: an installed program keeps no settings there, even where it could
// write (run as root).
bool isInstalledLocation(const QString& executablePath) {
    static const char* const kSystemFolders[] = {"/usr/", "/opt/", "/bin/", "/sbin/"};
    const QString path = QFileInfo(executablePath).absoluteFilePath();
    for (const char* folder : kSystemFolders) {
        if (path.startsWith(QLatin1String(folder)))
            return true;
    }
    return false;
}

QString builtInstallPrefix() {
    return QStringLiteral(CORVANE_INSTALL_PREFIX);
}

bool isInstalledProgram(const QString& executablePath, const QString& installPrefix) {
    if (isInstalledLocation(executablePath))
        return true;
    if (installPrefix.isEmpty())
        return false;
    // Both folders as the file system names them: a prefix reached through a
    // link is the same prefix. A folder that does not exist matches nothing.
    const QString folder = QFileInfo(QFileInfo(executablePath).absolutePath()).canonicalFilePath();
    const QString bin = QFileInfo(QDir(installPrefix).filePath(QStringLiteral("bin"))).canonicalFilePath();
    return !folder.isEmpty() && folder == bin;
}

QString chooseSettingsFile(const QString& executablePath, const QString& userConfigDir,
                           const QString& installPrefix) {
    const QString beside = settingsFileBeside(executablePath);
    if (userConfigDir.isEmpty() ||
        (!isInstalledProgram(executablePath, installPrefix) && canWriteSettingsAt(beside)))
        return beside;
    const QString folder = QDir(userConfigDir).filePath(QStringLiteral("corvane"));
    QDir().mkpath(folder);
    return QDir(folder).filePath(QFileInfo(beside).fileName());
}

QString chooseSettingsFile(const QString& executablePath) {
    return chooseSettingsFile(executablePath,
                              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

// ------------------------------------------------------------ accessor

const QString& TIniSettings::use(const QString& section) {
    if (!section.isEmpty())
        Section = section;
    return Section;
}

std::int32_t TIniSettings::ReadInteger(const QString& section, const QString& key,
                                       std::int32_t defaultValue) {
    const QString& name = use(section);
    const std::optional<QString> text = File.readString(name, key);
    if (!text)
        return defaultValue;
    return parseSettingsInteger(*text).value_or(defaultValue);
}

bool TIniSettings::ReadBool(const QString& section, const QString& key, bool defaultValue) {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniSettings::WriteInteger(const QString& section, const QString& key, std::int32_t value) {
    const QString& name = use(section);
    if (File.path().isEmpty())
        return;
    File.writeString(name, key, QString::number(value));
}

void TIniSettings::WriteBool(const QString& section, const QString& key, bool value) {
    WriteInteger(section, key, value ? 1 : 0);
}

void TIniSettings::LoadList(const QString& section, const QString& prefix, int capacity, QStringList& list) {
    const QString& name = use(section);
    list.clear();
    for (int i = 0; i < capacity; ++i) {
        const std::optional<QString> value = File.readString(name, prefix + QString::number(i));
        if (!value || value->isEmpty())
            break;
        list.append(*value);
    }
}

void TIniSettings::SaveList(const QString& section, const QString& prefix, int capacity,
                            const QStringList& list) {
    const QString name = use(section);
    if (File.path().isEmpty())
        return;
    File.eraseSection(name);
    const qsizetype count = std::min<qsizetype>(list.size(), capacity);
    for (qsizetype i = 0; i < count; ++i)
        File.writeString(name, prefix + QString::number(i), list[i]);
}

// ------------------------------------------------------------ recent files

qsizetype TRecentFiles::indexOf(const QString& path) const {
    for (qsizetype i = 0; i < Items.size(); ++i) {
        if (Items[i] == path) // A.hex and a.hex are two files here
            return i;
    }
    return -1;
}

void TRecentFiles::add(const QString& path) {
    if (path.trimmed().isEmpty() || path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n')))
        return;
    const qsizetype found = indexOf(path);
    if (found >= 0) {
        Items.move(found, 0);
    } else {
        Items.prepend(path);
        while (Items.size() > kCapacity)
            Items.removeLast();
    }
    changed();
}

bool TRecentFiles::remove(const QString& path) {
    const qsizetype found = indexOf(path);
    if (found < 0)
        return false;
    Items.removeAt(found);
    changed();
    return true;
}

void TRecentFiles::choose(int index, const std::function<void(const QString& path, bool& remove)>& handler) {
    if (index < 0 || index >= Items.size())
        return;
    const QString path = Items[index];
    bool removeEntry = false;
    handler(path, removeEntry);
    // The handler may have let the window run; find the entry again by name.
    const qsizetype found = indexOf(path);
    if (found < 0)
        return;
    if (removeEntry)
        Items.removeAt(found);
    else
        Items.move(found, 0);
    changed();
}

QStringList TRecentFiles::menuCaptions() const {
    QStringList captions;
    for (qsizetype i = 0; i < Items.size(); ++i) {
        QString shown = Items[i];
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        captions << QStringLiteral("&%1 %2").arg(i + 1).arg(shown);
    }
    return captions;
}

} // namespace corvane
