// SPDX-License-Identifier: GPL-3.0-or-later
// What each command asks of the chip: the requests in order for the small
// jobs, the counts for the large ones, that the work follows the chip's
// content (a blank chip takes only the pages with data), and the checks
// against files and the erased state.

#include "cli/outcome.h"
#include "cli/tests/in_process.h"
#include "sim/bench.h"
#include "sim/request_names.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace corvane::cli {
namespace {

using Strings = std::vector<std::string>;

class Requests : public ::testing::Test {
protected:
    Requests() : link(bench) { chip = &bench.insert(0); }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The tool on the chip; what it printed goes to out and err. Files named
    // .bin or .hex lie in the scratch folder.
    int run(QStringList args, const char* quiet = "-q") {
        for (QString& a : args)
            if (a.endsWith(".bin") || a.endsWith(".hex"))
                a = dir.filePath(a);
        chip->clearLog();
        Printed p = runInProcess(QStringList{quiet} + args, link);
        out = std::move(p.out);
        err = std::move(p.err);
        return p.status;
    }
    Strings sent() const { return sim::describeLog(*chip); }
    std::size_t count() const { return chip->log().size(); }
    std::size_t programmed(const char* prefix) const {
        const Strings s = sent();
        return std::size_t(std::count_if(s.begin(), s.end(),
                                         [prefix](const std::string& r) { return r.rfind(prefix, 0) == 0; }));
    }

    QTemporaryDir dir;
    QByteArray out, err;
    sim::SimBench bench;
    sim::SimChip* chip = nullptr;
    sim::SimLink link;
};

TEST_F(Requests, SmallJobsAskOnlyWhatTheyNeed) {
    ASSERT_EQ(run({"config", "--bsb", "12"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "R 1,05", "ST", "UP 1", "W 1,00=12", "ST", "R 1,00", "ST", "UP 1"}));

    ASSERT_EQ(run({"erase"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "ERASE", "ST", "R 1,05", "ST", "UP 1"}));

    ASSERT_EQ(run({"run", "--reset"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "START 0,0000", "DN0"}));
    chip->reset();

    ASSERT_EQ(run({"info"}), ExitOk);
    EXPECT_EQ(count(), 40u);

    // The chip's name and its bootloader's version.
    ASSERT_EQ(run({"list"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "R 1,60", "ST", "UP 1", "R 0,00", "ST", "UP 1"}));
}

TEST_F(Requests, MemoriesMoveInKilobytesWithOneStatusRequestAPass) {
    ASSERT_EQ(run({"read", "--eeprom", "e.bin"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "R 1,60", "ST", "UP 1", "R 1,05", "ST", "UP 1", "DISP 2 0000-03FF",
                               "ST", "UP 1024"}));
    ASSERT_EQ(run({"read", "--flash", "f.bin"}), ExitOk);
    EXPECT_EQ(count(), 7u + 32 * 2 + 1);

    writeFile("e.bin", QByteArray(1024, 0x11));
    ASSERT_EQ(run({"write", "--eeprom", "e.bin"}), ExitOk);
    EXPECT_EQ(sent(), (Strings{"DESC", "R 1,60", "ST", "UP 1", "R 1,05", "ST", "UP 1", "PROG 2 0000-03FF",
                               "ST", "DISP 2 0000-03FF", "ST", "UP 1024"}));
}

// On a blank chip only the pages with data are programmed and read back; a
// chip holding data takes whole blocks where it holds some.
TEST_F(Requests, AWriteFollowsWhatTheChipHolds) {
    QByteArray image(0x8000, char(0xFF));
    for (int i = 0; i < 0x0C00; ++i)
        image[i] = char(i % 251);
    image[0x7FF0] = 0x12;
    writeFile("prog.bin", image);

    ASSERT_EQ(run({"write", "--flash", "prog.bin"}), ExitOk);
    // 24 pages of code in three frames and the top page; one blank check of
    // everything and one read-back per frame.
    EXPECT_EQ(programmed("PROG 0"), 4u);
    EXPECT_EQ(programmed("DISP 1"), 1u);
    EXPECT_EQ(programmed("DISP 0"), 4u);
    EXPECT_EQ(count(), 7u + 2 + 4 * 2 + 4 * 2 + 1);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), chip->flash().begin(),
                           [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }));

    // Again on the chip that now holds it: the used blocks whole, the blank ones
    // between them untouched.
    ASSERT_EQ(run({"write", "--flash", "prog.bin"}), ExitOk);
    EXPECT_EQ(programmed("PROG 0"), 4u);
    const Strings s = sent();
    EXPECT_NE(std::find(s.begin(), s.end(), "PROG 0 7C00-7FFF"), s.end());
    EXPECT_NE(std::find(s.begin(), s.end(), "PROG 0 0800-0BFF"), s.end());

    // With an erase, nothing is checked before; the pages left out are
    // confirmed blank after.
    ASSERT_EQ(run({"write", "--erase", "--flash", "prog.bin"}), ExitOk);
    EXPECT_EQ(programmed("PROG 0"), 4u);
    EXPECT_EQ(programmed("DISP 1"), 1u);
}

