// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Inside the simulated chip: one request being served. The request dispatch
// (sim/chip_dispatch.cpp) takes the control transfer apart and answers the
// standard and DFU requests; the command frames a download carries are
// carried out in sim/chip_commands.cpp.

#include "sim/chip.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::sim {

namespace detail {
// Two upper-case hexadecimal digits.
std::string hex2(unsigned v);
} // namespace detail

struct SimChip::Impl {
    SimChip& c;
    const UsbSetup& s;
    std::uint8_t* data;
    unsigned timeoutMs;
    int k; // request number in the fault plan

    bool realistic() const { return c.config_.timing == Timing::Realistic; }
    // Charges a modelled delay; the realistic mode really spends it.
    void spend(std::chrono::microseconds d);

    TransferResult stall(bool enterError);
    TransferResult done(int n) { return {TransferError::None, n}; }
    TransferResult reply(const std::uint8_t* bytes, std::size_t n);
    void fail(DfuStatus st);
    void succeed();

    // Requests (chip_dispatch.cpp).
    TransferResult standard();
    TransferResult descriptor();
    TransferResult dfu();
    TransferResult clearStatus();
    TransferResult abort();
    bool busyWithErase();
    TransferResult download();
    TransferResult endOfDownload();
    TransferResult upload();
    TransferResult getStatus();
    std::uint32_t eraseProgress();

    // Command frames (chip_commands.cpp).
    void command(const std::uint8_t* frame, std::size_t len);
    std::vector<std::uint8_t>* range(std::uint8_t selector, bool forProgram, unsigned& start, unsigned& end,
                                     const std::uint8_t* f);
    void program(const std::uint8_t* f, const std::uint8_t* frame, std::size_t len);
    void display(const std::uint8_t* f);
    void write(const std::uint8_t* f);
    void start(const std::uint8_t* f);
    void erase(std::uint8_t what);
    void writeConfig(std::uint8_t area, std::uint8_t index, std::uint8_t value);
    void read(const std::uint8_t* f);
};

} // namespace corvane::sim
