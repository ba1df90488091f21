// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a FLASH write leaves the chip holding an image with the least work:
// which pages and blocks to program, found out with the bootloader's blank
// check where the chip's content matters.

#include "ops/chip_session.h"
#include "ops/memory_plan.h"

#include <span>

namespace corvane {

struct FlashPlanOutcome {
    OpResult result;
    WritePlan plan;
};

// The frames that leave the chip holding image in every 1 KB block up to the
// block of its last used byte (every block with all), as whole blocks would.
// On an erased chip those are the pages that hold data. Otherwise blank
// checks tell which blocks the chip holds blank: those take only their
// pages with data, the others are programmed whole. A blank rest costs one
// check of two requests, each used block one of four.
FlashPlanOutcome planFlashWrite(ChipSession& session, std::span<const std::uint8_t> image, bool erased,
                                bool all);

// Confirms that the chip holds the ranges blank: VerifyMismatch (step
// VerifyFlash) at the first used byte found.
OpResult confirmBlank(ChipSession& session, const Ranges& ranges);

} // namespace corvane
