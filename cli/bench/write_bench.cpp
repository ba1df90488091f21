// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli's write of 32 KB FLASH and 1 KB EEPROM, with its read-back,
// on the realistic bench against the floor that the chip's timing model gives
// for the requests it served. The tool leaves out the window's pauses, so
// next to nothing should remain above the floor.

#include "cli/session.h"
#include "sim/bench.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace corvane;

void writeFile(const QString& name, std::size_t size, unsigned seed) {
    QByteArray bytes(qsizetype(size), '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[qsizetype(i)] = char((i * 31 + seed) % 0xFF); // never 0xFF: every block is used
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        std::abort();
}

void WriteWithVerify(benchmark::State& state) {
    const bool erase = state.range(0) != 0;
    QTemporaryDir dir;
    cli::CommandLine options;
    options.command = QStringLiteral("write");
    options.flashFile = dir.filePath(QStringLiteral("flash.bin"));
    options.eepromFile = dir.filePath(QStringLiteral("eeprom.bin"));
    options.erase = erase;
    writeFile(options.flashFile, 0x8000, 1);
    writeFile(options.eepromFile, 0x400, 2);

    sim::SimBench bench;
    sim::ChipConfig config;
    config.timing = sim::Timing::Realistic;
    sim::SimChip& chip = bench.insert(0, config);
    sim::SimLink link(bench);
    cli::TerminalView view(stderr, cli::TerminalView::Mode::Quiet);

    double wall = 0, floor = 0;
    for (auto _ : state) {
        cli::Session session(link, view, stdout, options);
        chip.resetFloor();
        const auto t0 = std::chrono::steady_clock::now();
        const int status = session.write();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        floor += std::chrono::duration<double>(chip.modelledFloor()).count();
        if (status != cli::ExitOk)
            state.SkipWithError("write failed");
    }
    state.counters["wall_s"] = wall / double(state.iterations());
    state.counters["floor_s"] = floor / double(state.iterations());
    state.counters["ratio"] = wall / floor;
}

BENCHMARK(WriteWithVerify)->ArgName("erase")->Arg(0)->Arg(1)->Iterations(2)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
