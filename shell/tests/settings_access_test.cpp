// SPDX-License-Identifier: GPL-3.0-or-later
// The settings accessor: integer and boolean encodings, defaults, the section
// memory, list load and save, the file's location, and the recent-file lists.

#include "core/local_text.h"
#include "shell/settings.h"
#include "shell/tests/temp_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("corvane.ini");
    TIniSettings ini{path};

    void put(const QByteArray& content) { writeFile(path, content); }
    QByteArray content() const { return readFile(path); }
};

TRecentFiles recent(std::initializer_list<const char*> oldestFirst) {
    TRecentFiles mru;
    for (const char* p : oldestFirst)
        mru.add(p);
    return mru;
}

} // namespace

TEST(SettingsIntegers, AcceptsDecimalAndThePrefixedHexadecimalForms) {
    const auto parsed = [](const char* text) { return parseSettingsInteger(QString::fromUtf8(text)); };
    for (const char* hex31 : {"$1f", "0X1F", "x1F", "X1f", " +$1F"})
        EXPECT_EQ(parsed(hex31), 31) << hex31;
    EXPECT_EQ(parsed("  -3"), -3);
    EXPECT_EQ(parsed("-$10"), -16);
    EXPECT_EQ(parsed("007"), 7);
    EXPECT_EQ(parsed("$FFFFFFFF"), -1) << "hexadecimal fills 32 bits";
    EXPECT_EQ(parsed("2147483647"), INT32_MAX);
    EXPECT_EQ(parsed("-2147483648"), INT32_MIN);
    for (const char* bad : {"", " ", "yes", "12a", "1 2", "- 1", "$", "0x", "$G", "1.5", "2147483648",
                            "-2147483649", "$100000000", "١٢"})
        EXPECT_FALSE(parsed(bad).has_value()) << bad;
}

TEST_F(SettingsTest, MissingFileGivesEveryDefaultAndIsNotCreatedByReading) {
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FlashActive", true));
    EXPECT_FALSE(ini.ReadBool("", "AutoErase", false));
    EXPECT_EQ(ini.ReadInteger("", "Controller", -7), -7);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(SettingsTest, BooleansAreIntegersAndUnreadableValuesGiveTheDefault) {
    put("[config]\r\nflashactive=yes\r\nEEPActive=0\r\nFusesActive=2\r\nAutoErase=-1\r\nFlashAll=\r\n");
    EXPECT_FALSE(ini.ReadBool("CONFIG", "FlashActive", false));
    EXPECT_FALSE(ini.ReadBool("CONFIG", "EEPActive", true));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FusesActive", false));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "AutoErase", false));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FlashAll", true)) << "an empty value gives the default";
}

TEST_F(SettingsTest, EmptySectionNameMeansTheSectionOfTheLastAccess) {
    ini.WriteInteger("", "Orphan", 1);
    ini.WriteBool("CONFIG", "FlashActive", true);
    ini.WriteBool("", "EEPActive", false);
    ini.WriteInteger("", "Device", -1);
    EXPECT_EQ(content(), "[Common]\r\nOrphan=1\r\n[CONFIG]\r\nFlashActive=1\r\nEEPActive=0\r\nDevice=-1\r\n");
    EXPECT_EQ(ini.ReadInteger("", "Device", 5), -1);
    QStringList list;
    ini.LoadList("FLASHLOAD", "H", 4, list);
    EXPECT_EQ(ini.lastSection(), "FLASHLOAD");
}

TEST_F(SettingsTest, LoadListStopsAtTheFirstGapOrEmptyValueAndAtTheCapacity) {
    put("[FLASHLOAD]\r\nH0=/a.hex\r\nH2=/c.hex\r\n[EEPLOAD]\r\nH0=/e.hex\r\nH1=\r\nH2=/g.hex\r\n"
        "[BIG]\r\nH0=0\r\nH1=1\r\nH2=2\r\nH3=3\r\nH4=4\r\n");
    QStringList list{"stale"};
    ini.LoadList("FLASHLOAD", "H", 4, list);
    EXPECT_EQ(list, QStringList{"/a.hex"});
    ini.LoadList("EEPLOAD", "H", 4, list);
    EXPECT_EQ(list, QStringList{"/e.hex"});
    ini.LoadList("BIG", "H", 4, list);
    EXPECT_EQ(list, (QStringList{"0", "1", "2", "3"}));
    ini.LoadList("NONE", "H", 4, list);
    EXPECT_TRUE(list.isEmpty());
}

