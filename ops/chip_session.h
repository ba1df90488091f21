// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device engine: one chip behind one device link, and the primitives
// both front ends compose. Each primitive sends the fewest requests the
// bootloader allows for it and answers with an OpResult; none shows or
// formats anything. The window composes them in its own fixed order; the
// command-line tool in the order its commands need.
//
// Before every request a primitive asks the stop hook; a stop ends it at
// once with ErrorKind::Cancelled and nothing more is sent.

#include "core/chip_table.h"
#include "image/memory_images.h"
#include "link/boot_frames.h"
#include "link/device_link.h"
#include "ops/memory_plan.h"
#include "ops/op_result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace corvane {

// The identification and configuration bytes as last read from the chip;
// a byte is unknown until read, after its read failed, and after a change
// that may have altered it.
class ChipBytes {
public:
    std::optional<std::uint8_t> get(ConfigId id) const { return bytes_[index(id)]; }
    void set(ConfigId id, std::optional<std::uint8_t> value) { bytes_[index(id)] = value; }
    void forget(ConfigId id) { set(id, std::nullopt); }
    void clear() { bytes_ = {}; }
    // The security level when the security byte is known.
    std::optional<std::uint8_t> securityLevel() const;
    // True when the security byte is known and says the chip is locked.
    bool locked() const;

private:
    static std::size_t index(ConfigId id) { return static_cast<std::size_t>(id); }
    std::array<std::optional<std::uint8_t>, kConfigIdCount> bytes_{};
};

struct SessionHooks {
    // Asked before every request: true ends the running primitive as cancelled.
    std::function<bool()> stopRequested;
    // Waits this many microseconds between the status requests of an erase
    // and of the watch after a start; without it the thread sleeps.
    std::function<void(int)> pause;
};

// Called before each block or frame of a transfer: its index and the count.
using BlockHook = std::function<void(std::size_t index, std::size_t count)>;

struct ByteOutcome {
    OpResult result;
    std::optional<std::uint8_t> value;
};

struct BlankOutcome {
    OpResult result; // the check's own failure; ok when the chip answered
    bool blank = false;
    // Not blank: the first byte that is not 0xFF, when the chip told it.
    std::optional<std::uint32_t> firstUsed;
};

struct ProgramOutcome {
    OpResult result;
    // Data bytes that reached the chip: the frames it took, and a frame whose
    // status could not be asked after it arrived.
    std::size_t bytesWritten = 0;
};

// Where two images first differ, and in how many bytes.
struct Difference {
    std::uint32_t first = 0;
    std::size_t count = 0;
};

struct VerifyOutcome {
    OpResult result; // VerifyMismatch at the first difference, or the read's failure
    Difference difference;
    bool reached = false; // every range was read back and compared
};

enum class StartMode : std::uint8_t { Reset = 0, Jump = 1 };

class ChipSession {
public:
    explicit ChipSession(DeviceLink& link, SessionHooks hooks = {});
    ~ChipSession();
    ChipSession(const ChipSession&) = delete;
    ChipSession& operator=(const ChipSession&) = delete;

    SessionHooks& hooks() { return hooks_; }
    DeviceLink& link() { return link_; }

    // Opens device number n and checks that the bootloader answers there
    // (its descriptor's vendor and product). NoDevice, AccessDenied or InUse
    // when it cannot be opened; TransferFailed (step Identify) when the
    // descriptor cannot be read; NotBootloader for another device. The
    // channel stays open after a failed descriptor check; close() closes it.
    OpResult open(int deviceNumber);
    bool isOpen() const { return link_.isOpen(); }
    void close();
    int device() const { return device_; }
    // The descriptor as last read; a failed read leaves the earlier one.
    const DeviceDescriptor& descriptor() const { return descriptor_; }
    std::uint16_t vendorId() const;
    std::uint16_t productId() const;

    // One identification or configuration byte (3 requests).
    ByteOutcome readByte(ConfigId id);
    // The bytes named, in order; the first failure ends it.
    OpResult readBytes(std::span<const ConfigId> ids);
    const ChipBytes& bytes() const { return bytes_; }
    ChipBytes& bytes() { return bytes_; }

    // Reads the ranges of a memory into image (at their device addresses), in
    // pieces of at most blockSize bytes; the status is asked after the first
    // piece only, where the bootloader refuses a protected memory (a failed
    // later fetch asks it then). step names the pass (a read or a verify).
    OpResult read(MemKind memory, const Ranges& ranges, std::span<std::uint8_t> image,
                  std::size_t blockSize = kMaxFrame, const BlockHook& beforeBlock = {},
                  std::optional<OpStep> step = {});
    // The bootloader's blank check of a FLASH range (2 requests when blank).
    BlankOutcome blankCheck(Range range);
    // Erases the chip and waits until the erase has ended. The security byte,
    // BSB and SBV are unknown afterwards.
    OpResult erase();
    // Programs each frame from image (at the frame's device addresses).
    ProgramOutcome program(MemKind memory, const Ranges& frames, std::span<const std::uint8_t> image,
                           const BlockHook& beforeFrame = {});
    // Reads the ranges back and compares them with expected.
    VerifyOutcome verify(MemKind memory, const Ranges& ranges, std::span<const std::uint8_t> expected,
                         const BlockHook& beforeBlock = {});
    // Writes one configuration byte (the security byte included: step
    // WriteSecurity). The byte is unknown afterwards until read again.
    OpResult writeByte(ConfigId id, std::uint8_t value);
    // Starts the application: a reset, or a jump to the address.
    OpResult start(StartMode mode, std::uint16_t address);

private:
    bool stop() const { return hooks_.stopRequested && hooks_.stopRequested(); }
    OpResult cancelled(OpStep step) const;
    OpResult failed(ErrorKind kind, OpStep step, std::uint32_t address, CommandResult command) const;
    // A block's failure: Locked on a chip known to be locked.
    OpResult blockFailed(OpStep step, std::uint32_t address, CommandResult command) const;

    DeviceLink& link_;
    SessionHooks hooks_;
    BootFrames frames_;
    int device_ = -1;
    DeviceDescriptor descriptor_{};
    ChipBytes bytes_;
};

// The step of a memory's read, verify and program passes.
OpStep readStep(MemKind memory);
OpStep verifyStep(MemKind memory);
OpStep programStep(MemKind memory);
// The step of a configuration byte's read.
OpStep readStep(ConfigId id);

} // namespace corvane
