// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/boot_frames.h"

#include "core/chip_table.h"

#include <algorithm>
#include <array>
#include <thread>

namespace corvane {

namespace {

using Frame = std::array<std::uint8_t, wire::kFrame>;

// Bytes 2-5: start and end address, high byte first; the end wraps at 64 KB.
void putRange(std::span<std::uint8_t> frame, std::uint16_t start, std::size_t length) {
    const auto end = static_cast<std::uint16_t>(start + length - 1);
    frame[2] = static_cast<std::uint8_t>(start >> 8);
    frame[3] = static_cast<std::uint8_t>(start & 0xFF);
    frame[4] = static_cast<std::uint8_t>(end >> 8);
    frame[5] = static_cast<std::uint8_t>(end & 0xFF);
}

bool blockLengthOk(std::size_t length) {
    return length >= 1 && length <= kMaxFrame;
}

using Micros = std::chrono::microseconds;

// The time a wait for the device has taken: the clock's, or the waits asked
// of the pause where they add up to more (a pause that returns early).
class WaitBudget {
public:
    explicit WaitBudget(Micros limit) : limit_(limit), start_(std::chrono::steady_clock::now()) {}
    bool over() const { return spent() >= limit_; }
    Micros left() const { return limit_ - spent(); }
    void asked(Micros wait) { asked_ += wait; }

private:
    Micros spent() const {
        return std::max(std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - start_),
                        asked_);
    }

    Micros limit_;
    std::chrono::steady_clock::time_point start_;
    Micros asked_{0};
};

// Still erasing: the bootloader answers errNOTDONE (or, as DFU has it, any
// status in the busy state) until the erase has ended.
bool eraseBusy(const dfu::Status& s) {
    return s.state == dfuDNBUSY || (s.status == errNOTDONE && s.state != dfuERROR);
}

// The states a bootloader answers in once it has taken the empty download
// that ends the download: it is about to leave.
bool manifesting(std::uint8_t state) {
    return state == dfuMANIFEST_SYNC || state == dfuMANIFEST || state == dfuMANIFEST_WAIT_RESET;
}

} // namespace

int CommandResult::code() const {
    switch (status) {
    case CommandStatus::Ok:
        return 0;
    case CommandStatus::TransferFailed:
        return -1;
    case CommandStatus::DeviceStatus:
        return -static_cast<int>(deviceStatus);
    case CommandStatus::StatusRequestFailed:
        break;
    }
    return 1;
}

BootFrames::BootFrames(DeviceLink& link, std::function<void(int)> pause)
    : link_(link), pause_(std::move(pause)) {}

CommandResult BootFrames::send(std::span<const std::uint8_t> frame) {
    const bool fresh = freshChannel_;
    freshChannel_ = false;
    const dfu::Transfer sent = dfu::download(link_, frame);
    if (sent == dfu::Transfer::Done)
        return {};
    // A device in the error state refuses every command until cleared.
    if (fresh && sent == dfu::Transfer::Refused) {
        const dfu::StatusReply found = dfu::getStatus(link_);
        if (found.ok() && found.answer.state == dfuERROR && dfu::clearStatus(link_) == dfu::Transfer::Done &&
            dfu::download(link_, frame) == dfu::Transfer::Done)
            return {};
    }
    return CommandResult::failed(CommandStatus::TransferFailed);
}

CommandResult BootFrames::checkStatus() {
    const dfu::StatusReply reply = dfu::getStatus(link_);
    if (!reply.ok())
        return CommandResult::failed(CommandStatus::StatusRequestFailed);
    if (reply.answer.status == OK)
        return {};
    if (reply.answer.state != dfuDNBUSY)
        dfu::clearStatus(link_);
    return CommandResult::device(reply.answer.status);
}

CommandResult BootFrames::sendAndCheck(std::span<const std::uint8_t> frame) {
    if (const CommandResult sent = send(frame); !sent.ok())
        return sent;
    return checkStatus();
}

CommandResult BootFrames::readBlock(std::uint16_t address, std::span<std::uint8_t> into, BootMemory memory,
                                    StatusCheck check) {
    if (!blockLengthOk(into.size()))
        return CommandResult::failed(CommandStatus::TransferFailed);
    Frame frame{};
    frame[0] = DISPLAY_DATA;
    frame[1] = static_cast<std::uint8_t>(memory);
    putRange(frame, address, into.size());
    const CommandResult r = check == StatusCheck::Before ? sendAndCheck(frame) : send(frame);
    if (!r.ok())
        return r;
    // The answer lands in a buffer of its own: a failed upload leaves into alone.
    std::array<std::uint8_t, kMaxFrame> answer{};
    if (dfu::upload(link_, std::span(answer).first(into.size())) != dfu::Transfer::Done) {
        if (check == StatusCheck::OnFailure) {
            const CommandResult why = checkStatus();
            return why.ok() ? CommandResult::failed(CommandStatus::TransferFailed) : why;
        }
        return CommandResult::failed(CommandStatus::TransferFailed);
    }
    std::copy_n(answer.begin(), into.size(), into.begin());
    return {};
}

CommandResult BootFrames::programBlock(std::uint16_t address, std::span<const std::uint8_t> data,
                                       BootMemory memory) {
    if (!blockLengthOk(data.size()))
        return CommandResult::failed(CommandStatus::TransferFailed);
    // Header, data, and 0xFF up to the end of the suffix.
    std::array<std::uint8_t, wire::kFrame + kMaxFrame + wire::kProgramSuffix> buffer{};
    std::fill(buffer.begin() + wire::kProgramData, buffer.end(), 0xFF);
    buffer[0] = PROGRAM_DATA;
    buffer[1] = static_cast<std::uint8_t>(memory);
    putRange(buffer, address, data.size());
    std::copy(data.begin(), data.end(), buffer.begin() + wire::kProgramData);
    return sendAndCheck(std::span(buffer).first(wire::kProgramData + data.size() + wire::kProgramSuffix));
}

