// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/write_planning.h"

#include <vector>

namespace corvane {

FlashPlanOutcome planFlashWrite(ChipSession& session, std::span<const std::uint8_t> image, bool erased,
                                bool all) {
    FlashPlanOutcome out;
    if (erased) {
        out.plan = sparsePlan(image);
        return out;
    }
    const Ranges blocks = blockPlan(image, all).frames;
    std::vector<bool> blank(blocks.size(), false);
    const std::uint32_t end = blocks.empty() ? 0 : blocks.back().end();
    std::uint32_t at = 0;
    while (at < end) {
        const BlankOutcome check = session.blankCheck({at, end - at});
        if (!check.result.ok()) {
            out.result = check.result;
            return out;
        }
        // Blank up to the used byte found (from at on); the block that holds
        // it is not, and the search goes on after it.
        const std::uint32_t used = check.blank ? end : check.firstUsed.value_or(at);
        for (std::size_t b = at / kFlashBlock; b < blocks.size() && blocks[b].end() <= used; ++b)
            blank[b] = true;
        at = check.blank ? end : std::uint32_t((used / kFlashBlock + 1) * kFlashBlock);
    }
    out.plan = mixedPlan(image, all, [&blank](std::size_t b) { return blank[b]; });
    return out;
}

OpResult confirmBlank(ChipSession& session, const Ranges& ranges) {
    for (const Range& r : ranges) {
        const BlankOutcome check = session.blankCheck(r);
        if (!check.result.ok())
            return check.result;
        if (!check.blank)
            return OpResult::failure(ErrorKind::VerifyMismatch, OpStep::VerifyFlash,
                                     check.firstUsed.value_or(r.start));
    }
    return {};
}

} // namespace corvane
