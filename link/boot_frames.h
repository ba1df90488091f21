// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bootloader's command frames on top of the DFU requests: each command is
// sent as the data of a download, checked with a status request, and its
// answer, if any, fetched with an upload.

#include "link/device_link.h"
#include "link/dfu_requests.h"
#include "link/protocol.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace corvane {

enum class CommandStatus {
    Ok,
    TransferFailed,      // a download or upload of the command failed
    DeviceStatus,        // the device reported an error status
    StatusRequestFailed, // the status request after the command failed or timed out
};

struct CommandResult {
    CommandStatus status = CommandStatus::Ok;
    std::uint8_t deviceStatus = OK; // the status reported, with DeviceStatus

    bool ok() const { return status == CommandStatus::Ok; }
    // The link's integer convention: 0 ok, -1 transfer failed, -s device
    // status s, +1 status request failed.
    int code() const;

    static CommandResult failed(CommandStatus s) { return {s, OK}; }
    static CommandResult device(std::uint8_t s) { return {CommandStatus::DeviceStatus, s}; }
};

struct BlankCheckResult {
    CommandResult result;                   // ok: the range is blank
    std::optional<std::uint16_t> firstUsed; // not blank: the first byte that is not 0xFF
};

struct ByteRead {
    CommandResult result;
    std::uint8_t value = 0; // valid when result.ok()
};

enum class BootMemory : std::uint8_t {
    Flash = wire::kSelectFlash,
    Eeprom = wire::kSelectEeprom,
};

// How a start of the application went, judged by the bus: a bootloader may
// leave before the status stage of the empty download that starts the
// application, so that download can fail although the application started.
enum class StartOutcome {
    Started,        // the start command and the empty download went through
    LeftBus,        // the empty download failed and the bootloader left the bus: it started
    CommandFailed,  // the start command did not go through (refused or lost)
    StillAnswering, // the empty download failed and the bootloader still answers: it did not start
    NoAnswer,       // the empty download failed; the bootloader neither left nor answered in time
};

struct StartResult {
    StartOutcome outcome = StartOutcome::Started;
    bool ok() const { return outcome == StartOutcome::Started || outcome == StartOutcome::LeftBus; }
};

class BootFrames {
public:
    // pause(us) waits between the status requests of the erase polling and
    // of the watch after a start; without it the calling thread sleeps.
    explicit BootFrames(DeviceLink& link, std::function<void(int)> pause = {});

    // Call when the channel has just been opened: the first command then
    // brings a device left in the error state by an earlier run back to idle.
    void channelOpened() { freshChannel_ = true; }

    // When a display command's status is asked: Before the answer is fetched,
    // or only OnFailure of the fetch (the status then tells why, and clears
    // a refusal so that the device takes the next command). A pass over a
    // memory checks its first block, where a protected memory is refused.
    enum class StatusCheck { Before, OnFailure };
    // into.size() bytes from address on (1 to 1024).
    CommandResult readBlock(std::uint16_t address, std::span<std::uint8_t> into, BootMemory memory,
                            StatusCheck check = StatusCheck::Before);
    // data.size() bytes to address on (1 to 1024).
    CommandResult programBlock(std::uint16_t address, std::span<const std::uint8_t> data, BootMemory memory);
    // Blank check of FLASH from start, length bytes (1 to 65536 - start).
    // When the device finds a used byte its address is fetched before the
    // error status is cleared.
    BlankCheckResult blankCheck(std::uint16_t start, std::size_t length);
    // Erases the whole chip and polls its status until the erase has ended,
    // waiting between the status requests as long as each answer asks (at
    // least kErasePollWaitUs). A status request that failed or timed out is
    // asked again; a busy chip is asked until kErasePollBudget has passed.
    // Fails at once when the command does not go through or the chip leaves
    // the bus, else when the chip reports an error or is still busy at the end.
    CommandResult eraseChip();
    ByteRead readConfigByte(std::uint8_t area, std::uint8_t index);
    CommandResult writeConfigByte(std::uint8_t area, std::uint8_t index, std::uint8_t value);
    // The start command and the empty download that makes the bootloader
    // leave, judged by the two transfers alone.
    CommandResult startApplication(std::uint8_t mode, std::uint16_t address);
    // The same two requests, judged by the bus: when the command went through
    // but the empty download failed, status requests look, for at most
    // kLeaveWatch, whether the bootloader is still there. Gone means started;
    // answering outside the end of its download means the start failed.
    StartResult runApplication(std::uint8_t mode, std::uint16_t address);

    static constexpr int kErasePollWaitUs = 100;
    static constexpr std::chrono::seconds kErasePollBudget{10};
    static constexpr std::chrono::milliseconds kLeaveWatch{1000};
    static constexpr int kLeaveProbeWaitUs = 50000;

private:
    // Downloads a command; on a fresh channel a refused (stalled) download is
    // retried once after clearing an error state the device was found in.
    CommandResult send(std::span<const std::uint8_t> frame);
    // The status request after a command. An error status is cleared so that
    // the next command is accepted (a busy device is left alone).
    CommandResult checkStatus();
    CommandResult sendAndCheck(std::span<const std::uint8_t> frame);
    CommandResult sendStart(std::uint8_t mode, std::uint16_t address);
    // After a failed empty download: has the bootloader left the bus?
    StartOutcome watchLeave();
    void wait(std::chrono::microseconds time);

    DeviceLink& link_;
    std::function<void(int)> pause_;
    bool freshChannel_ = false;
};

} // namespace corvane
