// SPDX-License-Identifier: GPL-3.0-or-later
// How close an erase and a full write on the realistic bench come to the
// chip's own modelled floor: the link and TUsb should add next to nothing.

#include "link/usb.h"
#include "sim/bench.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

void EraseAndWriteAll(benchmark::State& state) {
    using namespace corvane;
    sim::SimBench bench;
    sim::ChipConfig config;
    config.timing = sim::Timing::Realistic;
    sim::SimChip& chip = bench.insert(0, config);
    sim::SimLink link(bench);
    MemoryImages images;
    for (std::size_t i = 0; i < images.FlashImage.size(); ++i)
        images.FlashImage[i] = static_cast<std::uint8_t>(i);
    UsbHooks hooks;
    hooks.deviceNumber = [] { return 0; };
    TUsb usb(link, images, hooks);

    double wall = 0, floor = 0;
    for (auto _ : state) {
        chip.resetFloor();
        const auto t0 = std::chrono::steady_clock::now();
        usb.OpenDevice();
        bool ok = usb.EraseChip() == 0;
        for (std::uint16_t a = 0; a < 0x8000; a += 1024)
            ok = ok && usb.ProgramBlock(a, 1024, MEM_FLASH) == 0;
        for (std::uint16_t a = 0; a < 0x400; a += 256)
            ok = ok && usb.ProgramBlock(a, 256, MEM_EEPROM) == 0;
        usb.CloseDevice();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        floor += std::chrono::duration<double>(chip.modelledFloor()).count();
        if (!ok)
            state.SkipWithError("an operation failed");
    }
    state.counters["wall_s"] = wall / state.iterations();
    state.counters["floor_s"] = floor / state.iterations();
    state.counters["ratio"] = wall / floor;
}

BENCHMARK(EraseAndWriteAll)->Iterations(2)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
