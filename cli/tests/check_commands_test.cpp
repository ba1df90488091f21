// SPDX-License-Identifier: GPL-3.0-or-later
// verify and blank-check: the chip against files and against the erased
// state, with their exit statuses, what they name and what they ask of the
// chip.

#include "cli/cli.h"
#include "cli/outcome.h"
#include "sim/bench.h"
#include "sim/request_names.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace corvane::cli {
namespace {

class Checks : public ::testing::Test {
protected:
    Checks() : link(bench) { chip = &bench.insert(0); }

    QString file(const char* name, const QByteArray& bytes) const {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    struct Run {
        int status;
        QByteArray out, err;
    };
    Run run(const QStringList& args) {
        chip->clearLog();
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
        Run r{runCli(QStringList{"corvane-cli", "-q"} + args, out.get(), err.get(), link), {}, {}};
        for (auto [f, to] : {std::pair{out.get(), &r.out}, std::pair{err.get(), &r.err}}) {
            std::fflush(f);
            std::rewind(f);
            for (int c; (c = std::fgetc(f)) != EOF;)
                *to += char(c);
        }
        return r;
    }

    QTemporaryDir dir;
    sim::SimBench bench;
    sim::SimChip* chip = nullptr;
    sim::SimLink link;
};

TEST_F(Checks, VerifyComparesTheChipWithTheFilesAndNamesTheFirstDifference) {
    QByteArray image(0x8000, char(0xFF));
    for (int i = 0; i < 0x900; ++i)
        image[i] = char(i % 253);
    const QString prog = file("prog.bin", image);
    const QString data = file("data.bin", QByteArray(1024, 0x33));
    ASSERT_EQ(run({"write", "--flash", prog, "--eeprom", data}).status, ExitOk);
    EXPECT_EQ(run({"verify", "--flash", prog, "--eeprom", data}).status, ExitOk);
    // The chip alone is read, nothing written.
    for (const std::string& r : sim::describeLog(*chip))
        EXPECT_TRUE(r.rfind("PROG", 0) != 0 && r != "ERASE" && r.rfind("W ", 0) != 0) << r;

    chip->flash()[0x0123] ^= 0xFF;
    chip->flash()[0x0456] ^= 0xFF;
    const Run differs = run({"verify", "--flash", prog});
    EXPECT_EQ(differs.status, ExitVerify);
    EXPECT_TRUE(differs.err.contains("FLASH differs from " + prog.toUtf8() + " at 0123 (2 byte(s) differ)"))
        << differs.err.toStdString();
    const Run json = run({"--json", "verify", "--flash", prog});
    const QJsonObject chipJson =
        QJsonDocument::fromJson(json.out).object()["devices"].toArray()[0].toObject();
    EXPECT_EQ(chipJson["verify"].toString(), "mismatch");
    EXPECT_EQ(chipJson["errorKind"].toString(), "verify-mismatch");
    EXPECT_EQ(chipJson["difference"].toObject()["first"].toString(), "0123");
    EXPECT_EQ(chipJson["difference"].toObject()["count"].toInt(), 2);
}

TEST_F(Checks, BlankCheckAsksTheBootloaderForFlashAndReadsEeprom) {
    ASSERT_EQ(run({"blank-check"}).status, ExitOk);
    EXPECT_EQ(sim::describeLog(*chip).size(), 7u + 2) << "the identification and one check";
    ASSERT_EQ(run({"blank-check", "--flash", "--eeprom"}).status, ExitOk);

    chip->eeprom()[0x3F0] = 0x00;
    EXPECT_EQ(run({"blank-check"}).status, ExitOk) << "FLASH alone unless EEPROM is named";
    const Run eeprom = run({"blank-check", "--eeprom"});
    EXPECT_EQ(eeprom.status, ExitVerify);
    EXPECT_TRUE(eeprom.err.contains("EEPROM is not blank: the first used byte is at 03F0"))
        << eeprom.err.toStdString();

    chip->flash()[0x5000] = 0x12;
    const Run json = run({"--json", "blank-check", "--flash", "--eeprom"});
    EXPECT_EQ(json.status, ExitVerify);
    const QJsonObject doc = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(doc["errorKind"].toString(), "not-blank");
    EXPECT_TRUE(doc["message"].toString().contains("FLASH is not blank: the first used byte is at 5000"));
}

} // namespace
} // namespace corvane::cli
