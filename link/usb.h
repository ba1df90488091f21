// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TUsb: the device link module as the operations use it. Opens the channel
// for the selected device number, reads the device descriptor, and moves
// blocks between the memory images and the bootloader's command frames
// (link/boot_frames.h, over the DFU requests of link/dfu_requests.h). Reports
// by integer result and never shows anything:
//   0 or a value >= 0  success (a byte read)
//   -1                 the driver failed the request
//   -s                 after a command the device reported DFU status s
//   +1                 the status request after a command failed

#include "image/memory_images.h"
#include "link/boot_frames.h"
#include "link/class_request.h"
#include "link/device_link.h"
#include "link/high_res_timer.h"

#include <functional>
#include <span>
#include <stdexcept>
#include <string>

namespace corvane {

// Raised by the programming operations with the text to show the user.
class EUsbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the link learns from, and tells, the window (or the command-line tool).
struct UsbHooks {
    std::function<int()> deviceNumber;     // selected device number, -1 for none
    std::function<void()> clearStatus;     // empty the status pane
    std::function<void()> processMessages; // let the window process pending messages
};

class TUsb {
public:
    TUsb(DeviceLink& link, MemoryImages& images, UsbHooks hooks = {});
    ~TUsb();

    THighResTimer Hr;
    DeviceDescriptor DevDesc{};
    // Kept for callers that still issue raw requests through link(): the
    // record SetupRequest last built. The link's own requests build theirs
    // (dfu::setupFor) and never read it.
    TClassRequest Setup;

    UsbHooks& hooks() { return hooks_; }
    DeviceLink& link() { return link_; }
    BootFrames& frames() { return frames_; }
    bool isOpen() const;

    // Driver channel.
    bool OpenDevice();
    void CloseDevice();
    int GetDeviceDescriptor();
    void SetupRequest(std::uint8_t kind);
    int GetStatus();

    // Bootloader frames.
    // Without statusCheck the answer is fetched right after the command, and
    // the status is asked only when the fetch fails. A pass over a memory
    // checks the status after its first command, where a protected memory is
    // refused.
    int ReadBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory, std::uint16_t offset,
                  bool statusCheck = true);
    int ProgramBlock(std::uint16_t address, std::uint16_t length, std::uint8_t memory);
    int EraseChip();
    int ReadConfigByte(std::uint8_t area, std::uint8_t index);
    int WriteConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value);
    // 0 when both requests went through, -1 when one failed.
    int StartApplication(std::uint8_t mode, std::uint16_t address);

    // The same frames with their outcome as a status (the integer forms above
    // give its code()). A block outside its image is refused before sending,
    // as a failed transfer.
    CommandResult readBlock(std::uint16_t address, std::uint16_t length, MemKind memory,
                            BootFrames::StatusCheck check = BootFrames::StatusCheck::Before);
    CommandResult programBlock(std::uint16_t address, std::uint16_t length, MemKind memory);
    CommandResult eraseChip();
    CommandResult writeConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value);
    CommandResult startApplication(std::uint8_t mode, std::uint16_t address);

private:
    // The part of the image a block covers; empty when it does not fit.
    std::span<std::uint8_t> blockOf(std::uint16_t address, std::uint16_t length, std::uint8_t memory);

    DeviceLink& link_;
    MemoryImages& images_;
    UsbHooks hooks_;
    BootFrames frames_;
};

} // namespace corvane
