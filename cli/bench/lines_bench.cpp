// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli for production lines on the realistic bench, against the floor
// of the chip's own timing model:
//   - a sparse image (an SDCC-built program of about 3 KB and a tag at 7FF0)
//     with erase and verify, against the floor for erasing the chip and
//     programming the pages that hold data;
//   - the same on eight chips with --all, against one chip alone;
//   - a full 32 KB image with erase and verify, against the floor of the
//     requests the chip served.

#include "cli/cli.h"
#include "cli/lines/flash_plan.h"
#include "sim/bench.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

const QString kFixture = QStringLiteral(CORVANE_BENCH_FIXTURES "/blink_uart.hex");

double seconds(std::chrono::microseconds d) {
    return std::chrono::duration<double>(d).count();
}

// The FLASH pages of the fixture that hold data (read through the bench's
// own chip after a write would do as well; this keeps the floor independent
// of the tool).
std::size_t dataPages(const TBuffer& image) {
    return lines::sparsePlan(image).bytesWritten() / lines::kPageSize;
}

TBuffer fixtureImage() {
    // Written once by the tool into an in-memory chip and read back from it.
    sim::SimBench bench;
    bench.insert(0);
    sim::SimLink link(bench);
    std::FILE* nowhere = std::fopen("/dev/null", "w");
    const int status =
        cli::runCli({QStringLiteral("corvane-cli"), QStringLiteral("-q"), QStringLiteral("write"),
                     QStringLiteral("--no-verify"), QStringLiteral("--flash"), kFixture},
                    nowhere, nowhere, link);
    std::fclose(nowhere);
    if (status != 0)
        std::abort();
    return bench.chip(0)->flash();
}

int runTool(const QStringList& arguments, sim::SimLink* link = nullptr) {
    std::FILE* nowhere = std::fopen("/dev/null", "w");
    QStringList all{QStringLiteral("corvane-cli"), QStringLiteral("-q")};
    all << arguments;
    const int status = link ? cli::runCli(all, nowhere, nowhere, *link) : cli::runCli(all, nowhere, nowhere);
    std::fclose(nowhere);
    return status;
}

// One realistic chip on an in-memory bench, and the tool's link to it.
sim::ChipConfig realistic() {
    sim::ChipConfig config;
    config.timing = sim::Timing::Realistic;
    return config;
}

struct RealisticChip {
    sim::SimBench bench;
    sim::SimChip& chip = bench.insert(0, realistic());
    sim::SimLink link{bench};
};

// Per run of the tool: wall time, the floor of the requests the chip served
// and their number.
struct Timed {
    double wall = 0, served = 0, requests = 0;
};

Timed timeTool(benchmark::State& state, RealisticChip& on, const QStringList& arguments) {
    Timed t;
    for (auto _ : state) {
        on.chip.resetFloor();
        on.chip.clearLog();
        const auto t0 = Clock::now();
        if (runTool(arguments, &on.link) != 0)
            state.SkipWithError("the tool failed");
        t.wall += std::chrono::duration<double>(Clock::now() - t0).count();
        t.served += seconds(on.chip.modelledFloor());
        t.requests += double(on.chip.log().size());
    }
    const double n = double(state.iterations());
    return {t.wall / n, t.served / n, t.requests / n};
}

void SparseEraseWriteVerify(benchmark::State& state) {
    const std::size_t pages = dataPages(fixtureImage());
    RealisticChip on;
    const Timed t = timeTool(
        state, on, {QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"), kFixture});
    const double pagesFloor =
        seconds(sim::SimChip::kChipErase) + double(pages) * seconds(sim::SimChip::kPageProgram);
    state.counters["data_pages"] = double(pages);
    state.counters["wall_s"] = t.wall;
    state.counters["pages_floor_s"] = pagesFloor;
    state.counters["ratio_pages"] = t.wall / pagesFloor;
    state.counters["served_floor_s"] = t.served;
    state.counters["ratio_served"] = t.wall / t.served;
}

void FullEraseWriteVerify(benchmark::State& state) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("full.bin"));
    {
        QByteArray bytes(0x8000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 31 + 1) % 0xFF);
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    RealisticChip on;
    const Timed t = timeTool(
        state, on, {QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"), file});
    state.counters["wall_s"] = t.wall;
    state.counters["served_floor_s"] = t.served;
    state.counters["ratio_served"] = t.wall / t.served;
}

// read of all 32 KB of FLASH: one status request, then a command and an
// upload per kilobyte.
void ReadFlash(benchmark::State& state) {
    QTemporaryDir dir;
    RealisticChip on;
    const Timed t = timeTool(
        state, on,
        {QStringLiteral("read"), QStringLiteral("--flash"), dir.filePath(QStringLiteral("back.bin"))});
    state.counters["wall_s"] = t.wall;
    state.counters["served_floor_s"] = t.served;
    state.counters["requests"] = t.requests;
}

// --all over a state folder with chips realistic chips in it, as the tool
// runs on a line: a thread and a link per chip.
void AllChips(benchmark::State& state) {
    const int chips = int(state.range(0));
    QTemporaryDir dir;
    QByteArray conf;
    for (int slot = 0; slot < chips; ++slot)
        conf += "[slot " + QByteArray::number(slot) + "]\ntiming = realistic\n";
    QFile f(dir.filePath(QStringLiteral("bench.conf")));
    if (!f.open(QIODevice::WriteOnly) || f.write(conf) != conf.size())
        std::abort();
    f.close();
    double wall = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (runTool({QStringLiteral("--simulate"), dir.path(), QStringLiteral("--all"),
                     QStringLiteral("write"), QStringLiteral("--erase"), QStringLiteral("--flash"),
                     kFixture}) != 0)
            state.SkipWithError("write failed");
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["chips"] = chips;
    state.counters["wall_s"] = wall / double(state.iterations());
}

BENCHMARK(SparseEraseWriteVerify)->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(AllChips)->Arg(1)->Arg(8)->Iterations(2)->Unit(benchmark::kSecond);
BENCHMARK(ReadFlash)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(FullEraseWriteVerify)->Iterations(2)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
