// The settings accessor: integer and boolean encodings, defaults, the section
// memory, list load and save, the file's location, and the recent-file lists.

#include "shell/settings.h"

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

    void put(const QByteArray& content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray content() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }
};

} // namespace

TEST(SettingsIntegers, AcceptsDecimalAndThePrefixedHexadecimalForms) {
    const std::pair<const char*, std::int32_t> good[] = {
        {"0", 0},
        {"12", 12},
        {"  7", 7},
        {"-3", -3},
        {"+4", 4},
        {"$1", 1},
        {"0x1", 1},
        {"0X1f", 31},
        {"x1F", 31},
        {"X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"007", 7},
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(parseSettingsInteger(text), std::optional<std::int32_t>(value)) << text;

    for (const char* bad : {"", " ", "yes", "12a", "1 2", "- 1", "$", "0x", "x", "$G", "1.5", "2147483648",
                            "-2147483649", "$100000000", "١٢"})
        EXPECT_FALSE(parseSettingsInteger(QString::fromUtf8(bad)).has_value()) << bad;
}

TEST_F(SettingsTest, MissingFileGivesEveryDefault) {
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FlashActive", true));
    EXPECT_FALSE(ini.ReadBool("", "AutoErase", false));
    EXPECT_EQ(ini.ReadInteger("", "Device", 0), 0);
    EXPECT_EQ(ini.ReadInteger("", "Controller", -7), -7);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(SettingsTest, BooleansAreIntegersAndUnreadableValuesGiveTheDefault) {
    put("[config]\r\nflashactive=yes\r\nEEPActive=0\r\nFusesActive=2\r\nAutoErase=-1\r\nFlashAll=\r\n"
        "Device=$1\r\nController=0x1\r\n");
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FlashActive", true));
    EXPECT_FALSE(ini.ReadBool("CONFIG", "FlashActive", false));
    EXPECT_FALSE(ini.ReadBool("CONFIG", "EEPActive", true));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FusesActive", false));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "AutoErase", false));
    EXPECT_TRUE(ini.ReadBool("CONFIG", "FlashAll", true)) << "an empty value gives the default";
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 0), 1);
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Controller", 0), 1);
}

TEST_F(SettingsTest, EmptySectionNameMeansTheSectionOfTheLastAccess) {
    EXPECT_EQ(ini.lastSection(), "Common");
    ini.WriteInteger("", "Orphan", 1);
    ini.WriteBool("CONFIG", "FlashActive", true);
    ini.WriteBool("", "EEPActive", false);
    ini.WriteInteger("", "Device", -1);
    EXPECT_EQ(ini.lastSection(), "CONFIG");
    EXPECT_EQ(content(),
              "[Common]\r\nOrphan=1\r\n\r\n\r\n[CONFIG]\r\nFlashActive=1\r\nEEPActive=0\r\nDevice=-1\r\n");
    EXPECT_EQ(ini.ReadInteger("", "Device", 5), -1);
    QStringList list;
    ini.LoadList("FLASHLOAD", "H", 4, list);
    EXPECT_EQ(ini.lastSection(), "FLASHLOAD");
}

TEST_F(SettingsTest, WritesTheSampleFileOfARun) {
    ini.WriteBool("CONFIG", "FlashActive", true);
    ini.WriteBool("", "EEPActive", true);
    ini.WriteBool("", "AutoErase", false);
    ini.WriteBool("", "FlashAll", true);
    ini.WriteInteger("", "Device", 0);
    ini.WriteInteger("", "Controller", 1);
    ini.SaveList("EEPLOAD", "H", 4, {"/work/eeprom.hex"});
    ini.SaveList("FLASHLOAD", "H", 4, {"/work/app2.hex", "/work/app1.bin"});
    EXPECT_EQ(content(),
              "[CONFIG]\r\nFlashActive=1\r\nEEPActive=1\r\nAutoErase=0\r\nFlashAll=1\r\nDevice=0\r\n"
              "Controller=1\r\n\r\n\r\n[EEPLOAD]\r\nH0=/work/eeprom.hex\r\n\r\n\r\n"
              "[FLASHLOAD]\r\nH0=/work/app2.hex\r\nH1=/work/app1.bin\r\n");
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
    EXPECT_EQ(content(), "[CONFIG]\r\nDevice=1\r\n\r\n\r\n[FLASHLOAD]\r\nH0=/new.hex\r\nH1=/a.hex\r\n");
    ini.SaveList("FLASHLOAD", "H", 4, {});
    EXPECT_EQ(content(), "[CONFIG]\r\nDevice=1\r\n");
    ini.SaveList("EEPLOAD", "H", 2, {"/1", "/2", "/3"});
    QStringList list;
    ini.LoadList("EEPLOAD", "H", 4, list);
    EXPECT_EQ(list, (QStringList{"/1", "/2"}));
}

TEST_F(SettingsTest, UnwritableSettingsFileRaisesTheWriteErrorAndReadsStillWork) {
    ASSERT_TRUE(QDir().mkdir(path)); // a folder in the file's place
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 3), 3);
    const QString expected = "nach " + path + " kann nicht geschrieben werden";
    try {
        ini.WriteInteger("CONFIG", "Device", 1);
        ADD_FAILURE() << "no error";
    } catch (const ESettingsWriteError& e) {
        EXPECT_EQ(e.message(), expected);
    }
    EXPECT_THROW(ini.SaveList("FLASHLOAD", "H", 4, {"/a.hex"}), ESettingsWriteError);
}

