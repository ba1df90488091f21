// SPDX-License-Identifier: GPL-3.0-or-later
// The built corvane-cli on the bench, in-process (--simulate) and through the
// libusb stand-in: a chip that answers busy while it erases, a chip that
// leaves the bus before RUN's last transfer completes, and several tools at
// once on one state folder, each chip claimed by one of them at a time.

#include "sim/bench.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace corvane::sim {
namespace {

enum class Backend { InProcess, Standin };

std::string backendName(Backend b) {
    return b == Backend::InProcess ? "InProcess" : "Standin";
}

struct ToolRun {
    int status = -1;
    QString out, err;
};

// One corvane-cli on the bench in folder.
class Tool {
public:
    Tool(const QString& folder, Backend backend, const QStringList& arguments) : what_(arguments.join(' ')) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CORVANE_SIM_DIR", folder);
        env.remove("CORVANE_SIM_CONFIG");
        env.remove("LD_PRELOAD");
        QStringList args = arguments;
        if (backend == Backend::Standin)
            env.insert("LD_PRELOAD", CORVANE_STANDIN_PATH);
        else
            args = QStringList{"--simulate=" + folder} + args;
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(folder);
        process_.start(CORVANE_CLI_PATH, args);
    }

    // Waits until the tool has printed text on stderr.
    bool waitForError(const QString& text) {
        process_.setReadChannel(QProcess::StandardError);
        while (!err_.contains(text)) {
            if (!process_.waitForReadyRead(30000) && process_.state() != QProcess::Running)
                return false;
            err_ += QString::fromUtf8(process_.readAllStandardError());
        }
        return true;
    }

    ToolRun finish() {
        if (!process_.waitForFinished(60000)) {
            process_.kill();
            process_.waitForFinished();
            ADD_FAILURE() << "corvane-cli did not finish: " << what_.toStdString();
            return {};
        }
        err_ += QString::fromUtf8(process_.readAllStandardError());
        return {process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1,
                QString::fromUtf8(process_.readAllStandardOutput()), err_};
    }

private:
    QProcess process_;
    QString what_;
    QString err_;
};

