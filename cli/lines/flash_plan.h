// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which parts of a memory image a write programs, which it leaves blank, and
// how a range is read back in as few requests as the bootloader allows.
//
// FLASH is programmed in pages of 128 bytes. On an erased chip a page that
// the image leaves all 0xFF needs no programming: the pages that hold data
// are grouped into frames of up to 1 KB that start and end on page
// boundaries, and the runs of pages between them are the blank ranges that a
// verify confirms with one blank check each.

#include "image/memory_images.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane::lines {

constexpr std::size_t kPageSize = 128;
constexpr std::size_t kMaxFrame = 1024; // the bootloader takes and answers at most 1 KB per command

struct Range {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t end() const { return start + length; } // one past the last byte
    bool operator==(const Range&) const = default;
};

struct FlashPlan {
    std::vector<Range> frames; // programmed, in address order
    std::vector<Range> blank;  // left blank, in address order; empty unless sparse
    std::size_t bytesWritten() const;
};

// The sparse plan of an image for an erased chip: only the pages that hold a
// byte other than 0xFF are programmed.
FlashPlan sparsePlan(const TBuffer& image);

// The plan without an erase: whole 1 KB blocks from address 0 up to the block
// that holds the last byte other than 0xFF, or every block with flashAll.
FlashPlan blockPlan(const TBuffer& image, bool flashAll);

// One read request of a read-back.
struct ReadRequest {
    Range range;
    // Ask the bootloader's status after the command: the first read of a pass
    // is where the bootloader refuses a protected memory.
    bool statusCheck = false;
};

// The read requests that cover the ranges: ranges that touch are joined and
// cut into pieces of at most 1 KB; the first request checks the status.
std::vector<ReadRequest> readPlan(const std::vector<Range>& ranges);

} // namespace corvane::lines
