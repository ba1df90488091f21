// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/memory_plan.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr std::uint8_t kBlank = 0xFF;

bool holdsData(std::span<const std::uint8_t> bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b != kBlank; });
}

// Groups the pages of within for which wanted(page start, page length) holds
// into frames of at most kMaxFrame; the others into blank runs.
WritePlan groupPages(Range within, const std::function<bool(std::uint32_t, std::uint32_t)>& wanted) {
    WritePlan plan;
    const std::uint32_t pagesPerFrame = kMaxFrame / kPageSize;
    std::uint32_t at = within.start;
    while (at < within.end()) {
        const auto pageEnd = [&within](std::uint32_t from) {
            return std::min<std::uint32_t>(within.end(), (from / kPageSize + 1) * kPageSize);
        };
        const bool data = wanted(at, pageEnd(at) - at);
        std::uint32_t end = pageEnd(at);
        std::uint32_t pages = 1;
        while (end < within.end() && wanted(end, pageEnd(end) - end) == data &&
               (!data || pages < pagesPerFrame)) {
            end = pageEnd(end);
            ++pages;
        }
        (data ? plan.frames : plan.blank).push_back({at, end - at});
        at = end;
    }
    return plan;
}

void append(WritePlan& to, const WritePlan& from) {
    to.frames.insert(to.frames.end(), from.frames.begin(), from.frames.end());
    to.blank.insert(to.blank.end(), from.blank.begin(), from.blank.end());
}

} // namespace

std::size_t totalLength(const Ranges& ranges) {
    std::size_t total = 0;
    for (const Range& r : ranges)
        total += r.length;
    return total;
}

Ranges pieces(std::uint32_t start, std::uint32_t length, std::size_t piece) {
    Ranges out;
    for (std::uint32_t at = start; at < start + length;) {
        const auto stop = std::min<std::uint32_t>(start + length, at + std::uint32_t(piece));
        out.push_back({at, stop - at});
        at = stop;
    }
    return out;
}

std::size_t usedLength(std::span<const std::uint8_t> image) {
    std::size_t used = image.size();
    while (used > 0 && image[used - 1] == kBlank)
        --used;
    return used;
}

WritePlan sparsePlan(std::span<const std::uint8_t> image, Range within) {
    return groupPages(within, [image](std::uint32_t start, std::uint32_t length) {
        return holdsData(image.subspan(start, length));
    });
}

WritePlan sparsePlan(std::span<const std::uint8_t> image) {
    return sparsePlan(image, {0, std::uint32_t(image.size())});
}

WritePlan blockPlan(std::span<const std::uint8_t> image, bool all) {
    const std::size_t used = all ? image.size() : usedLength(image);
    const std::size_t length = std::min(image.size(), (used + kFlashBlock - 1) / kFlashBlock * kFlashBlock);
    WritePlan plan;
    plan.frames = pieces(0, std::uint32_t(length), kFlashBlock);
    return plan;
}

WritePlan mixedPlan(std::span<const std::uint8_t> image, bool all,
                    const std::function<bool(std::size_t block)>& blankBlock) {
    WritePlan plan;
    const WritePlan blocks = blockPlan(image, all);
    for (std::size_t b = 0; b < blocks.frames.size(); ++b) {
        const Range& block = blocks.frames[b];
        if (blankBlock(b))
            append(plan, sparsePlan(image, block));
        else
            plan.frames.push_back(block);
    }
    // Blank runs that touch across block boundaries are one run.
    Ranges joined;
    for (const Range& r : plan.blank) {
        if (!joined.empty() && joined.back().end() == r.start)
            joined.back().length += r.length;
        else
            joined.push_back(r);
    }
    plan.blank = std::move(joined);
    return plan;
}

WritePlan changedPages(std::span<const std::uint8_t> image, std::span<const std::uint8_t> chip) {
    const auto length = std::uint32_t(std::min(image.size(), chip.size()));
    return groupPages({0, length}, [image, chip](std::uint32_t start, std::uint32_t n) {
        return !std::equal(image.begin() + start, image.begin() + start + n, chip.begin() + start);
    });
}

std::vector<ReadPiece> readPlan(const Ranges& ranges, std::size_t piece) {
    Ranges joined;
    for (const Range& r : ranges) {
        if (r.length == 0)
            continue;
        if (!joined.empty() && joined.back().end() >= r.start)
            joined.back().length = std::max(joined.back().end(), r.end()) - joined.back().start;
        else
            joined.push_back(r);
    }
    std::vector<ReadPiece> requests;
    for (const Range& r : joined) {
        for (const Range& p : pieces(r.start, r.length, piece))
            requests.push_back({p, requests.empty()});
    }
    return requests;
}

} // namespace corvane
