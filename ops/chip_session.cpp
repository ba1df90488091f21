// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/chip_session.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvane {

namespace {

BootMemory bootMemory(MemKind memory) {
    return memory == MEM_EEPROM ? BootMemory::Eeprom : BootMemory::Flash;
}

bool fits(const Range& r, std::size_t size) {
    return r.length > 0 && r.length <= kMaxFrame && std::size_t(r.end()) <= size;
}

} // namespace

std::optional<std::uint8_t> ChipBytes::securityLevel() const {
    const std::optional<std::uint8_t> ssb = get(ConfigId::SSB);
    if (!ssb)
        return std::nullopt;
    return corvane::securityLevel(*ssb);
}

bool ChipBytes::locked() const {
    const std::optional<std::uint8_t> level = securityLevel();
    return level && *level != kNotLocked;
}

OpStep readStep(MemKind memory) {
    return memory == MEM_EEPROM ? OpStep::ReadEeprom : OpStep::ReadFlash;
}

OpStep verifyStep(MemKind memory) {
    return memory == MEM_EEPROM ? OpStep::VerifyEeprom : OpStep::VerifyFlash;
}

OpStep programStep(MemKind memory) {
    return memory == MEM_EEPROM ? OpStep::ProgramEeprom : OpStep::ProgramFlash;
}

OpStep readStep(ConfigId id) {
    return configByte(id).identification || id == ConfigId::SSB ? OpStep::Identify : OpStep::ReadConfig;
}

ChipSession::ChipSession(DeviceLink& link, SessionHooks hooks)
    : link_(link), hooks_(std::move(hooks)), frames_(link, [this](int us) {
          if (hooks_.pause)
              hooks_.pause(us);
          else
              std::this_thread::sleep_for(std::chrono::microseconds(us));
      }) {}

ChipSession::~ChipSession() {
    close();
}

OpResult ChipSession::cancelled(OpStep step) const {
    return OpResult::failure(ErrorKind::Cancelled, step);
}

OpResult ChipSession::failed(ErrorKind kind, OpStep step, std::uint32_t address,
                             CommandResult command) const {
    OpResult r = OpResult::failure(kind, step, address, command);
    r.linkError = link_.lastError();
    return r;
}

OpResult ChipSession::blockFailed(OpStep step, std::uint32_t address, CommandResult command) const {
    return failed(bytes_.locked() ? ErrorKind::Locked : ErrorKind::TransferFailed, step, address, command);
}

std::uint16_t ChipSession::vendorId() const {
    return std::uint16_t(descriptor_[8] | descriptor_[9] << 8);
}

std::uint16_t ChipSession::productId() const {
    return std::uint16_t(descriptor_[10] | descriptor_[11] << 8);
}

OpResult ChipSession::open(int deviceNumber) {
    if (stop())
        return cancelled(OpStep::Open);
    close();
    bytes_.clear();
    device_ = deviceNumber;
    if (deviceNumber < 0 || deviceNumber >= kDeviceCount || !link_.open(deviceNumber)) {
        const OpenFailure why = deviceNumber >= 0 && deviceNumber < kDeviceCount ? link_.lastOpenFailure()
                                                                                 : OpenFailure::NotFound;
        const ErrorKind kind = why == OpenFailure::AccessDenied ? ErrorKind::AccessDenied
                               : why == OpenFailure::Busy       ? ErrorKind::InUse
                                                                : ErrorKind::NoDevice;
        return failed(kind, OpStep::Open, 0, {});
    }
    frames_.channelOpened();
    if (stop())
        return cancelled(OpStep::Identify);
    DeviceDescriptor answer{};
    if (!link_.getDeviceDescriptor(answer))
        return failed(ErrorKind::TransferFailed, OpStep::Identify, 0,
                      CommandResult::failed(CommandStatus::TransferFailed));
    descriptor_ = answer;
    if (vendorId() != kBootVendor || productId() != kBootProduct)
        return failed(ErrorKind::NotBootloader, OpStep::Identify, 0, {});
    return {};
}

void ChipSession::close() {
    if (link_.isOpen())
        link_.close();
}

ByteOutcome ChipSession::readByte(ConfigId id) {
    const OpStep step = readStep(id);
    if (stop())
        return {cancelled(step), std::nullopt};
    const ConfigByteInfo& info = configByte(id);
    const ByteRead read = frames_.readConfigByte(info.area, info.index);
    if (!read.result.ok()) {
        bytes_.forget(id);
        return {failed(ErrorKind::TransferFailed, step, configAddress(id), read.result), std::nullopt};
    }
    bytes_.set(id, read.value);
    return {{}, read.value};
}

OpResult ChipSession::readBytes(std::span<const ConfigId> ids) {
    for (ConfigId id : ids) {
        if (const ByteOutcome r = readByte(id); !r.result.ok())
            return r.result;
    }
    return {};
}

