// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file's text format: letter case of names, in-place updates,
// placement of new keys and sections, erasing, line ends, long values, and
// files that cannot be written; values that read back as they were written.

#include "core/local_text.h"
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

// A value written reads back as it was: blanks or double quotes at its ends
// take a pair of quotes in the file, which reading removes.
class ValueRoundTrip : public ProfileFileTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ValueRoundTrip, AValueWrittenReadsBackAsWritten) {
    const QString value = QString::fromUtf8(GetParam());
    file.writeString("FLASHLOAD", "H0", value);
    EXPECT_EQ(file.readString("FLASHLOAD", "H0").value_or("<none>").toStdString(), value.toStdString())
        << "stored as: " << content().toStdString();
}

INSTANTIATE_TEST_SUITE_P(BlanksAndQuotes, ValueRoundTrip,
                         ::testing::Values("/w/trailing blank ", " /w/leading blank", "\tx\t", " ", "\"",
                                           "\"/w/quoted.hex\"", "\"\"", "/w/a \"b\" c.hex", "\"/w/open.hex"));

TEST_F(ProfileFileTest, AValueWithBlanksAtItsEndsIsStoredInQuotes) {
    file.writeString("FLASHLOAD", "H0", "/w/a.hex ");
    EXPECT_EQ(content(), "[FLASHLOAD]\r\nH0=\"/w/a.hex \"\r\n");
    put("[CONFIG]\r\nDevice = \"3\" \r\n");
    EXPECT_EQ(file.readString("CONFIG", "Device"), QString("3"));
}

// What a read gives, written back, reads the same: here a line with a
// carriage return after a blank (the value ends at the carriage return), and
// a value whose cut at 2047 characters ends in a blank.
TEST_F(ProfileFileTest, WhatIsReadWrittenBackReadsTheSame) {
    const QByteArray longValue = "/" + QByteArray(2045, 'p') + " tail";
    put("[EEPLOAD]\r\nH0=/w/data.bin[CO\377F; \rle\377\n[FLASHLOAD]\r\nH0=" + longValue + "\r\n");
    const struct {
        const char* section;
        QString expected;
    } cases[] = {{"EEPLOAD", decodeFileName("/w/data.bin[CO\377F;")},
                 {"FLASHLOAD", QString::fromLatin1(longValue.left(2047))}};
    for (const auto& c : cases) {
        const std::optional<QString> first = file.readString(c.section, "H0");
        ASSERT_TRUE(first.has_value()) << c.section;
        const std::string bytes = encodeFileName(*first).toStdString();
        EXPECT_EQ(bytes, encodeFileName(c.expected).toStdString()) << c.section;
        file.writeString(c.section, "H0", *first);
        EXPECT_EQ(encodeFileName(file.readString(c.section, "H0").value_or("<none>")).toStdString(), bytes)
            << c.section;
    }
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
