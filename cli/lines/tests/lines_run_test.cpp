// SPDX-License-Identifier: GPL-3.0-or-later
// Several chips at once: independent results, device order, the summary as a
// table and as JSON, and each chip's lines on a shared stream.

#include "cli/lines/chip_board.h"
#include "cli/lines/chip_runner.h"
#include "cli/lines/json_report.h"
#include "cli/lines/prefixed_stream.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace corvane::lines {
namespace {

TEST(RunChips, EveryChipRunsAndTheFirstFailureInDeviceOrderGivesTheStatus) {
    std::atomic<int> running{0}, most{0};
    const RunSummary summary = runChips({1, 3, 4, 6}, [&](std::size_t, int device, DeviceOrder&) {
        const int now = ++running;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        // Wait until every chip has started, so that they surely overlap.
        while (most.load() < 4)
            std::this_thread::yield();
        --running;
        ChipReport r;
        if (device == 6)
            r.exitStatus = 5; // the last one fails first in time...
        if (device == 3) {
            r.exitStatus = 7;
            r.errorKind = QStringLiteral("verify");
        }
        if (device == 4)
            throw std::runtime_error("boom");
        r.bytesWritten = std::size_t(device) * 100;
        return r;
    });
    ASSERT_EQ(summary.chips.size(), 4u);
    EXPECT_EQ(most.load(), 4);
    EXPECT_EQ(summary.chips[0].device, 1);
    EXPECT_TRUE(summary.chips[0].ok());
    EXPECT_EQ(summary.chips[1].exitStatus, 7);
    EXPECT_EQ(summary.chips[2].exitStatus, 1);
    EXPECT_EQ(summary.chips[2].errorKind, QStringLiteral("internal"));
    EXPECT_EQ(summary.chips[2].message, QStringLiteral("boom"));
    EXPECT_EQ(summary.exitStatus(), 7); // device 3 comes before 4 and 6

    const QString table = summaryTable(summary);
    EXPECT_TRUE(table.contains(QStringLiteral("1 of 4 device(s) succeeded")));
    EXPECT_TRUE(table.contains(QStringLiteral("device 4: boom")));
    EXPECT_TRUE(table.contains(QStringLiteral("device 6")));
    EXPECT_EQ(runChips({}, [](std::size_t, int, DeviceOrder&) { return ChipReport{}; }).exitStatus(), 0);
}

TEST(RunChips, TheOrderLetsChipsPassInDeviceOrderEvenWhenSomeLeaveEarly) {
    std::mutex m;
    std::vector<int> passed;
    runChips({0, 2, 5, 7}, [&](std::size_t index, int device, DeviceOrder& order) {
        if (device == 2)
            return ChipReport{}; // leaves without passing: the runner passes for it
        if (device == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20)); // arrives last
        order.waitTurn(index);
        {
            std::lock_guard lock(m);
            passed.push_back(device);
        }
        order.pass(index);
        return ChipReport{};
    });
    EXPECT_EQ(passed, (std::vector<int>{0, 5, 7}));
}

