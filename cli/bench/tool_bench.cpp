// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli's jobs on realistic simulated chips, through the tool's own
// entry point: wall time, the requests the chip served, and the floor of the
// chip's timing model for them (1 ms a request, 10 ms a programmed page,
// 2.6 s a chip erase). The fixture is an SDCC-built program of about 3 KB
// with a tag at 7FF0.

#include "cli/cli.h"
#include "ops/memory_plan.h"
#include "sim/bench.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

const QString kFixture = QStringLiteral(CORVANE_BENCH_FIXTURES "/blink_uart.hex");

double seconds(std::chrono::microseconds d) {
    return std::chrono::duration<double>(d).count();
}

int runTool(const QStringList& arguments, DeviceLink* link = nullptr) {
    std::FILE* nowhere = std::fopen("/dev/null", "w");
    const QStringList all = QStringList{QStringLiteral("corvane-cli"), QStringLiteral("-q")} + arguments;
    const int status = link ? cli::runCli(all, nowhere, nowhere, *link) : cli::runCli(all, nowhere, nowhere);
    std::fclose(nowhere);
    return status;
}

struct RealisticChip {
    RealisticChip() {
        sim::ChipConfig config;
        config.timing = sim::Timing::Realistic;
        chip = &bench.insert(0, config);
    }
    sim::SimBench bench;
    sim::SimChip* chip = nullptr;
    sim::SimLink link{bench};
};

QString scratchFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    QString path = dir.filePath(QString::fromLatin1(name));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::abort();
    return path;
}

// Times the tool on the chip; prepare() runs before each run, untimed.
void timeTool(benchmark::State& state, const QStringList& arguments,
              const std::function<void(sim::SimChip&)>& prepare = {}) {
    RealisticChip on;
    double wall = 0, floor = 0, requests = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (prepare)
            prepare(*on.chip);
        on.chip->resetFloor();
        on.chip->clearLog();
        state.ResumeTiming();
        const auto t0 = Clock::now();
        if (runTool(arguments, &on.link) != 0)
            state.SkipWithError("the tool failed");
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        floor += seconds(on.chip->modelledFloor());
        requests += double(on.chip->log().size());
    }
    const double n = double(state.iterations());
    state.counters["wall_s"] = wall / n;
    state.counters["floor_s"] = floor / n;
    state.counters["ratio"] = wall / floor;
    state.counters["requests"] = requests / n;
}

void blank(sim::SimChip& chip) {
    std::fill(chip.flash().begin(), chip.flash().end(), 0xFF);
}

void SparseWriteOntoABlankChip(benchmark::State& state) {
    timeTool(state, {QStringLiteral("write"), QStringLiteral("--flash"), kFixture}, blank);
}

void SparseEraseWriteVerify(benchmark::State& state) {
    timeTool(state,
             {QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"), kFixture});
}

void FullEraseWriteVerify(benchmark::State& state) {
    QTemporaryDir dir;
    QByteArray bytes(0x8000, '\0');
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 31 + 1) % 0xFF);
    timeTool(state, {QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"),
                     scratchFile(dir, "full.bin", bytes)});
}

void ConfigOneByte(benchmark::State& state) {
    timeTool(state, {QStringLiteral("config"), QStringLiteral("--bsb"), QStringLiteral("12")});
}

void ReadEeprom(benchmark::State& state) {
    QTemporaryDir dir;
    timeTool(state,
             {QStringLiteral("read"), QStringLiteral("--eeprom"), dir.filePath(QStringLiteral("e.bin"))});
}

void ReadFlash(benchmark::State& state) {
    QTemporaryDir dir;
    timeTool(state,
             {QStringLiteral("read"), QStringLiteral("--flash"), dir.filePath(QStringLiteral("f.bin"))});
}

void WriteFullEeprom(benchmark::State& state) {
    QTemporaryDir dir;
    timeTool(state, {QStringLiteral("write"), QStringLiteral("--eeprom"),
                     scratchFile(dir, "e.bin", QByteArray(1024, '\x5a'))});
}

void Erase(benchmark::State& state) {
    timeTool(state, {QStringLiteral("erase")});
}

void Info(benchmark::State& state) {
    timeTool(state, {QStringLiteral("info")});
}

// --all over a state folder of realistic chips, as on a line: a thread and a
// link per chip.
void AllChips(benchmark::State& state) {
    const int chips = int(state.range(0));
    QTemporaryDir dir;
    QByteArray conf;
    for (int slot = 0; slot < chips; ++slot)
        conf += "[slot " + QByteArray::number(slot) + "]\ntiming = realistic\n";
    scratchFile(dir, "bench.conf", conf);
    double wall = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (runTool({QStringLiteral("--simulate=") + dir.path(), QStringLiteral("--all"),
                     QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"),
                     kFixture}) != 0)
            state.SkipWithError("write failed");
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["chips"] = chips;
    state.counters["wall_s"] = wall / double(state.iterations());
}

BENCHMARK(SparseWriteOntoABlankChip)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(ConfigOneByte)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadEeprom)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadFlash)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteFullEeprom)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Info)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(Erase)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(SparseEraseWriteVerify)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(FullEraseWriteVerify)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(AllChips)->Arg(1)->Arg(8)->Iterations(2)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
