// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings accessor of the main window, the location of the settings
// file and the recent-file lists.

#include "shell/profile_file.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

namespace corvane {

// Integer as the settings file stores it: optional blanks, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x" or "0x" (x in
// either case). Hexadecimal values fill 32 bits (so "$FFFFFFFF" is -1).
// Nothing for anything else, or for a decimal number outside 32 bits.
std::optional<std::int32_t> parseSettingsInteger(const QString& text);

// Settings file beside the executable: its path with the extension replaced
// by ".ini" and the file name (not the folders) in lower case, ASCII letters
// only: /opt/Tools/Prog.EXE gives /opt/Tools/prog.ini.
QString settingsFileBeside(const QString& executablePath);

// Whether the executable lies in a folder the system's package manager owns
// (/usr, /opt, /bin, /sbin): such an installed program keeps its settings in
// the user's configuration folder.
bool isInstalledLocation(const QString& executablePath);

// The install prefix the program was built for (CMAKE_INSTALL_PREFIX).
QString builtInstallPrefix();

// Whether the program runs installed: from a system folder, or from the bin
// folder of installPrefix (symbolic links resolved). A program run from its
// build folder or from an unpacked copy is not installed.
bool isInstalledProgram(const QString& executablePath, const QString& installPrefix = builtInstallPrefix());

// Where the settings live: beside the executable when the program is not
// installed and that file can be written there or the folder can be written
// (a read-only file there is still used); otherwise
// <userConfigDir>/corvane/<same name>, whose folder is made.
QString chooseSettingsFile(const QString& executablePath, const QString& userConfigDir,
                           const QString& installPrefix = builtInstallPrefix());
// The same with the user's configuration folder of the platform
// (XDG_CONFIG_HOME, else ~/.config).
QString chooseSettingsFile(const QString& executablePath);

// The settings accessor (the main window's Ini). Each operation opens the
// file, does its one access and closes it again. An empty section name means
// the section of the last access ("Common" before any named access).
class TIniSettings {
public:
    TIniSettings() = default;
    explicit TIniSettings(const QString& fileName) : File(fileName) {}

    // Until a file name is set, reads give their defaults and writes do nothing.
    void setFileName(const QString& fileName) { File = ProfileFile(fileName); }
    const QString& fileName() const { return File.path(); }
    const QString& lastSection() const { return Section; }

    bool ReadBool(const QString& section, const QString& key, bool defaultValue);
    std::int32_t ReadInteger(const QString& section, const QString& key, std::int32_t defaultValue);
    // Writes raise ESettingsWriteError when the file cannot be written.
    void WriteBool(const QString& section, const QString& key, bool value);
    void WriteInteger(const QString& section, const QString& key, std::int32_t value);

    // Empties list, then appends the values of prefix0, prefix1, ... up to
    // capacity keys, stopping at the first key that is missing or empty.
    void LoadList(const QString& section, const QString& prefix, int capacity, QStringList& list);
    // Erases the section, then writes the first min(count, capacity) entries
    // as prefix0, prefix1, ...; an empty list writes nothing.
    void SaveList(const QString& section, const QString& prefix, int capacity, const QStringList& list);

private:
    const QString& use(const QString& section);

    ProfileFile File{QString()};
    QString Section = QStringLiteral("Common");
};

// A recent-file list: at most four full paths, most recent first, each file
// once (names compared with their letter case, as the file system does).
class TRecentFiles {
public:
    static constexpr int kCapacity = 4;

    const QStringList& items() const { return Items; }
    // For loading from the settings file; call changed() afterwards.
    QStringList& list() { return Items; }

    // Moves an entry equal to path to the top, or inserts path there and
    // drops the fifth entry. Blank paths and paths with line breaks (which
    // the settings file cannot hold) are ignored.
    void add(const QString& path);
    // Removes the entry equal to path; false when there is none.
    bool remove(const QString& path);

    // A choice from the menu: handler gets the entry's path and sets remove
    // (it starts false); afterwards the entry is removed or moved to the top.
    void choose(int index, const std::function<void(const QString& path, bool& remove)>& handler);

    // Menu captions: "&1 path" ... (an "&" in a path doubled so that it shows),
    // or the single disabled item "(Leer)" when the list is empty.
    QStringList menuCaptions() const;
    static QString emptyCaption() { return QStringLiteral("(Leer)"); }

    // Runs after every change, to rebuild the menu.
    std::function<void()> Changed;
    void changed() {
        if (Changed)
            Changed();
    }

private:
    qsizetype indexOf(const QString& path) const;
    QStringList Items;
};

} // namespace corvane