BlankCheckResult BootFrames::blankCheck(std::uint16_t start, std::size_t length) {
    BlankCheckResult out;
    if (length == 0 || start + length > 0x10000) {
        out.result = CommandResult::failed(CommandStatus::TransferFailed);
        return out;
    }
    Frame frame{};
    frame[0] = DISPLAY_DATA;
    frame[1] = wire::kSelectBlankCheck;
    putRange(frame, start, length);
    if (out.result = send(frame); !out.result.ok())
        return out;
    // Asked here rather than by checkStatus(), which clears at once: the
    // address of the used byte is fetched first.
    const dfu::StatusReply reply = dfu::getStatus(link_);
    if (!reply.ok()) {
        out.result = CommandResult::failed(CommandStatus::StatusRequestFailed);
        return out;
    }
    if (reply.answer.status == OK)
        return out;
    out.result = CommandResult::device(reply.answer.status);
    if (reply.answer.status == errCHECK_ERASED) {
        std::array<std::uint8_t, 2> at{};
        if (dfu::upload(link_, at) == dfu::Transfer::Done)
            out.firstUsed = static_cast<std::uint16_t>((at[0] << 8) | at[1]);
    }
    dfu::clearStatus(link_);
    return out;
}

void BootFrames::wait(std::chrono::microseconds time) {
    if (time.count() <= 0)
        return;
    if (pause_)
        pause_(static_cast<int>(time.count()));
    else
        std::this_thread::sleep_for(time);
}

CommandResult BootFrames::eraseChip() {
    Frame frame{};
    frame[0] = WRITE_COMMAND;
    frame[1] = wire::kWriteErase;
    frame[2] = wire::kChipErase;
    // A command that never reached the device erased nothing.
    if (const CommandResult sent = send(frame); !sent.ok())
        return sent;
    WaitBudget budget(kErasePollBudget);
    for (;;) {
        const dfu::StatusReply reply = dfu::getStatus(link_);
        CommandResult last = CommandResult::failed(CommandStatus::StatusRequestFailed);
        Micros next{kErasePollWaitUs};
        if (reply.ok() && !eraseBusy(reply.answer)) {
            if (reply.answer.status == OK)
                return {};
            dfu::clearStatus(link_);
            return CommandResult::device(reply.answer.status);
        }
        if (reply.ok()) {
            // Busy: a busy device is left alone, and asked again when it says.
            last = CommandResult::device(reply.answer.status == OK ? std::uint8_t(errNOTDONE)
                                                                   : reply.answer.status);
            next = std::max(next, Micros(std::chrono::milliseconds(reply.answer.pollTimeout)));
        } else if (reply.transfer == dfu::Transfer::Gone) {
            return last; // a chip that left the bus ends no erase
        }
        if (budget.over())
            return last;
        next = std::min(next, budget.left());
        budget.asked(next);
        wait(next);
    }
}

ByteRead BootFrames::readConfigByte(std::uint8_t area, std::uint8_t index) {
    const Frame frame{READ_COMMAND, area, index};
    if (const CommandResult r = sendAndCheck(frame); !r.ok())
        return {r, 0};
    std::array<std::uint8_t, 1> value{};
    if (dfu::upload(link_, value) != dfu::Transfer::Done)
        return {CommandResult::failed(CommandStatus::TransferFailed), 0};
    return {{}, value[0]};
}

CommandResult BootFrames::writeConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value) {
    const Frame frame{WRITE_COMMAND, area, index, value};
    return sendAndCheck(frame);
}

CommandResult BootFrames::sendStart(std::uint8_t mode, std::uint16_t address) {
    const Frame frame{WRITE_COMMAND, wire::kWriteStart, mode, static_cast<std::uint8_t>(address >> 8),
                      static_cast<std::uint8_t>(address & 0xFF)};
    return send(frame);
}

CommandResult BootFrames::startApplication(std::uint8_t mode, std::uint16_t address) {
    if (const CommandResult sent = sendStart(mode, address); !sent.ok())
        return sent;
    // The empty download ends the download: the bootloader leaves.
    if (dfu::download(link_, {}) != dfu::Transfer::Done)
        return CommandResult::failed(CommandStatus::TransferFailed);
    return {};
}

StartResult BootFrames::runApplication(std::uint8_t mode, std::uint16_t address) {
    if (!sendStart(mode, address).ok())
        return {StartOutcome::CommandFailed};
    const dfu::Transfer ended = dfu::download(link_, {});
    if (ended == dfu::Transfer::Done)
        return {StartOutcome::Started};
    if (ended == dfu::Transfer::Gone)
        return {StartOutcome::LeftBus};
    return {watchLeave()};
}

StartOutcome BootFrames::watchLeave() {
    WaitBudget budget(kLeaveWatch);
    for (;;) {
        const dfu::StatusReply reply = dfu::getStatus(link_);
        if (reply.transfer == dfu::Transfer::Gone)
            return StartOutcome::LeftBus;
        // Answering as before the empty download (or refusing outright): the
        // bootloader stays. One that took it answers on its way out.
        if (reply.transfer == dfu::Transfer::Refused || (reply.ok() && !manifesting(reply.answer.state)))
            return StartOutcome::StillAnswering;
        if (budget.over())
            return StartOutcome::NoAnswer;
        const Micros next = std::min(Micros(kLeaveProbeWaitUs), budget.left());
        budget.asked(next);
        wait(next);
    }
}

} // namespace corvane