TEST_F(SettingsTest, SaveListRewritesTheWholeSectionAndAnEmptyListLeavesNoSection) {
    put("[FLASHLOAD]\r\nH0=/a.hex\r\nH2=/c.hex\r\n[CONFIG]\r\nDevice=1\r\n");
    ini.SaveList("FLASHLOAD", "H", 4, {"/new.hex", "/a.hex"});
    EXPECT_EQ(content(), "[CONFIG]\r\nDevice=1\r\n[FLASHLOAD]\r\nH0=/new.hex\r\nH1=/a.hex\r\n");
    ini.SaveList("FLASHLOAD", "H", 4, {});
    EXPECT_EQ(content(), "[CONFIG]\r\nDevice=1\r\n");
    ini.SaveList("EEPLOAD", "H", 2, {"/1", "/2", "/3"});
    QStringList list;
    ini.LoadList("EEPLOAD", "H", 4, list);
    EXPECT_EQ(list, (QStringList{"/1", "/2"}));
}

TEST_F(SettingsTest, RecentNamesKeepTheirBytesWhetherUtf8OrNot) {
    const QStringList names{decodeFileName(QByteArray("/tmp/bad\xff.hex")), QStringLiteral("/tmp/\u00fc.bin"),
                            decodeFileName(QByteArray("/x/\xc3(\xa9.hex"))};
    ini.SaveList("FLASHLOAD", "H", 4, names);
    EXPECT_TRUE(content().contains("H0=/tmp/bad\xff.hex\r\nH1=/tmp/\xc3\xbc.bin\r\nH2=/x/\xc3(\xa9.hex\r\n"))
        << content().toHex().constData();
    QStringList list;
    ini.LoadList("FLASHLOAD", "H", 4, list);
    EXPECT_EQ(list, names);
}

TEST_F(SettingsTest, UnwritableSettingsFileRaisesTheWriteErrorAndReadsStillWork) {
    ASSERT_TRUE(QDir().mkdir(path)); // a folder in the file's place
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 3), 3);
    EXPECT_THROW(ini.WriteInteger("CONFIG", "Device", 1), ESettingsWriteError);
    EXPECT_THROW(ini.SaveList("FLASHLOAD", "H", 4, {"/a.hex"}), ESettingsWriteError);
}

TEST(SettingsWithoutFile, ReadsGiveDefaultsAndWritesDoNothing) {
    TIniSettings ini;
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 4), 4);
    EXPECT_NO_THROW(ini.WriteInteger("CONFIG", "Device", 1));
    EXPECT_NO_THROW(ini.SaveList("FLASHLOAD", "H", 4, {"/a"}));
}

// ------------------------------------------------------------ location

TEST(SettingsLocation, FileNameIsTheExecutablesWithOnlyItsAsciiLettersLowered) {
    EXPECT_EQ(settingsFileBeside("/opt/Tools/Prog.EXE"), "/opt/Tools/prog.ini");
    EXPECT_EQ(settingsFileBeside("/Opt/A.B/Corvane"), "/Opt/A.B/corvane.ini") << "folders keep their case";
    EXPECT_EQ(settingsFileBeside(QString::fromUtf8("/x/ÄRGER.Exe")), QString::fromUtf8("/x/Ärger.ini"));
}

TEST(SettingsLocation, BesideTheExecutableWhereWritableElseInTheUserConfigurationFolder) {
    QTemporaryDir exeDir, configDir;
    EXPECT_EQ(chooseSettingsFile(exeDir.filePath("Corvane"), configDir.path()),
              exeDir.filePath("corvane.ini"));
    EXPECT_EQ(QDir(exeDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{})
        << "the probe leaves nothing behind";

    // Nothing can be made in /proc, not even by a privileged user; and a
    // program installed in a system folder keeps its settings out of it.
    const QString inConfig = configDir.filePath("corvane/corvane.ini");
    EXPECT_EQ(chooseSettingsFile("/proc/Corvane", configDir.path()), inConfig);
    EXPECT_EQ(chooseSettingsFile("/usr/bin/corvane", configDir.path()), inConfig) << "also when run as root";
    TIniSettings ini(inConfig);
    ini.WriteInteger("CONFIG", "Device", 2);
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 0), 2);
}

