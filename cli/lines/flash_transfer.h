// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Moving the ranges of a plan between a memory image and the chip, over a
// channel that TUsb has open: programming frames, reading back with as few
// requests as the bootloader allows, and the bootloader's blank check.
// Results follow the link's convention: 0 success, -1 a failed request, -s a
// status s the device reported, +1 a failed status request.

#include "cli/lines/flash_plan.h"
#include "link/usb.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace corvane::lines {

struct TransferResult {
    int code = 0;
    std::uint32_t address = 0; // where the failing request began
    bool ok() const { return code == 0; }
};

// Called after each request with the number of requests done and their total.
using StepProgress = std::function<void(std::size_t done, std::size_t total)>;

// Programs each frame from the image that usb holds, in order; stops at the
// first failure.
TransferResult programFrames(TUsb& usb, MemKind memory, const std::vector<Range>& frames,
                             const StepProgress& progress = {});

// Reads the ranges of memory into into (at their device addresses; into must
// be as large as the memory): the requests of readPlan(), a status request
// only after the first command, where a protected memory is refused. Stops at
// the first failure.
TransferResult readRanges(TUsb& usb, MemKind memory, const std::vector<Range>& ranges, TBuffer& into,
                          const StepProgress& progress = {});

struct BlankCheck {
    int code = 0;                           // 0 blank; else the link's failure result
    std::optional<std::uint32_t> firstUsed; // not blank: the first byte that is not 0xFF
    bool blank() const { return code == 0; }
};

// The bootloader's blank check of a FLASH range: one command and its status
// request; when the range is not blank, the address of its first used byte is
// fetched and the error status cleared.
BlankCheck blankCheck(TUsb& usb, Range range);

} // namespace corvane::lines