class ToolOnBench : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray readFile(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    ToolRun runTool(Backend backend, const QStringList& arguments) const {
        Tool tool(dir.path(), backend, arguments);
        return tool.finish();
    }
    std::unique_ptr<SimBench> stored() const { return SimBench::fromFolder(dir.path().toStdString()); }
    static QByteArray image(int seed, int size) {
        QByteArray bytes(size, 0);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + seed * 31 + 1);
        return bytes;
    }
    static bool holds(const SimChip& chip, const QByteArray& bytes, std::size_t at = 0) {
        return std::equal(bytes.begin(), bytes.end(), chip.flash().begin() + long(at),
                          [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
    }
    static bool erased(const SimChip& chip) {
        return std::all_of(chip.flash().begin(), chip.flash().end(),
                           [](std::uint8_t b) { return b == 0xFF; });
    }

    QTemporaryDir dir;
};

// ---------------------------------------------------------------------------

struct BusyCase {
    Backend backend;
    bool realistic;
    bool write; // write --erase, else erase
};

class BusyErase : public ToolOnBench, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyErase, SucceedsOnAChipThatAnswersBusyWhileItErases) {
    const BusyCase& c = GetParam();
    writeFile("bench.conf",
              QByteArray("[slot 0]\nerase = busy\n") + (c.realistic ? "timing = realistic\n" : ""));
    {
        auto bench = stored();
        std::fill(bench->chip(0)->flash().begin(), bench->chip(0)->flash().end(), 0x00);
    }
    const QByteArray program = image(1, 300);
    writeFile("prog.bin", program);
    const ToolRun r = runTool(c.backend, c.write ? QStringList{"write", "--erase", "--flash", "prog.bin"}
                                                 : QStringList{"erase"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    auto bench = stored();
    if (c.write) {
        EXPECT_TRUE(holds(*bench->chip(0), program));
        EXPECT_EQ(bench->chip(0)->flash()[program.size()], 0xFF);
    } else {
        EXPECT_TRUE(erased(*bench->chip(0)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, BusyErase,
    ::testing::Values(BusyCase{Backend::InProcess, false, false}, BusyCase{Backend::InProcess, false, true},
                      BusyCase{Backend::Standin, false, false}, BusyCase{Backend::Standin, false, true},
                      BusyCase{Backend::Standin, true, false}, BusyCase{Backend::Standin, true, true}),
    [](const auto& info) {
        const BusyCase& c = info.param;
        return backendName(c.backend) + (c.realistic ? "Realistic" : "Fast") +
               (c.write ? "WriteErase" : "Erase");
    });

// ---------------------------------------------------------------------------

class ToolsAtOnce : public ToolOnBench, public ::testing::WithParamInterface<Backend> {};

TEST_P(ToolsAtOnce, RunOfAChipThatLeavesBeforeTheLastTransferCompletesSucceeds) {
    writeFile("bench.conf", "[slot 0]\nleave-early = yes\n");
    const ToolRun r = runTool(GetParam(), {"run", "--address", "0100"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("Error starting application!"));
    auto bench = stored();
    EXPECT_TRUE(bench->chip(0)->applicationRunning());
    EXPECT_EQ(bench->chip(0)->startAddress(), 0x0100);
}

// Two tools writing two slots of one folder at once: each chip keeps what
// its tool wrote, round after round.
TEST_P(ToolsAtOnce, OnDifferentSlotsEveryChipHoldsItsImage) {
    writeFile("bench.conf", "[slot 0]\n[slot 1]\n");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const QByteArray a = image(round, 256), b = image(round + 100, 256);
        writeFile("a.bin", a);
        writeFile("b.bin", b);
        Tool first(dir.path(), GetParam(), {"-q", "-d", "0", "write", "--flash", "a.bin"});
        Tool second(dir.path(), GetParam(), {"-q", "-d", "1", "write", "--flash", "b.bin"});
        const ToolRun r0 = first.finish(), r1 = second.finish();
        ASSERT_EQ(r0.status, 0) << r0.err.toStdString();
        ASSERT_EQ(r1.status, 0) << r1.err.toStdString();
        auto bench = stored();
        ASSERT_TRUE(holds(*bench->chip(0), a));
        ASSERT_TRUE(holds(*bench->chip(1), b));
    }
}

// Two tools on one slot: the second finds the chip claimed and is refused as
// busy; the chip, the serial counter and the serial log tell of the first.
TEST_P(ToolsAtOnce, OnOneSlotTheSecondIsRefusedAsBusy) {
    writeFile("bench.conf", "[slot 0]\ntiming = realistic\n");
    writeFile("counter", "1000\n");
    writeFile("a.bin", image(1, 200));
    writeFile("b.bin", image(2, 200));
    auto line = [](const char* file) {
        return QStringList{
            "-d",   "0",           "write",      "--erase",       "--flash", file,           "--serial",
            "1000", "--serial-at", "flash:7FF0", "--serial-file", "counter", "--serial-log", "serials.csv"};
    };
    Tool first(dir.path(), GetParam(), line("a.bin"));
    ASSERT_TRUE(first.waitForError("Erasing...")) << "the first tool holds the chip while it erases";
    const ToolRun second = Tool(dir.path(), GetParam(), line("b.bin")).finish();
    const ToolRun done = first.finish();
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    EXPECT_EQ(second.status, 5) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains("device 0 is in use by another program")) << second.err.toStdString();

    auto bench = stored();
    EXPECT_TRUE(holds(*bench->chip(0), image(1, 200)));
    EXPECT_TRUE(holds(*bench->chip(0), QByteArray::fromHex("000003E8"), 0x7FF0)) << "serial 1000";
    // Each tool took its number before it touched the chip: the refused one
    // logs its number as not written.
    EXPECT_EQ(readFile("counter").trimmed(), "1002");
    const QByteArray log = readFile("serials.csv");
    EXPECT_EQ(log.trimmed().split('\n').size(), 3) << log.toStdString();
    EXPECT_TRUE(log.contains(",0,1000,ok\n")) << log.toStdString();
    EXPECT_TRUE(log.contains(",0,1001,failed: device 0 is in use by another program\n")) << log.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, ToolsAtOnce, ::testing::Values(Backend::InProcess, Backend::Standin),
                         [](const auto& info) { return backendName(info.param); });

} // namespace
} // namespace corvane::sim
