// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One simulated bootloader chip: its set-up, the faults injected into it, the
// requests it logs, and the chip itself answering USB control requests like
// the real controller's DFU bootloader. The bench (sim/bench.h) holds up to
// eight of them.

#include "core/chip_table.h"
#include "link/class_request.h"
#include "link/protocol.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::sim {

// The wire's names (request, status and state codes, command frames).
using enum corvane::DfuStatus;
using enum corvane::DfuState;
using corvane::DfuState;
using corvane::DfuStatus;

// ---------------------------------------------------------------------------
// Set-up of one chip.

// A controller type: its place in the program's chip-variant table, which
// gives its name, FLASH size, product byte and erase blocks.
struct Controller {
    int index = 0;

    const corvane::ChipVariant& variant() const { return corvane::chipVariant(index); }
    // The type by its name, its name followed by "A" or its short name, in any
    // letter case; nothing for a name the table does not know.
    static std::optional<Controller> named(std::string_view name);

    friend bool operator==(Controller, Controller) = default;
};
enum class Timing { Fast, Realistic };
// Blocking: a status request after a chip erase completes only when the erase
// has ended. BusyPolling: while the erase runs, status requests answer
// errNOTDONE in state dfuDNBUSY with the time left as their poll timeout.
enum class EraseMode { Blocking, BusyPolling };

// Configuration bytes of the chip.
enum class ConfigByte { BSB, SBV, P1_CF, P3_CF, P4_CF, SSB, EB, HSB };

// Identification bytes. Product name, revision and bootloader version are the
// simulator's own choice, not values read from hardware.
struct Identification {
    std::uint8_t manufacturer = 0x58;
    std::uint8_t family = 0xD7;
    std::uint8_t productName = 0x31; // the controller's product byte unless set
    std::uint8_t productRevision = 0x01;
    std::uint8_t bootloaderVersion = 0x05;
    std::uint8_t bootId1 = 0x00;
    std::uint8_t bootId2 = 0x00;
};

// Factory values of the configuration bytes: HSB 0xBB has BLJB (bit 6)
// programmed, X2 (bit 7) unprogrammed and oscillator bits 5..4 = 11.
struct ConfigBytes {
    std::uint8_t BSB = 0xFF;
    std::uint8_t SBV = 0xFF;
    std::uint8_t P1_CF = 0xFF;
    std::uint8_t P3_CF = 0xFF;
    std::uint8_t P4_CF = 0xFF;
    std::uint8_t SSB = 0xFF;
    std::uint8_t EB = 0xFF;
    std::uint8_t HSB = 0xBB;

    std::uint8_t& operator[](ConfigByte b);
    std::uint8_t operator[](ConfigByte b) const;
};

struct ChipConfig {
    Controller controller{};
    std::uint16_t vendorId = corvane::kBootVendor;
    std::uint16_t productId = corvane::kBootProduct;
    Timing timing = Timing::Fast;
    EraseMode eraseMode = EraseMode::Blocking;
    // Fast timing with BusyPolling: how many status requests answer busy.
    int busyPolls = 3;
    // The empty download after a start command is not completed: the chip
    // starts its application and leaves the bus before the status stage, so
    // the host sees that transfer fail.
    bool leavesBeforeStatus = false;
    // Values the chip starts with when it is created (not when it is loaded
    // from a state folder, which keeps its own).
    ConfigBytes initial{};
    std::optional<Identification> identification; // default by controller
    // Opening the device is refused for lack of permission (libusb stand-in:
    // libusb_open answers LIBUSB_ERROR_ACCESS; SimLink: open fails).
    bool refuseOpen = false;
    // A kernel driver is bound to interface 0 (libusb stand-in): claiming
    // needs it detached first.
    bool kernelDriver = false;
    // Position on the simulated USB. Bus 0 = default (bus 1, one port
    // numbered slot + 1).
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> ports;
    // On the bus when the chip is first created; false: the socket starts
    // empty until the bench control plugs a board in.
    bool startsAttached = true;

    static ChipConfig of(Controller c) {
        ChipConfig config;
        config.controller = c;
        return config;
    }
};

// ---------------------------------------------------------------------------
// Request log.

struct LoggedRequest {
    enum class Kind { Descriptor, Standard, Class };
    Kind kind = Kind::Class;
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    std::vector<std::uint8_t> data; // downloads: the data sent; uploads: the answer
    bool ok = false;
};

