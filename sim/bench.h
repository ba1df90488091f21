// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated bench: eight device numbers, each empty or holding a simulated
// bootloader chip (sim/chip.h) that answers USB control requests like the real
// controller's DFU bootloader. SimLink reaches it in-process; the libusb
// stand-in (sim/libusb_standin) reaches the same chips from any libusb program.
//
// Set-up and state
// ----------------
// A bench lives in memory (tests) or in a state folder. In a state folder each
// occupied slot N keeps its chip in "slot-N/" (see StoredChip). Separate
// program runs, and other tools through the stand-in, therefore see the same
// chip. The set-up (which chip in which slot, timing, erase mode, identifiers,
// bus position, faults) comes from the bench file, by default "bench.conf" in
// the state folder (sim/bench_file.h, docs in README.md).
//
// Like a USB interface, a slot is claimed by one link at a time, also across
// processes on one state folder: a link claims its slot when it opens, sees
// what the last holder stored, and stores the chip when it closes if it
// changed it. A process stores only the chips it changed, so it never rolls
// back what another one stored.
//
// The bench control (plugBoard, unplugBoard; "corvane-cli bench") puts a new
// board into a slot's socket or takes the board there off the bus, as an
// operator at a station would; every program on the folder sees it at its
// next look at the bus (attachedBoards(), the stand-in's device list).
//
// Environment: CORVANE_SIM_DIR names the state folder (default
// $XDG_STATE_HOME/corvane-sim, else ~/.local/state/corvane-sim);
// CORVANE_SIM_CONFIG names the bench file (default <state folder>/bench.conf).
// With no bench file the bench holds the chips stored in the folder, or one
// AT89C5131 in slot 0.

#include "link/device_link.h"
#include "sim/bench_file.h"
#include "sim/chip.h"

#include <array>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corvane::sim {

class SimBench {
public:
    static constexpr int kSlots = 8;

    // In memory, all slots empty; nothing is stored.
    SimBench();
    // Backed by a state folder: the set-up comes from config (the bench file
    // already parsed); each chip loads its state from the folder when present.
    // Throws std::runtime_error naming the file (and line) when a stored chip
    // cannot be read or its chip.txt is garbage. A stored chip that does not
    // fit its slot's controller is refused (see vacancy()), never cut.
    SimBench(std::filesystem::path stateDir, const BenchConfig& config);
    // The state folder and bench file named by the environment (see top).
    // Throws std::runtime_error when the bench cannot be set up.
    static std::unique_ptr<SimBench> fromEnvironment();
    // A state folder and a bench file (missing file: the stored chips, or one
    // AT89C5131 in slot 0). Throws std::runtime_error naming the path when the
    // folder is a file or cannot be created or written, or when the bench file
    // or a stored chip cannot be read or parsed.
    static std::unique_ptr<SimBench> fromFolder(const std::filesystem::path& stateDir,
                                                const std::optional<std::filesystem::path>& configFile = {});
    ~SimBench(); // stores the chips changed here

    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // Puts a new chip (factory state) into the slot, replacing any chip there,
    // and stores it.
    SimChip& insert(int slot, ChipConfig config = {});
    // The slot's chip. Not for use while a link of another thread has it open.
    SimChip* chip(int slot);
    const SimChip* chip(int slot) const;
    void remove(int slot);
    // Why the slot has no chip to open: empty (saying so when the bench file
    // defines no chip at all) or refused with the reason. Empty when it has one.
    std::string vacancy(int slot) const;
    // What the set-up left out: the slots refused, a bench file without chips.
    std::vector<std::string> warnings() const;

    std::vector<ForeignDevice>& foreignDevices() { return foreign_; }
    const std::vector<ForeignDevice>& foreignDevices() const { return foreign_; }

    bool persistent() const { return !stateDir_.empty(); }
    const std::filesystem::path& stateDir() const { return stateDir_; }
    std::filesystem::path slotDir(int slot) const;

    // Claims the slot for one link. Busy while another link holds it, in this
    // process or another on the same state folder; Failed when the slot has no
    // chip or the stored state cannot be read (lastError()). A granted claim
    // has taken what the last holder stored.
    enum class Claim { Granted, Busy, Failed };
    Claim claim(int slot);
    // Stores the chip if it changed, then frees the slot.
    void release(int slot);
    bool claimedHere(int slot) const;

