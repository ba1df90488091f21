// SPDX-License-Identifier: GPL-3.0-or-later
// The device link module: driver channel, class requests and the
// bootloader's command frames.

#include "link/usb.h"

#include <array>
#include <cstring>

namespace corvane {

namespace {

constexpr int kDeviceCount = 8;
constexpr std::size_t kFrame = 32;
constexpr std::size_t kMaxBlock = 1024;
constexpr std::size_t kProgramBuffer = kFrame + kMaxBlock + 16; // 1072
constexpr int kErasePolls = 500;
constexpr int kErasePollWaitUs = 100;
constexpr std::uint8_t kStateDnBusy = 4; // DFU state: the device is still working

std::uint8_t selector(std::uint8_t memory) {
    return memory == MEM_EEPROM ? 0x02 : 0x00;
}

void putRange(std::uint8_t* frame, std::uint16_t start, std::uint16_t length) {
    const auto end = static_cast<std::uint16_t>(start + length - 1);
    frame[2] = static_cast<std::uint8_t>(start >> 8);
    frame[3] = static_cast<std::uint8_t>(start & 0xFF);
    frame[4] = static_cast<std::uint8_t>(end >> 8);
    frame[5] = static_cast<std::uint8_t>(end & 0xFF);
}

} // namespace

TUsb::TUsb(DeviceLink& link, MemoryImages& images, UsbHooks hooks)
    : link_(link), images_(images), hooks_(std::move(hooks)) {
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
    return link_.open(n);
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
    const bool toHost = kind == DFU_UPLOAD || kind == DFU_GETSTATUS || kind == DFU_GETSTATE;
    Setup.Direction = toHost ? 1 : 0;
    Setup.RequestType = 1;
    Setup.Recipient = 1;
    Setup.RequestTypeReserved = 0;
    Setup.Request = kind;
    Setup.Filler = 0;
    Setup.Value = 0;
    Setup.Index = 4;
}

bool TUsb::classRequest(std::uint8_t kind, std::uint8_t* data, std::uint16_t length) {
    SetupRequest(kind);
    return link_.isOpen() && link_.classRequest(Setup, data, length);
}

int TUsb::GetStatus() {
    std::array<std::uint8_t, 6> answer{};
    if (!classRequest(DFU_GETSTATUS, answer.data(), answer.size()))
        return -1;
    const int status = answer[0];
    // A device that reported an error stays in its error state and refuses
    // the next command until its status is cleared; a busy device is left
    // alone.
    if (status != 0 && answer[4] != kStateDnBusy)
        classRequest(DFU_CLRSTATUS, nullptr, 0);
    return status;
}

int TUsb::checkStatus() {
    const int s = GetStatus();
    if (s < 0)
        return 1;
    return -s;
}

int TUsb::ReadBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory, std::uint16_t offset,
                    bool statusCheck) {
    if (memory > MEM_EEPROM || length == 0 || length > kMaxBlock)
        return -1;
    TBuffer& image = images_.image(static_cast<MemKind>(memory));
    if (std::size_t(address) + length > image.size())
        return -1;

    std::array<std::uint8_t, kFrame> frame{};
    frame[0] = DISPLAY_DATA;
    frame[1] = selector(memory);
    putRange(frame.data(), static_cast<std::uint16_t>(address + offset), length);
    if (!classRequest(DFU_DNLOAD, frame.data(), frame.size()))
        return -1;
    if (const int r = statusCheck ? checkStatus() : 0)
        return r;
    std::array<std::uint8_t, kMaxBlock> answer{};
    if (!classRequest(DFU_UPLOAD, answer.data(), length)) {
        // Unchecked, the status now tells why (and clears a refusal, so the
        // device takes the next command).
        if (!statusCheck) {
            const int r = checkStatus();
            return r != 0 ? r : -1;
        }
        return -1;
    }
    std::memcpy(image.data() + address, answer.data(), length);
    return 0;
}

int TUsb::ProgramBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory) {
    if (memory > MEM_EEPROM || length == 0 || length > kMaxBlock)
        return -1;
    const TBuffer& image = images_.image(static_cast<MemKind>(memory));
    if (std::size_t(address) + length > image.size())
        return -1;

    std::array<std::uint8_t, kProgramBuffer> buffer;
    std::memset(buffer.data(), 0, kFrame);
    std::memset(buffer.data() + kFrame, 0xFF, buffer.size() - kFrame);
    buffer[0] = PROGRAM_DATA;
    buffer[1] = selector(memory);
    putRange(buffer.data(), address, length);
    std::memcpy(buffer.data() + kFrame, image.data() + address, length);
    if (!classRequest(DFU_DNLOAD, buffer.data(), static_cast<std::uint16_t>(length + kFrame + 16)))
        return -1;
    return checkStatus();
}

int TUsb::EraseChip() {
    std::array<std::uint8_t, kFrame> frame{};
    frame[0] = WRITE_COMMAND;
    frame[1] = 0x00;
    frame[2] = 0xFF;
    // A command that never reached the device erased nothing; otherwise the
    // polling tells the outcome.
    if (!classRequest(DFU_DNLOAD, frame.data(), frame.size()))
        return -1;
    int last = -1;
    for (int i = 0; i < kErasePolls; ++i) {
        last = GetStatus();
        Hr.Wait(kErasePollWaitUs);
        if (last >= 0)
            break;
    }
    if (last < 0)
        return 1;
    return -last;
}

int TUsb::ReadConfigByte(std::uint8_t area, std::uint8_t index) {
    return ReadConfig(area, index).result;
}

TUsb::ConfigRead TUsb::ReadConfig(std::uint8_t area, std::uint8_t index) {
    std::array<std::uint8_t, kFrame> frame{};
    frame[0] = READ_COMMAND;
    frame[1] = area;
    frame[2] = index;
    if (!classRequest(DFU_DNLOAD, frame.data(), frame.size()))
        return {-1, false};
    if (const int r = checkStatus())
        return {r, false};
    std::uint8_t value = 0;
    if (!classRequest(DFU_UPLOAD, &value, 1))
        return {-1, false};
    return {value, true};
}

int TUsb::WriteConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value) {
    std::array<std::uint8_t, kFrame> frame{};
    frame[0] = WRITE_COMMAND;
    frame[1] = area;
    frame[2] = index;
    frame[3] = value;
    if (!classRequest(DFU_DNLOAD, frame.data(), frame.size()))
        return -1;
    return checkStatus();
}

int TUsb::StartApplication(std::uint8_t mode, std::uint16_t address) {
    std::array<std::uint8_t, kFrame> frame{};
    frame[0] = WRITE_COMMAND;
    frame[1] = 0x03;
    frame[2] = mode;
    frame[3] = static_cast<std::uint8_t>(address >> 8);
    frame[4] = static_cast<std::uint8_t>(address & 0xFF);
    if (!classRequest(DFU_DNLOAD, frame.data(), frame.size()))
        return -1;
    // Ends the download: the bootloader leaves.
    return classRequest(DFU_DNLOAD, nullptr, 0) ? 0 : -1;
}

} // namespace corvane