// Outcome of one control transfer at the chip.
enum class TransferError { None, Stall, NoDevice, Timeout, Io };
struct TransferResult {
    TransferError error = TransferError::None;
    int transferred = 0; // bytes moved in the data stage when error == None
    bool ok() const { return error == TransferError::None; }
};

struct UsbSetup {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

// ---------------------------------------------------------------------------
// Faults injected for tests.
//
// Requests are counted 1-based over every control request the chip receives
// (descriptor reads included) since the chip was inserted or loaded, or since
// the last FaultPlan::clear() or FaultPlan::restartCount(). Each rule fires on
// the request whose number matches.
struct FaultPlan {
    // Request k (and the count - 1 following ones) fails at the transport:
    // the link sees a failed transfer; the chip's state does not change.
    std::set<int> failing;
    // Request k (and the count - 1 following ones) is not completed in time:
    // the link sees a timed-out transfer; the chip's state does not change.
    std::set<int> timingOut;
    // Status request k answers status s and the chip enters dfuERROR.
    std::map<int, std::uint8_t> statusOverride;
    // Upload request k answers only this many bytes.
    std::map<int, std::uint16_t> shortUploads;
    // After request k the chip leaves the bus (0: never).
    int vanishAfterRequest = 0;
    // Every descriptor read fails.
    bool failDescriptor = false;
    // FLASH cells that keep their value when programmed (a worn cell); the
    // program command still reports success, only a read-back shows it.
    std::set<std::uint16_t> stuckFlash;
    // Requests received since the plan was (re)armed.
    int requestsSeen = 0;

    void failRequest(int k, int count = 1);
    void timeOutRequest(int k, int count = 1);
    void answerStatus(int k, std::uint8_t status) { statusOverride[k] = status; }
    void vanishAfter(int k) { vanishAfterRequest = k; }
    void answerUploadShort(int k, std::uint16_t bytes) { shortUploads[k] = bytes; }
    void failDescriptorReads(bool on = true) { failDescriptor = on; }
    void restartCount() { requestsSeen = 0; }
    void clear() { *this = FaultPlan{}; }
    bool empty() const;

    // What the plan does to request k: a transport failure or time-out, a
    // status answered, how many of n upload bytes go out, leaving the bus.
    std::optional<TransferError> transportFault(int k) const;
    std::optional<std::uint8_t> statusAt(int k) const;
    std::size_t uploadLimit(int k, std::size_t n) const;
    bool leavesAfter(int k) const { return vanishAfterRequest != 0 && vanishAfterRequest == k; }
    // Programs count bytes into FLASH from start on; the stuck cells keep
    // their value.
    void programFlash(std::vector<std::uint8_t>& flash, unsigned start, const std::uint8_t* bytes,
                      std::size_t count) const;
};

// What a chip keeps in its folder: "chip.txt" (controller, configuration
// bytes, DFU state, whether the application runs), "flash.bin", "eeprom.bin".
struct StoredChip {
    std::string chipText;
    std::string flash;
    std::string eeprom;

    friend bool operator==(const StoredChip&, const StoredChip&) = default;

    // The files of folder. Nothing (and no error) when it holds no chip.txt;
    // nothing with the error naming the file when one cannot be read.
    static std::optional<StoredChip> read(const std::filesystem::path& folder, std::string* error);
    // Replaces the files, each atomically for readers.
    bool write(const std::filesystem::path& folder, std::string* error) const;
};

// Why a stored chip cannot be taken.
enum class RestoreError {
    None,
    Garbage,    // chip.txt has a line that is not one of the chip's keys and values
    DoesNotFit, // the memory files' sizes are not those of the controller
};

// ---------------------------------------------------------------------------
// The simulated chip.

class SimChip {
public:
    explicit SimChip(ChipConfig config = {});

    const ChipConfig& config() const { return config_; }
    // Replaces the set-up; memories and configuration bytes stay.
    void setConfig(const ChipConfig& c);
    Controller controller() const { return config_.controller; }
    const Identification& identification() const { return ident_; }

