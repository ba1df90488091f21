// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/flash_transfer.h"

#include <span>

namespace corvane::lines {

TransferResult programFrames(TUsb& usb, MemKind memory, const std::vector<Range>& frames,
                             const StepProgress& progress) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Range& f = frames[i];
        const CommandResult r = usb.programBlock(std::uint16_t(f.start), std::uint16_t(f.length), memory);
        if (!r.ok())
            return {r.code(), f.start};
        if (progress)
            progress(i + 1, frames.size());
    }
    return {};
}

TransferResult readRanges(TUsb& usb, MemKind memory, const std::vector<Range>& ranges, TBuffer& into,
                          const StepProgress& progress) {
    const std::vector<ReadRequest> plan = readPlan(ranges);
    const BootMemory device = memory == MEM_EEPROM ? BootMemory::Eeprom : BootMemory::Flash;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const ReadRequest& q = plan[i];
        if (q.range.end() > into.size())
            return {-1, q.range.start};
        // Unchecked, the status is asked only when the fetch fails: it tells
        // why, and clears a refusal for the next command.
        const auto check =
            q.statusCheck ? BootFrames::StatusCheck::Before : BootFrames::StatusCheck::OnFailure;
        const std::span<std::uint8_t> target(into.data() + q.range.start, q.range.length);
        const CommandResult r = usb.frames().readBlock(std::uint16_t(q.range.start), target, device, check);
        if (!r.ok())
            return {r.code(), q.range.start};
        if (progress)
            progress(i + 1, plan.size());
    }
    return {};
}

BlankCheck blankCheck(TUsb& usb, Range range) {
    const BlankCheckResult r = usb.frames().blankCheck(std::uint16_t(range.start), range.length);
    BlankCheck result;
    result.code = r.result.code();
    if (r.firstUsed)
        result.firstUsed = *r.firstUsed;
    return result;
}

} // namespace corvane::lines
