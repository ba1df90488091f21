// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which parts of a memory a transfer moves, in as few requests as the
// bootloader allows.
//
// The bootloader programs a page of 128 bytes at a time and takes at most
// 1 KB per command. On a blank chip a page that the image leaves all 0xFF
// needs no programming: the pages that hold data are grouped into frames of
// up to 1 KB that start and end on page boundaries, and the runs of pages
// between them are left blank.

#include "core/address_range.h"
#include "core/chip_table.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace corvane {

// Total bytes of the ranges.
std::size_t totalLength(const Ranges& ranges);

// [start, start + length) in pieces of at most piece bytes.
Ranges pieces(std::uint32_t start, std::uint32_t length, std::size_t piece);

// One past the last byte that is not 0xFF; 0 for an image all 0xFF.
std::size_t usedLength(std::span<const std::uint8_t> image);

struct WritePlan {
    Ranges frames; // programmed, in address order
    Ranges blank;  // left blank, in address order
    std::size_t bytes() const { return totalLength(frames); }
};

// Only the pages of within (page-aligned) that hold a byte other than 0xFF.
WritePlan sparsePlan(std::span<const std::uint8_t> image, Range within);
WritePlan sparsePlan(std::span<const std::uint8_t> image);

// Whole 1 KB blocks from address 0 up to the block that holds the last byte
// other than 0xFF, or every block with all.
WritePlan blockPlan(std::span<const std::uint8_t> image, bool all);

// The block plan, where each block that blankBlock says is blank on the
// chip is programmed sparsely instead: the chip ends the same.
WritePlan mixedPlan(std::span<const std::uint8_t> image, bool all,
                    const std::function<bool(std::size_t block)>& blankBlock);

// The pages where image differs from what the chip holds, grouped into
// frames as above: a write of them leaves the chip holding image.
WritePlan changedPages(std::span<const std::uint8_t> image, std::span<const std::uint8_t> chip);

// One read request of a pass.
struct ReadPiece {
    Range range;
    // Ask the bootloader's status after the command: the first read of a
    // pass is where the bootloader refuses a protected memory.
    bool statusCheck = false;
};

// The read requests that cover the ranges: ranges that touch are joined and
// cut into pieces of at most piece bytes; the first request checks the status.
std::vector<ReadPiece> readPlan(const Ranges& ranges, std::size_t piece = kMaxFrame);

} // namespace corvane
