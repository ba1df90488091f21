// SPDX-License-Identifier: GPL-3.0-or-later
// The device link module: the driver channel and the operations' view of the
// bootloader's command frames.

#include "link/usb.h"

#include "link/dfu_requests.h"

namespace corvane {

namespace {


BootMemory bootMemory(std::uint8_t memory) {
    return memory == MEM_EEPROM ? BootMemory::Eeprom : BootMemory::Flash;
}

} // namespace

TUsb::TUsb(DeviceLink& link, MemoryImages& images, UsbHooks hooks)
    : link_(link), images_(images), hooks_(std::move(hooks)), frames_(link, [this](int us) { Hr.Wait(us); }) {
    Hr.Resolution = 1;
    Hr.Accuracy = 0;
    Hr.UseTSC = true;
    Hr.Enabled = true;
}

TUsb::~TUsb() {
    if (link_.isOpen())
        link_.close();
}

bool TUsb::isOpen() const {
    return link_.isOpen();
}

bool TUsb::OpenDevice() {
    const int n = hooks_.deviceNumber ? hooks_.deviceNumber() : -1;
    if (n < 0 || n >= kDeviceCount)
        return false;
    if (!link_.open(n))
        return false;
    frames_.channelOpened();
    return true;
}

void TUsb::CloseDevice() {
    if (hooks_.clearStatus)
        hooks_.clearStatus();
    if (hooks_.processMessages)
        hooks_.processMessages();
    if (link_.isOpen())
        link_.close();
}

int TUsb::GetDeviceDescriptor() {
    DeviceDescriptor answer{};
    if (!link_.isOpen() || !link_.getDeviceDescriptor(answer))
        return -1;
    DevDesc = answer;
    return DevDesc[8] | (DevDesc[9] << 8);
}

void TUsb::SetupRequest(std::uint8_t kind) {
    Setup = dfu::setupFor(static_cast<DfuRequest>(kind));
}

int TUsb::GetStatus() {
    const dfu::StatusReply reply = dfu::getStatus(link_);
    if (!reply.ok())
        return -1;
    // A device that reported an error stays in its error state and refuses
    // the next command until its status is cleared; a busy device is left
    // alone.
    if (reply.answer.status != OK && reply.answer.state != dfuDNBUSY)
        dfu::clearStatus(link_);
    return reply.answer.status;
}

std::span<std::uint8_t> TUsb::blockOf(std::uint16_t address, std::uint16_t length, std::uint8_t memory) {
    if (memory > MEM_EEPROM || length == 0 || length > wire::kMaxBlock)
        return {};
    TBuffer& image = images_.image(static_cast<MemKind>(memory));
    if (std::size_t(address) + length > image.size())
        return {};
    return std::span(image.data() + address, length);
}

int TUsb::ReadBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory, std::uint16_t offset,
                    bool statusCheck) {
    if (memory > MEM_EEPROM)
        return -1;
    const auto check = statusCheck ? BootFrames::StatusCheck::Before : BootFrames::StatusCheck::OnFailure;
    const std::span<std::uint8_t> block = blockOf(address, length, memory);
    if (block.empty())
        return -1;
    return frames_.readBlock(static_cast<std::uint16_t>(address + offset), block, bootMemory(memory), check)
        .code();
}

CommandResult TUsb::readBlock(std::uint16_t address, std::uint16_t length, MemKind memory,
                              BootFrames::StatusCheck check) {
    const std::span<std::uint8_t> block = blockOf(address, length, memory);
    if (block.empty())
        return CommandResult::failed(CommandStatus::TransferFailed);
    return frames_.readBlock(address, block, bootMemory(memory), check);
}

int TUsb::ProgramBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory) {
    if (memory > MEM_EEPROM)
        return -1;
    return programBlock(address, length, static_cast<MemKind>(memory)).code();
}

CommandResult TUsb::programBlock(std::uint16_t address, std::uint16_t length, MemKind memory) {
    const std::span<std::uint8_t> block = blockOf(address, length, memory);
    if (block.empty())
        return CommandResult::failed(CommandStatus::TransferFailed);
    return frames_.programBlock(address, block, bootMemory(memory));
}

int TUsb::EraseChip() {
    return eraseChip().code();
}

CommandResult TUsb::eraseChip() {
    return frames_.eraseChip();
}

int TUsb::ReadConfigByte(std::uint8_t area, std::uint8_t index) {
    const ByteRead read = frames_.readConfigByte(area, index);
    return read.result.ok() ? int(read.value) : read.result.code();
}

int TUsb::WriteConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value) {
    return writeConfigByte(area, index, value).code();
}

CommandResult TUsb::writeConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value) {
    return frames_.writeConfigByte(area, index, value);
}

int TUsb::StartApplication(std::uint8_t mode, std::uint16_t address) {
    return startApplication(mode, address).code();
}

CommandResult TUsb::startApplication(std::uint8_t mode, std::uint16_t address) {
    return frames_.startApplication(mode, address);
}

} // namespace corvane
