// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/chip_runner.h"

#include <QStringList>

#include <chrono>
#include <exception>
#include <thread>

namespace corvane::lines {

namespace {

constexpr int kInternalFailure = 1;

ChipReport runOne(const ChipJob& job, std::size_t index, int device, DeviceOrder& order) {
    ChipReport report;
    const auto start = std::chrono::steady_clock::now();
    try {
        report = job(index, device, order);
    } catch (const std::exception& e) {
        report = {};
        report.exitStatus = kInternalFailure;
        report.errorKind = QStringLiteral("internal");
        report.message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        report = {};
        report.exitStatus = kInternalFailure;
        report.errorKind = QStringLiteral("internal");
        report.message = QStringLiteral("unexpected failure");
    }
    order.pass(index); // also when the job left before its turn
    report.device = device;
    report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

} // namespace

int RunSummary::exitStatus() const {
    for (const ChipReport& c : chips) {
        if (!c.ok())
            return c.exitStatus;
    }
    return 0;
}

void DeviceOrder::waitTurn(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this, index] {
        for (std::size_t i = 0; i < index && i < done_.size(); ++i) {
            if (!done_[i])
                return false;
        }
        return true;
    });
}

void DeviceOrder::pass(std::size_t index) {
    {
        std::lock_guard lock(mutex_);
        if (index < done_.size())
            done_[index] = true;
    }
    changed_.notify_all();
}

RunSummary runChips(const std::vector<int>& devices, const ChipJob& job, bool concurrent) {
    RunSummary summary;
    summary.chips.resize(devices.size());
    DeviceOrder order(devices.size());
    const auto start = std::chrono::steady_clock::now();
    if (!concurrent) {
        for (std::size_t i = 0; i < devices.size(); ++i)
            summary.chips[i] = runOne(job, i, devices[i], order);
    } else {
        std::vector<std::jthread> threads;
        for (std::size_t i = 1; i < devices.size(); ++i) {
            threads.emplace_back([&, i] { summary.chips[i] = runOne(job, i, devices[i], order); });
        }
        if (!devices.empty())
            summary.chips[0] = runOne(job, 0, devices[0], order);
    } // the threads join here
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return summary;
}

QString verifyName(Verify v) {
    switch (v) {
    case Verify::NotAsked:
        return QStringLiteral("-");
    case Verify::Passed:
        return QStringLiteral("passed");
    case Verify::Mismatch:
        return QStringLiteral("mismatch");
    case Verify::NotReached:
        return QStringLiteral("not reached");
    }
    return {};
}

QString summaryTable(const RunSummary& summary) {
    QStringList lines;
    lines << QStringLiteral("Device  Result        Seconds  Bytes written  Verify");
    QStringList failures;
    for (const ChipReport& c : summary.chips) {
        const QString result = c.ok() ? QStringLiteral("ok") : c.errorKind;
        lines << QStringLiteral("%1  %2  %3  %4  %5")
                     .arg(c.device, 6)
                     .arg(result, -12)
                     .arg(c.seconds, 7, 'f', 2)
                     .arg(c.bytesWritten, 13)
                     .arg(verifyName(c.verify));
        if (!c.ok())
            failures << QStringLiteral("device %1: %2").arg(c.device).arg(c.message);
    }
    const std::size_t good = summary.chips.size() - std::size_t(failures.size());
    lines << QStringLiteral("%1 of %2 device(s) succeeded in %3 s.")
                 .arg(good)
                 .arg(summary.chips.size())
                 .arg(summary.seconds, 0, 'f', 2);
    if (!failures.isEmpty())
        lines << QStringLiteral("Failed: ") + failures.join(QStringLiteral("; "));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace corvane::lines
