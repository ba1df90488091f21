// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's text format: letter case of names, in-place updates,
// placement of new keys and sections, erasing, line ends, long values, and
// files that cannot be written.

#include "shell/profile_file.h"
#include "shell/tests/temp_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace corvane;

namespace {

class ProfileFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("corvane.ini");
    ProfileFile file{path};

    void put(const QByteArray& content) { writeFile(path, content); }
    QByteArray content() const { return readFile(path); }
};

} // namespace

TEST_F(ProfileFileTest, ReadsLfOnlyFilesMatchingNamesInAnyLetterCaseAndIgnoringBlanks) {
    put("[config]\nDevice =   5  \nController=\t1\n");
    EXPECT_EQ(file.readString("CONFIG", "device"), QString("5"));
    EXPECT_EQ(file.readString("Config", "CONTROLLER"), QString("1"));
    EXPECT_FALSE(file.readString("CONFIG", "Missing").has_value());
    EXPECT_FALSE(file.readString("OTHER", "Device").has_value());
}

TEST_F(ProfileFileTest, ReplacesValuesWhereTheyStandAndAppendsNewKeysAndSections) {
    put("[config]\r\nflashactive=1\r\nDevice=3\r\n\r\n[EEPLOAD]\r\nH0=/w/e.hex\r\n");
    file.writeString("CONFIG", "FlashActive", "0");
    file.writeString("CONFIG", "Controller", "1");
    file.writeString("FLASHLOAD", "H0", "/w/f.hex");
    EXPECT_EQ(content(), "[config]\r\nflashactive=0\r\nDevice=3\r\nController=1\r\n\r\n"
                         "[EEPLOAD]\r\nH0=/w/e.hex\r\n"
                         "[FLASHLOAD]\r\nH0=/w/f.hex\r\n");
}

TEST_F(ProfileFileTest, LongValuesAreCutTo2047Characters) {
    const QString longPath = "/" + QString(3000, 'p');
    file.writeString("FLASHLOAD", "H0", longPath);
    EXPECT_EQ(file.readString("FLASHLOAD", "H0"), longPath.left(2047));
}

TEST_F(ProfileFileTest, ALineBreakInAValueCannotAddLinesToTheFile) {
    file.writeString("FLASHLOAD", "H0", "/w/a\r\n[CONFIG]\r\nDevice=7");
    EXPECT_EQ(content(), "[FLASHLOAD]\r\nH0=/w/a\r\n");
}

TEST(ProfileFileWriteErrors, RefusedWritesRaiseTheErrorWithThePathAndReplaceNothing) {
    QTemporaryDir dir;
    // A folder where the file should be: it cannot be read or replaced.
    const QString taken = dir.filePath("taken.ini");
    ASSERT_TRUE(QDir().mkdir(taken));
    for (const QString& path : {taken, dir.filePath("no/such/folder/x.ini"), QString("/proc/version")}) {
        ProfileFile file(path);
        try {
            file.writeString("CONFIG", "Device", "1");
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const ESettingsWriteError& e) {
            EXPECT_EQ(e.message(), "nach " + path + " kann nicht geschrieben werden");
            EXPECT_EQ(QString::fromUtf8(e.what()), e.message());
        }
    }
    EXPECT_THROW(ProfileFile(taken).eraseSection("CONFIG"), ESettingsWriteError);
    EXPECT_TRUE(QFileInfo(taken).isDir());
}

// ------------------------------------------------------------ lines kept

// A write changes its own line and nothing else: comments, stray lines,
// unknown keys and sections, blanks and LF-only line ends stay as they were.
TEST_F(ProfileFileTest, AWriteChangesOnlyItsOwnLineByteForByte) {
    const QByteArray before = "; made by hand\r\ngarbage line\r\n[CONFIG]\r\n  Device = 3 \n"
                              "Unknown=kept  \r\n\r\n[Other]\r\nx=1";
    put(before);
    file.writeString("config", "DEVICE", "5");
    QByteArray expected = before;
    expected.replace("  Device = 3 \n", "  Device =5\n");
    EXPECT_EQ(content(), expected);

    // A new key goes after the section's last key; a new section to the end,
    // after a line end for a last line that had none.
    file.writeString("CONFIG", "Controller", "1");
    file.writeString("NEW", "k", "v");
    expected.replace("Unknown=kept  \r\n", "Unknown=kept  \r\nController=1\r\n");
    EXPECT_EQ(content(), expected + "\r\n[NEW]\r\nk=v\r\n");
}

TEST_F(ProfileFileTest, OfDuplicateKeysTheFirstIsReadAndWritten) {
    put("[CONFIG]\r\nDevice=3\r\nDevice=5\r\n[config]\r\nDevice=7\r\n");
    EXPECT_EQ(file.readString("CONFIG", "Device"), QString("3"));
    file.writeString("CONFIG", "Device", "4");
    EXPECT_EQ(content(), "[CONFIG]\r\nDevice=4\r\nDevice=5\r\n[config]\r\nDevice=7\r\n");
    EXPECT_EQ(file.readString("CONFIG", "Device"), QString("4"));
}

TEST_F(ProfileFileTest, ErasingASectionKeepsEveryOtherLine) {
    const QByteArray rest = "; note\r\n[CONFIG]\nDevice=2\nstray\n";
    put(rest + "[FLASHLOAD]\r\nH0=/a\r\n");
    file.eraseSection("flashload");
    EXPECT_EQ(content(), rest);
    EXPECT_EQ(file.readString("CONFIG", "Device"), QString("2"));
    // Erasing what is not there writes nothing, and creates no file.
    QFile::remove(path);
    file.eraseSection("EEPLOAD");
    EXPECT_FALSE(QFile::exists(path));
}