    std::vector<std::uint8_t>& flash() { return flash_; }
    const std::vector<std::uint8_t>& flash() const { return flash_; }
    std::vector<std::uint8_t>& eeprom() { return eeprom_; }
    const std::vector<std::uint8_t>& eeprom() const { return eeprom_; }
    ConfigBytes& configBytes() { return bytes_; }
    const ConfigBytes& configBytes() const { return bytes_; }
    std::uint8_t configByte(ConfigByte b) const { return bytes_[b]; }
    void setConfigByte(ConfigByte b, std::uint8_t v) { bytes_[b] = v; }
    // 3: none; 2: writes refused; 0 or 1: reads of FLASH and EEPROM refused too.
    int securityLevel() const { return bytes_.SSB & 3; }

    DfuState state() const { return state_; }
    DfuStatus status() const { return status_; }

    // On the bus (the bootloader answers) versus the application running.
    // Read without the chip's lock by device lists.
    bool attached() const { return attached_; }
    bool applicationRunning() const { return appRunning_; }
    // Address the last start-application command named, and its mode.
    std::uint16_t startAddress() const { return startAddress_; }
    int startMode() const { return startMode_; }
    // Hardware reset: with BLJB programmed (HSB bit 6 = 0) the bootloader runs
    // and the chip is on the bus in dfuIDLE; otherwise the application runs.
    void reset();
    // Takes the chip off the bus or puts it back without a reset.
    void setAttached(bool on) { attached_ = on; }

    FaultPlan& faults() { return faults_; }
    const std::vector<LoggedRequest>& log() const { return log_; }
    void clearLog() { log_.clear(); }

    // Realistic timing model. The floor is the sum of the modelled delays of
    // the requests served since the last resetFloor(); it is kept in both
    // timing modes, but only the realistic mode really waits.
    std::chrono::microseconds modelledFloor() const { return floor_; }
    void resetFloor() { floor_ = {}; }
    static constexpr std::chrono::microseconds kTransferLatency{1000};
    static constexpr std::chrono::microseconds kPageProgram{10000}; // per 128-byte page
    static constexpr std::chrono::microseconds kChipErase{2600000};
    static constexpr std::chrono::microseconds kBlockErase{650000};

    // The device's answer to one control transfer. data holds wLength bytes.
    // timeoutMs 0 = no limit. One request at a time: the bench serialises
    // the requests to one chip.
    TransferResult control(const UsbSetup& setup, std::uint8_t* data, unsigned timeoutMs = 0);

    // The standard descriptors the chip reports.
    DeviceDescriptor deviceDescriptor() const;
    std::vector<std::uint8_t> configurationDescriptor() const;

    // The chip's stored form, and the chip taken back from one: an
    // interrupted transfer does not survive, the idle or error state does.
    // A form that does not fit this chip's controller, or whose chip.txt is
    // garbage, leaves the chip as it was; the error names file and line.
    StoredChip stored() const;
    RestoreError restore(const StoredChip& from, const std::filesystem::path& folder, std::string* error);

private:
    struct Impl;
    friend struct Impl;

    ChipConfig config_;
    Identification ident_;
    std::vector<std::uint8_t> flash_;
    std::vector<std::uint8_t> eeprom_;
    ConfigBytes bytes_;
    DfuState state_ = dfuIDLE;
    DfuStatus status_ = OK;
    // Read by device lists of other threads while the chip serves a request.
    struct SharedFlag {
        std::atomic<bool> on;
        SharedFlag(bool v) : on(v) {}
        SharedFlag(const SharedFlag& o) : on(o.on.load()) {}
        SharedFlag& operator=(const SharedFlag& o) {
            on = o.on.load();
            return *this;
        }
        SharedFlag& operator=(bool v) {
            on = v;
            return *this;
        }
        operator bool() const { return on; }
    };
    SharedFlag attached_ = true;
    bool appRunning_ = false;
    std::uint16_t startAddress_ = 0;
    int startMode_ = -1;

    // A pending answer for upload requests (display or read command).
    std::vector<std::uint8_t> answer_;
    std::size_t answerPos_ = 0;
    bool startPending_ = false;
    // Erase in progress.
    std::chrono::steady_clock::time_point eraseEnds_{};
    int busyPollsLeft_ = 0;
    bool erasing_ = false;

    FaultPlan faults_;
    std::vector<LoggedRequest> log_;
    std::chrono::microseconds floor_{0};
};

} // namespace corvane::sim