TEST(SettingsWithoutFile, ReadsGiveDefaultsAndWritesDoNothing) {
    TIniSettings ini;
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 4), 4);
    EXPECT_NO_THROW(ini.WriteInteger("CONFIG", "Device", 1));
    EXPECT_NO_THROW(ini.SaveList("FLASHLOAD", "H", 4, {"/a"}));
}

// ------------------------------------------------------------ location

TEST(SettingsLocation, FileNameIsTheExecutablesInLowerCaseWithIni) {
    EXPECT_EQ(settingsFileBeside("/opt/Tools/Prog.EXE"), "/opt/Tools/prog.ini");
    EXPECT_EQ(settingsFileBeside("/opt/Tools/Corvane"), "/opt/Tools/corvane.ini");
    EXPECT_EQ(settingsFileBeside("/Opt/A.B/corvane"), "/Opt/A.B/corvane.ini") << "folders keep their case";
    EXPECT_EQ(settingsFileBeside(QString::fromUtf8("/x/ÄRGER.Exe")), QString::fromUtf8("/x/Ärger.ini"))
        << "only A to Z are lowered";
}

TEST(SettingsLocation, BesideTheExecutableWhereThatFolderCanBeWritten) {
    QTemporaryDir exeDir, configDir;
    const QString exe = exeDir.filePath("Corvane");
    EXPECT_EQ(chooseSettingsFile(exe, configDir.path()), exeDir.filePath("corvane.ini"));
    EXPECT_EQ(QDir(exeDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{})
        << "the probe leaves nothing behind";
}

TEST(SettingsLocation, UserConfigurationFolderWhereTheExecutablesFolderCannotBeWritten) {
    QTemporaryDir configDir;
    // Nothing can be made in /proc, not even by a privileged user.
    const QString chosen = chooseSettingsFile("/proc/Corvane", configDir.path());
    EXPECT_EQ(chosen, configDir.filePath("corvane/corvane.ini"));
    EXPECT_TRUE(QFileInfo(configDir.filePath("corvane")).isDir());
    TIniSettings ini(chosen);
    ini.WriteInteger("CONFIG", "Device", 2);
    EXPECT_EQ(ini.ReadInteger("CONFIG", "Device", 0), 2);
}

// ------------------------------------------------------------ recent files

TEST(RecentFiles, NewestFirstAndAtMostFour) {
    TRecentFiles mru;
    int changes = 0;
    mru.Changed = [&] { ++changes; };
    for (const char* p : {"/f1.hex", "/f2.hex", "/f3.hex", "/f4.hex", "/f5.hex", "/f6.hex"})
        mru.add(p);
    EXPECT_EQ(mru.items(), (QStringList{"/f6.hex", "/f5.hex", "/f4.hex", "/f3.hex"}));
    EXPECT_EQ(changes, 6);
}

TEST(RecentFiles, AKnownFileInOtherLetterCaseMovesToTheTopWithoutADuplicate) {
    TRecentFiles mru;
    for (const char* p : {"/w/A.hex", "/w/b.hex", "/w/c.hex"})
        mru.add(p);
    mru.add("/W/a.HEX");
    EXPECT_EQ(mru.items(), (QStringList{"/w/A.hex", "/w/c.hex", "/w/b.hex"}));
}

TEST(RecentFiles, BlankPathsAndPathsWithLineBreaksAreIgnored) {
    TRecentFiles mru;
    mru.add("");
    mru.add("   ");
    mru.add("/w/a\nb.hex");
    EXPECT_TRUE(mru.items().isEmpty());
}

TEST(RecentFiles, RemovesByNameInAnyLetterCase) {
    TRecentFiles mru;
    mru.add("/a.hex");
    mru.add("/b.hex");
    EXPECT_TRUE(mru.remove("/A.HEX"));
    EXPECT_FALSE(mru.remove("/zzz"));
    EXPECT_EQ(mru.items(), QStringList{"/b.hex"});
}

TEST(RecentFiles, ChoiceMovesAGoodEntryUpAndRemovesAFailedOne) {
    TRecentFiles mru;
    for (const char* p : {"/c.hex", "/b.hex", "/a.hex"})
        mru.add(p); // a, b, c
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
    TRecentFiles mru;
    EXPECT_TRUE(mru.menuCaptions().isEmpty());
    EXPECT_EQ(TRecentFiles::emptyCaption(), "(Leer)");
    mru.add("/w/b.bin");
    mru.add("/w/R&D.hex");
    EXPECT_EQ(mru.menuCaptions(), (QStringList{"&1 /w/R&&D.hex", "&2 /w/b.bin"}));
}