TEST(SummaryJson, ParsesWithTheDocumentedFields) {
    RunSummary summary;
    ChipReport good;
    good.device = 0;
    good.bytesWritten = 2560;
    good.verify = Verify::Passed;
    good.serial = 1000;
    good.identification[QStringLiteral("manufacturer")] = QStringLiteral("58");
    good.configuration[QStringLiteral("HSB")] = QStringLiteral("BB");
    good.timings[QStringLiteral("write")] = 0.25;
    ChipReport bad;
    bad.device = 3;
    bad.exitStatus = 5;
    bad.errorKind = QStringLiteral("not-found");
    bad.message = QStringLiteral("USB-Device not found!");
    summary.chips = {good, bad};

    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(summaryJson(QStringLiteral("write"), summary, summary.exitStatus()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    const QJsonObject o = doc.object();
    EXPECT_EQ(o[QStringLiteral("command")].toString(), QStringLiteral("write"));
    EXPECT_EQ(o[QStringLiteral("result")].toString(), QStringLiteral("failed"));
    EXPECT_EQ(o[QStringLiteral("exitStatus")].toInt(), 5);
    const QJsonArray devices = o[QStringLiteral("devices")].toArray();
    ASSERT_EQ(devices.size(), 2);
    const QJsonObject d0 = devices[0].toObject();
    EXPECT_EQ(d0[QStringLiteral("result")].toString(), QStringLiteral("ok"));
    EXPECT_TRUE(d0[QStringLiteral("errorKind")].isNull());
    EXPECT_EQ(d0[QStringLiteral("bytesWritten")].toInt(), 2560);
    EXPECT_EQ(d0[QStringLiteral("verify")].toString(), QStringLiteral("passed"));
    EXPECT_EQ(d0[QStringLiteral("serial")].toString(), QStringLiteral("1000"));
    EXPECT_EQ(d0[QStringLiteral("identification")].toObject()[QStringLiteral("manufacturer")].toString(),
              QStringLiteral("58"));
    EXPECT_DOUBLE_EQ(d0[QStringLiteral("timings")].toObject()[QStringLiteral("write")].toDouble(), 0.25);
    const QJsonObject d1 = devices[1].toObject();
    EXPECT_EQ(d1[QStringLiteral("device")].toInt(), 3);
    EXPECT_EQ(d1[QStringLiteral("errorKind")].toString(), QStringLiteral("not-found"));
    EXPECT_TRUE(d1[QStringLiteral("serial")].isNull());
}

TEST(PrefixedStream, LinesFromSeveralThreadsArriveWholeWithTheirPrefix) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* shared = open_memstream(&text, &size);
    ASSERT_NE(shared, nullptr);
    std::mutex lock;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                PrefixedStream s(shared, "[" + std::to_string(t) + "] ", lock);
                for (int i = 0; i < 50; ++i) {
                    std::fputs("Writing ", s.file());
                    std::fprintf(s.file(), "step %d\n", i);
                }
                std::fputs("unfinished", s.file());
            });
        }
    }
    std::fclose(shared);
    const QStringList lines =
        QString::fromUtf8(text, qsizetype(size)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::free(text);
    ASSERT_EQ(lines.size(), 3 * 51);
    int unfinished = 0;
    for (const QString& line : lines) {
        EXPECT_TRUE(
            line.contains(QRegularExpression(QStringLiteral("^\\[[0-2]\\] (Writing step \\d+|unfinished)$"))))
            << line.toStdString();
        unfinished += line.endsWith(QStringLiteral("unfinished"));
    }
    EXPECT_EQ(unfinished, 3);
}

TEST(ChipBoard, EachChipsLineShowsItsLatestStatusOrItsWholeMessage) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* terminal = open_memstream(&text, &size);
    ASSERT_NE(terminal, nullptr);
    {
        ChipBoard board(terminal, {2, 5});
        // What a chip's terminal view writes: statuses and their bar redrawn
        // after a carriage return, then a message of two lines.
        std::fputs("\r\x1b[KWriting Flash-Memory...", board.stream(0));
        std::fputs("\r\x1b[KWriting Flash-Memory... [###---]  50%", board.stream(0));
        std::fputs("\r\x1b[KReading device informations...", board.stream(1));
        EXPECT_EQ(board.lines(), (std::vector<std::string>{"Writing Flash-Memory... [###---]  50%",
                                                           "Reading device informations..."}));
        std::fputs("\nUSB-ERROR: Flash-Memory Write Error!\n(Device is locked)\n", board.stream(0));
        std::fputs("\r\x1b[KVerifying...", board.stream(1));
        EXPECT_EQ(board.lines(),
                  (std::vector<std::string>{"USB-ERROR: Flash-Memory Write Error! (Device is locked)",
                                            "Verifying..."}));
    }
    std::fclose(terminal);
    const std::string screen(text, size);
    std::free(text);
    // Drawn first, then redrawn in place: up two lines, each line cleared.
    EXPECT_EQ(screen.rfind("2:\n5:\n", 0), 0u);
    EXPECT_NE(screen.find("\x1b[2A\r\x1b[K2: Writing Flash-Memory... [###---]  50%\n\r\x1b[K5: \n"),
              std::string::npos);
}

} // namespace
} // namespace corvane::lines