// Installed into a prefix the user may write (~/.local), the program still
// keeps its settings out of the prefix; a copy anywhere else keeps them
// beside itself.
TEST(SettingsLocation, ARunFromTheBinFolderOfTheInstallPrefixIsInstalled) {
    QTemporaryDir prefix, configDir, elsewhere;
    ASSERT_TRUE(QDir(prefix.path()).mkpath("bin") && QDir(prefix.path()).mkpath("share/bin"));
    const QString linked = elsewhere.filePath("linked-prefix");
    ASSERT_TRUE(QFile::link(prefix.path(), linked));

    EXPECT_TRUE(isInstalledProgram(prefix.filePath("bin/corvane"), prefix.path()));
    EXPECT_TRUE(isInstalledProgram(prefix.filePath("bin/corvane"), linked)) << "the same folder by a link";
    EXPECT_TRUE(isInstalledProgram(prefix.filePath("bin/corvane"), prefix.path() + "/"));
    EXPECT_FALSE(isInstalledProgram(prefix.filePath("corvane"), prefix.path()));
    EXPECT_FALSE(isInstalledProgram(prefix.filePath("share/bin/corvane"), prefix.path()));
    EXPECT_FALSE(isInstalledProgram(elsewhere.filePath("corvane"), prefix.path()));
    EXPECT_FALSE(isInstalledProgram(elsewhere.filePath("corvane"), QString()));
    EXPECT_TRUE(isInstalledProgram("/usr/bin/corvane", prefix.path())) << "system folders stay installed";

    EXPECT_EQ(chooseSettingsFile(prefix.filePath("bin/corvane"), configDir.path(), prefix.path()),
              configDir.filePath("corvane/corvane.ini"));
    EXPECT_FALSE(QFileInfo::exists(prefix.filePath("bin/corvane.ini")));
    EXPECT_EQ(chooseSettingsFile(elsewhere.filePath("corvane"), configDir.path(), prefix.path()),
              elsewhere.filePath("corvane.ini"))
        << "an unpacked copy keeps them beside itself";
}

// A read-only settings file beside the program, in a folder that can be
// written, stays the settings file: it is read, and writes to it are refused
// with the error rather than sent elsewhere.
TEST(SettingsLocation, AReadOnlyFileInAWritableFolderIsStillTheSettingsFile) {
    QTemporaryDir exeDir, configDir;
    const QString beside = exeDir.filePath("corvane.ini");
    writeFile(beside, "[CONFIG]\r\nDevice=3\r\n");
    ASSERT_TRUE(QFile::setPermissions(beside, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    EXPECT_EQ(chooseSettingsFile(exeDir.filePath("corvane"), configDir.path()), beside);
    TIniSettings ini(beside);
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 0), 3);
    if (QFileInfo(beside).isWritable())
        GTEST_SKIP() << "a privileged user writes read-only files";
    EXPECT_THROW(ini.WriteInteger("CONFIG", "Device", 4), ESettingsWriteError);
    EXPECT_EQ(readFile(beside), "[CONFIG]\r\nDevice=3\r\n");
}

// ------------------------------------------------------------ recent files

TEST(RecentFiles, NewestFirstAtMostFourEachOnceWithItsLetterCase) {
    TRecentFiles mru = recent({"/f1.hex", "/f2.hex", "/F3.hex", "/f4.hex", "/f5.hex"});
    int changes = 0;
    mru.Changed = [&] { ++changes; };
    mru.add("/F3.hex");
    EXPECT_EQ(mru.items(), (QStringList{"/F3.hex", "/f5.hex", "/f4.hex", "/f2.hex"}));
    // Names that differ only in letter case are different files.
    mru.add("/f3.hex");
    EXPECT_EQ(mru.items(), (QStringList{"/f3.hex", "/F3.hex", "/f5.hex", "/f4.hex"}));
    for (const char* ignored : {"", "   ", "/w/a\nb.hex"})
        mru.add(ignored);
    EXPECT_EQ(mru.items().size(), 4);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(mru.remove("/F5.HEX"));
    EXPECT_TRUE(mru.remove("/F3.hex"));
    EXPECT_EQ(mru.items(), (QStringList{"/f3.hex", "/f5.hex", "/f4.hex"}));
}

TEST(RecentFiles, ChoiceMovesAGoodEntryUpAndRemovesAFailedOne) {
    TRecentFiles mru = recent({"/c.hex", "/b.hex", "/a.hex"});
    QStringList seenDuringHandler;
    mru.choose(2, [&](const QString& path, bool& remove) {
        EXPECT_EQ(path, "/c.hex");
        EXPECT_FALSE(remove);
        seenDuringHandler = mru.items(); // what the handler stores
    });
    EXPECT_EQ(seenDuringHandler, (QStringList{"/a.hex", "/b.hex", "/c.hex"}));
    EXPECT_EQ(mru.items(), (QStringList{"/c.hex", "/a.hex", "/b.hex"}));

    mru.choose(1, [](const QString&, bool& remove) { remove = true; });
    EXPECT_EQ(mru.items(), (QStringList{"/c.hex", "/b.hex"}));

    mru.choose(7, [](const QString&, bool&) { ADD_FAILURE() << "no entry 7"; });
}

TEST(RecentFiles, MenuCaptionsNumberTheEntriesAndShowAmpersands) {
    EXPECT_EQ(recent({"/w/b.bin", "/w/R&D.hex"}).menuCaptions(),
              (QStringList{"&1 /w/R&&D.hex", "&2 /w/b.bin"}));
}