OpResult ChipSession::read(MemKind memory, const Ranges& ranges, std::span<std::uint8_t> image,
                           std::size_t blockSize, const BlockHook& beforeBlock, std::optional<OpStep> step) {
    const OpStep pass = step.value_or(readStep(memory));
    const std::vector<ReadPiece> plan = readPlan(ranges, std::clamp<std::size_t>(blockSize, 1, kMaxFrame));
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const Range& r = plan[i].range;
        if (beforeBlock)
            beforeBlock(i, plan.size());
        if (stop())
            return cancelled(pass);
        if (!fits(r, image.size()))
            return failed(ErrorKind::BadInput, pass, r.start, {});
        const auto check =
            plan[i].statusCheck ? BootFrames::StatusCheck::Before : BootFrames::StatusCheck::OnFailure;
        const CommandResult done = frames_.readBlock(std::uint16_t(r.start), image.subspan(r.start, r.length),
                                                     bootMemory(memory), check);
        if (!done.ok())
            return blockFailed(pass, r.start, done);
    }
    return {};
}

BlankOutcome ChipSession::blankCheck(Range range) {
    BlankOutcome out;
    if (stop()) {
        out.result = cancelled(OpStep::BlankCheck);
        return out;
    }
    const BlankCheckResult r = frames_.blankCheck(std::uint16_t(range.start), range.length);
    if (r.result.ok()) {
        out.blank = true;
    } else if (r.result.status == CommandStatus::DeviceStatus && r.result.deviceStatus == errCHECK_ERASED) {
        out.firstUsed = r.firstUsed;
    } else {
        out.result = blockFailed(OpStep::BlankCheck, range.start, r.result);
    }
    return out;
}

OpResult ChipSession::erase() {
    if (stop())
        return cancelled(OpStep::Erase);
    const CommandResult r = frames_.eraseChip();
    // What the erase resets is unknown until read again, also after a
    // failure: the chip may have begun.
    for (ConfigId id : {ConfigId::SSB, ConfigId::BSB, ConfigId::SBV})
        bytes_.forget(id);
    if (!r.ok())
        return failed(ErrorKind::TransferFailed, OpStep::Erase, 0, r);
    return {};
}

ProgramOutcome ChipSession::program(MemKind memory, const Ranges& frames, std::span<const std::uint8_t> image,
                                    const BlockHook& beforeFrame) {
    const OpStep step = programStep(memory);
    ProgramOutcome out;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Range& f = frames[i];
        if (beforeFrame)
            beforeFrame(i, frames.size());
        if (stop()) {
            out.result = cancelled(step);
            return out;
        }
        if (!fits(f, image.size())) {
            out.result = failed(ErrorKind::BadInput, step, f.start, {});
            return out;
        }
        const CommandResult r = frames_.programBlock(std::uint16_t(f.start), image.subspan(f.start, f.length),
                                                     bootMemory(memory));
        // The data arrived unless the download failed or the chip refused it.
        if (r.ok() || r.status == CommandStatus::StatusRequestFailed)
            out.bytesWritten += f.length;
        if (!r.ok()) {
            out.result = blockFailed(step, f.start, r);
            return out;
        }
    }
    return out;
}

VerifyOutcome ChipSession::verify(MemKind memory, const Ranges& ranges,
                                  std::span<const std::uint8_t> expected, const BlockHook& beforeBlock) {
    VerifyOutcome out;
    const OpStep step = verifyStep(memory);
    std::vector<std::uint8_t> readBack(expected.size(), 0xFF);
    out.result = read(memory, ranges, readBack, kMaxFrame, beforeBlock, step);
    if (!out.result.ok())
        return out;
    out.reached = true;
    for (const Range& r : ranges) {
        for (std::uint32_t a = r.start; a < r.end(); ++a) {
            if (readBack[a] == expected[a])
                continue;
            if (out.difference.count == 0)
                out.difference.first = a;
            ++out.difference.count;
        }
    }
    if (out.difference.count > 0)
        out.result = OpResult::failure(ErrorKind::VerifyMismatch, step, out.difference.first);
    return out;
}

OpResult ChipSession::writeByte(ConfigId id, std::uint8_t value) {
    const OpStep step = id == ConfigId::SSB ? OpStep::WriteSecurity : OpStep::WriteFuses;
    if (stop())
        return cancelled(step);
    const ConfigByteInfo& info = configByte(id);
    const CommandResult r = frames_.writeConfigByte(info.area, info.index, value);
    bytes_.forget(id);
    if (!r.ok())
        return failed(ErrorKind::TransferFailed, step, configAddress(id), r);
    return {};
}

OpResult ChipSession::start(StartMode mode, std::uint16_t address) {
    if (stop())
        return cancelled(OpStep::Start);
    // Judged by the bus: a bootloader that leaves before the end of the
    // empty download has started the application.
    const StartResult r = frames_.runApplication(static_cast<std::uint8_t>(mode), address);
    if (!r.ok())
        return failed(ErrorKind::TransferFailed, OpStep::Start, address,
                      CommandResult::failed(CommandStatus::TransferFailed));
    return {};
}

} // namespace corvane
