// SPDX-License-Identifier: GPL-3.0-or-later
// How close an erase and a full write on the realistic bench come to the
// chip's own modelled floor: the command frames and the link should add next
// to nothing.

#include "core/chip_table.h"
#include "link/boot_frames.h"
#include "sim/bench.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <span>
#include <vector>

namespace {

using namespace corvane;

// Every block of memory from 0 on, one program command each.
bool programAll(BootFrames& frames, std::span<const std::uint8_t> memory, std::size_t block,
                BootMemory kind) {
    for (std::size_t a = 0; a < memory.size(); a += block) {
        if (!frames.programBlock(static_cast<std::uint16_t>(a), memory.subspan(a, block), kind).ok())
            return false;
    }
    return true;
}

void EraseAndWriteAll(benchmark::State& state) {
    sim::SimBench bench;
    sim::ChipConfig config;
    config.timing = sim::Timing::Realistic;
    sim::SimChip& chip = bench.insert(0, config);
    sim::SimLink link(bench);
    std::vector<std::uint8_t> flash(chipVariant(0).flashSize);
    for (std::size_t i = 0; i < flash.size(); ++i)
        flash[i] = static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> eeprom(kEepromBytes, 0xFF);

    double wall = 0, floor = 0;
    for (auto _ : state) {
        chip.resetFloor();
        const auto t0 = std::chrono::steady_clock::now();
        bool ok = link.open(0);
        BootFrames frames(link);
        frames.channelOpened();
        ok = ok && frames.eraseChip().ok();
        ok = ok && programAll(frames, flash, kFlashBlock, BootMemory::Flash);
        ok = ok && programAll(frames, eeprom, kEepromBlock, BootMemory::Eeprom);
        link.close();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        floor += std::chrono::duration<double>(chip.modelledFloor()).count();
        if (!ok)
            state.SkipWithError("an operation failed");
    }
    state.counters["wall_s"] = wall / double(state.iterations());
    state.counters["floor_s"] = floor / double(state.iterations());
    state.counters["ratio"] = wall / floor;
}

BENCHMARK(EraseAndWriteAll)->Iterations(2)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