// -v tells every request with its setup fields, as it goes.
TEST_F(Requests, VerboseTellsEachRequest) {
    ASSERT_EQ(run({"config", "--bsb", "12"}, "-v"), ExitOk);
    const qsizetype told = err.count("-> ok\n") + err.count("device descriptor: ");
    EXPECT_EQ(std::size_t(told), chip->log().size()) << err.toStdString();
    EXPECT_TRUE(
        err.contains("DNLOAD bmRequestType 21 bRequest 01 wValue 0000 wIndex 0004 wLength 32: 04 01 00 12"))
        << err.toStdString();
}

// verify and blank-check: the chip against files and against the erased
// state, with their exit statuses, what they name and what they ask of the chip.
TEST_F(Requests, VerifyComparesTheChipWithTheFilesAndNamesTheFirstDifference) {
    QByteArray image(0x8000, char(0xFF));
    for (int i = 0; i < 0x900; ++i)
        image[i] = char(i % 253);
    writeFile("prog.bin", image);
    writeFile("data.bin", QByteArray(1024, 0x33));
    ASSERT_EQ(run({"write", "--flash", "prog.bin", "--eeprom", "data.bin"}), ExitOk);
    EXPECT_EQ(run({"verify", "--flash", "prog.bin", "--eeprom", "data.bin"}), ExitOk);
    // The chip alone is read, nothing written.
    for (const std::string& r : sent())
        EXPECT_TRUE(r.rfind("PROG", 0) != 0 && r != "ERASE" && r.rfind("W ", 0) != 0) << r;

    chip->flash()[0x0123] ^= 0xFF;
    chip->flash()[0x0456] ^= 0xFF;
    EXPECT_EQ(run({"verify", "--flash", "prog.bin"}), ExitVerify);
    EXPECT_TRUE(err.contains("FLASH differs from " + dir.filePath("prog.bin").toUtf8() +
                             " at 0123 (2 byte(s) differ)"))
        << err.toStdString();
    run({"--json", "verify", "--flash", "prog.bin"});
    const QJsonObject chipJson = QJsonDocument::fromJson(out).object()["devices"].toArray()[0].toObject();
    EXPECT_EQ(chipJson["verify"].toString(), "mismatch");
    EXPECT_EQ(chipJson["errorKind"].toString(), "verify-mismatch");
    EXPECT_EQ(chipJson["difference"].toObject()["first"].toString(), "0123");
    EXPECT_EQ(chipJson["difference"].toObject()["count"].toInt(), 2);
}

TEST_F(Requests, BlankCheckAsksTheBootloaderForFlashAndReadsEeprom) {
    ASSERT_EQ(run({"blank-check"}), ExitOk);
    EXPECT_EQ(count(), 7u + 2) << "the identification and one check";
    ASSERT_EQ(run({"blank-check", "--flash", "--eeprom"}), ExitOk);

    chip->eeprom()[0x3F0] = 0x00;
    EXPECT_EQ(run({"blank-check"}), ExitOk) << "FLASH alone unless EEPROM is named";
    EXPECT_EQ(run({"blank-check", "--eeprom"}), ExitVerify);
    EXPECT_TRUE(err.contains("EEPROM is not blank: the first used byte is at 03F0")) << err.toStdString();

    chip->flash()[0x5000] = 0x12;
    EXPECT_EQ(run({"--json", "blank-check", "--flash", "--eeprom"}), ExitVerify);
    const QJsonObject doc = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(doc["errorKind"].toString(), "not-blank");
    EXPECT_TRUE(doc["message"].toString().contains("FLASH is not blank: the first used byte is at 5000"));
}

} // namespace
} // namespace corvane::cli