    // One control request to the slot's chip. Requests to one slot are served
    // one at a time, in order; requests to different slots at the same time.
    TransferResult control(int slot, const UsbSetup& setup, std::uint8_t* data, unsigned timeoutMs);
    // Runs f on the slot's chip between its requests; false when it has none.
    template <typename F> bool withChip(int slot, F&& f) {
        if (slot < 0 || slot >= kSlots)
            return false;
        Slot& s = slots_[std::size_t(slot)];
        const std::lock_guard lock(s.serve);
        if (!s.chip)
            return false;
        f(*s.chip);
        return true;
    }

    // Where the slot's chip sits on the simulated bus: its set-up's bus and
    // ports, by default bus 1, port slot + 1; number is the slot.
    static AttachedDevice position(int slot, const ChipConfig& config);
    // The chips on the bus now, in slot order, after what other processes
    // stored (a board the bench control plugged in or took out, a chip that
    // started its application).
    std::vector<AttachedDevice> attachedBoards();

    // The bench control, as an operator at a socket: plugBoard puts a new
    // board into the slot's socket (a chip in factory state, as the slot's
    // set-up makes it, on the bus), unplugBoard takes the board there off the
    // bus (its memories stay in the folder until the next board comes). Each
    // stores the change: Busy while a link holds the slot, Failed when the
    // set-up has no chip in the slot or the change cannot be stored
    // (lastError()).
    Claim plugBoard(int slot);
    Claim unplugBoard(int slot);

    // Takes what another process stored for the slot since this bench last
    // read or stored it; nothing to do for a slot claimed here. False when
    // the stored state cannot be taken (lastError()).
    bool reload(int slot);
    // Stores the slot's chip if it changed here; outside a claim only while
    // no other process has stored the slot since (its state is kept then).
    bool save(int slot);
    void saveAll();
    std::string lastError() const;

    // Throws std::runtime_error naming dir unless it is a folder this
    // process can create files in (created when missing).
    static void requireWritableFolder(const std::filesystem::path& dir);

private:
    struct Slot {
        std::unique_ptr<SimChip> chip;
        std::string refusal;
        // The stored form as last read or written here, and the chip's form
        // at that time.
        std::optional<StoredChip> onDisk;
        std::optional<StoredChip> base;
        // One request, reload or store at a time.
        mutable std::mutex serve;
        // Guarded by claims_.
        bool claimed = false;
        int claimFd = -1;
    };

    bool refresh(int slot);
    Claim changeBoard(int slot, bool plug);
    bool store(int slot, bool force = false);
    void note(const std::string& error);
    std::filesystem::path lockFile(int slot, const char* kind) const;

    std::array<Slot, kSlots> slots_;
    mutable std::mutex claims_;
    mutable std::mutex errorLock_;
    std::string error_;
    std::string emptyNote_;
    std::vector<ForeignDevice> foreign_;
    std::filesystem::path stateDir_;
};

// ---------------------------------------------------------------------------
// The in-process backend: device number n is bench slot n. Opening claims the
// slot; closing stores the chip and frees it.

class SimLink : public DeviceLink {
public:
    explicit SimLink(SimBench& bench) : bench_(bench) {}
    ~SimLink() override;
    SimLink(const SimLink&) = delete;
    SimLink& operator=(const SimLink&) = delete;

    bool open(int deviceNumber) override;
    bool isOpen() const override { return slot_ >= 0; }
    bool getDeviceDescriptor(DeviceDescriptor& out) override;
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override;
    void close() override;
    std::string lastError() const override { return error_; }
    OpenFailure lastOpenFailure() const override { return openFailure_; }
    RequestFailure lastRequestFailure() const override { return failure_; }
    // The chips on the bus, numbered by their slots.
    std::optional<std::vector<AttachedDevice>> listDevices() override { return bench_.attachedBoards(); }

    SimBench& bench() { return bench_; }
    int openSlot() const { return slot_; }

private:
    bool refuse(OpenFailure why, std::string text);

    SimBench& bench_;
    int slot_ = -1;
    std::string error_;
    OpenFailure openFailure_ = OpenFailure::None;
    RequestFailure failure_ = RequestFailure::None;
};

} // namespace corvane::sim
