// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/flash_plan.h"

#include <algorithm>

namespace corvane::lines {

namespace {

bool pageHoldsData(const TBuffer& image, std::size_t page) {
    const auto first = image.begin() + std::ptrdiff_t(page * kPageSize);
    const auto last = image.begin() + std::ptrdiff_t(std::min(image.size(), (page + 1) * kPageSize));
    return std::any_of(first, last, [](std::uint8_t b) { return b != kErased; });
}

void appendRange(std::vector<Range>& to, std::size_t start, std::size_t length) {
    to.push_back({std::uint32_t(start), std::uint32_t(length)});
}

} // namespace

std::size_t FlashPlan::bytesWritten() const {
    std::size_t total = 0;
    for (const Range& r : frames)
        total += r.length;
    return total;
}

FlashPlan sparsePlan(const TBuffer& image) {
    FlashPlan plan;
    const std::size_t pages = (image.size() + kPageSize - 1) / kPageSize;
    const std::size_t pagesPerFrame = kMaxFrame / kPageSize;
    std::size_t page = 0;
    while (page < pages) {
        const bool data = pageHoldsData(image, page);
        std::size_t run = 1;
        while (page + run < pages && pageHoldsData(image, page + run) == data &&
               (!data || run < pagesPerFrame))
            ++run;
        const std::size_t start = page * kPageSize;
        const std::size_t length = std::min(image.size(), (page + run) * kPageSize) - start;
        // A run of data pages longer than a frame goes on in the next frame.
        appendRange(data ? plan.frames : plan.blank, start, length);
        page += run;
    }
    return plan;
}

FlashPlan blockPlan(const TBuffer& image, bool flashAll) {
    FlashPlan plan;
    std::size_t used = image.size();
    if (!flashAll) {
        while (used > 0 && image[used - 1] == kErased)
            --used;
    }
    for (std::size_t at = 0; at < used; at += kMaxFrame)
        appendRange(plan.frames, at, std::min(kMaxFrame, image.size() - at));
    return plan;
}

std::vector<ReadRequest> readPlan(const std::vector<Range>& ranges) {
    std::vector<Range> joined;
    for (const Range& r : ranges) {
        if (r.length == 0)
            continue;
        if (!joined.empty() && joined.back().end() >= r.start)
            joined.back().length = std::max(joined.back().end(), r.end()) - joined.back().start;
        else
            joined.push_back(r);
    }
    std::vector<ReadRequest> requests;
    for (const Range& r : joined) {
        std::uint32_t at = r.start;
        while (at < r.end()) {
            const std::uint32_t stop = std::min<std::uint32_t>(r.end(), at + kMaxFrame);
            requests.push_back({{at, stop - at}, requests.empty()});
            at = stop;
        }
    }
    return requests;
}

} // namespace corvane::lines
