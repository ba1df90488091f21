// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/flash_transfer.h"

#include <array>

namespace corvane::lines {

namespace {

constexpr std::size_t kFrame = 32;
constexpr std::uint8_t kBlankCheckSelector = 0x01;
constexpr std::uint8_t kStatusCheckErased = 0x05; // a blank check found a used byte

std::uint8_t selector(MemKind memory) {
    return memory == MEM_EEPROM ? 0x02 : 0x00;
}

std::array<std::uint8_t, kFrame> displayFrame(std::uint8_t selectorByte, Range range) {
    std::array<std::uint8_t, kFrame> frame{};
    const std::uint32_t last = range.end() - 1;
    frame[0] = DISPLAY_DATA;
    frame[1] = selectorByte;
    frame[2] = std::uint8_t((range.start >> 8) & 0xFF);
    frame[3] = std::uint8_t(range.start & 0xFF);
    frame[4] = std::uint8_t((last >> 8) & 0xFF);
    frame[5] = std::uint8_t(last & 0xFF);
    return frame;
}

bool request(TUsb& usb, std::uint8_t kind, std::uint8_t* data, std::uint16_t length) {
    usb.SetupRequest(kind);
    return usb.isOpen() && usb.link().classRequest(usb.Setup, data, length);
}

} // namespace

TransferResult programFrames(TUsb& usb, MemKind memory, const std::vector<Range>& frames,
                             const StepProgress& progress) {
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Range& f = frames[i];
        const int r = usb.ProgramBlock(std::uint16_t(f.start), std::uint16_t(f.length), memory);
        if (r != 0)
            return {r, f.start};
        if (progress)
            progress(i + 1, frames.size());
    }
    return {};
}

TransferResult readRanges(TUsb& usb, MemKind memory, const std::vector<Range>& ranges, TBuffer& into,
                          const StepProgress& progress) {
    const std::vector<ReadRequest> plan = readPlan(ranges);
    std::array<std::uint8_t, kMaxFrame> answer{};
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const ReadRequest& q = plan[i];
        if (q.range.end() > into.size())
            return {-1, q.range.start};
        auto frame = displayFrame(selector(memory), q.range);
        if (!request(usb, DFU_DNLOAD, frame.data(), frame.size()))
            return {-1, q.range.start};
        if (q.statusCheck) {
            const int s = usb.GetStatus();
            if (s != 0)
                return {s < 0 ? 1 : -s, q.range.start};
        }
        if (!request(usb, DFU_UPLOAD, answer.data(), std::uint16_t(q.range.length))) {
            // The status tells why, and clears a refusal for the next command.
            const int s = q.statusCheck ? 0 : usb.GetStatus();
            return {s > 0 ? -s : -1, q.range.start};
        }
        std::copy_n(answer.begin(), q.range.length, into.begin() + std::ptrdiff_t(q.range.start));
        if (progress)
            progress(i + 1, plan.size());
    }
    return {};
}

BlankCheck blankCheck(TUsb& usb, Range range) {
    BlankCheck result;
    auto frame = displayFrame(kBlankCheckSelector, range);
    if (!request(usb, DFU_DNLOAD, frame.data(), frame.size())) {
        result.code = -1;
        return result;
    }
    // The status is asked here rather than through GetStatus(): that one
    // clears an error status at once, and the address of the used byte is to
    // be fetched first.
    std::array<std::uint8_t, 6> status{};
    if (!request(usb, DFU_GETSTATUS, status.data(), status.size())) {
        result.code = 1;
        return result;
    }
    if (status[0] == 0)
        return result;
    result.code = -int(status[0]);
    if (status[0] == kStatusCheckErased) {
        std::array<std::uint8_t, 2> at{};
        if (request(usb, DFU_UPLOAD, at.data(), at.size()))
            result.firstUsed = std::uint32_t((at[0] << 8) | at[1]);
    }
    request(usb, DFU_CLRSTATUS, nullptr, 0);
    return result;
}

} // namespace corvane::lines
