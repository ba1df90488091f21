// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulated bench: eight device numbers, each empty or holding a simulated
// bootloader chip that answers USB control requests like the real controller's
// DFU bootloader. SimLink reaches it in-process; the libusb stand-in
// (sim/libusb_standin) reaches the same chips from any libusb program.
//
// Set-up and state
// ----------------
// A bench lives in memory (tests) or in a state folder. In a state folder each
// occupied slot N keeps its chip in "slot-N/": "chip.txt" (configuration bytes,
// whether the application runs), "flash.bin" and "eeprom.bin". Separate
// program runs, and other tools through the stand-in, therefore see the same
// chip. The set-up (which chip in which slot, timing, erase mode, identifiers,
// bus position, faults) comes from the bench file, by default "bench.conf" in
// the state folder; see parseBenchConfig() and docs in README.md.
//
// Environment: CORVANE_SIM_DIR names the state folder (default
// $XDG_STATE_HOME/corvane-sim, else ~/.local/state/corvane-sim);
// CORVANE_SIM_CONFIG names the bench file (default <state folder>/bench.conf).
// With no bench file the bench holds one AT89C5131 in slot 0.

#include "core/chip_table.h"
#include "link/class_request.h"
#include "link/device_link.h"
#include "link/protocol.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
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
// errNOTDONE in state dfuDNBUSY.
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
    std::uint16_t vendorId = 0x03EB;
    std::uint16_t productId = 0x2FFD;
    Timing timing = Timing::Fast;
    EraseMode eraseMode = EraseMode::Blocking;
    // Fast timing with BusyPolling: how many status requests answer busy.
    int busyPolls = 3;
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
    // Position on the simulated USB for the libusb stand-in. Bus 0 = default
    // (bus 1, one port numbered slot + 1).
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> ports;

    static ChipConfig of(Controller c) {
        ChipConfig config;
        config.controller = c;
        return config;
    }
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
    // timeoutMs 0 = no limit.
    TransferResult control(const UsbSetup& setup, std::uint8_t* data, unsigned timeoutMs = 0);

    // The standard descriptors the chip reports.
    DeviceDescriptor deviceDescriptor() const;
    std::vector<std::uint8_t> configurationDescriptor() const;

    // Persistent state in a folder ("chip.txt", "flash.bin", "eeprom.bin").
    bool save(const std::filesystem::path& folder, std::string* error = nullptr) const;
    bool load(const std::filesystem::path& folder, std::string* error = nullptr);

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
    bool attached_ = true;
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

// ---------------------------------------------------------------------------
// A device on the simulated bus that is not a bootloader (for the libusb
// stand-in's device list).
struct ForeignDevice {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t bus = 1;
    std::vector<std::uint8_t> ports;
};

// The bench file: one section per slot, keys in any order, '#' comments.
//
//   [slot 0]
//   controller = AT89C5131        # or AT89C5130
//   timing = fast                 # or realistic
//   erase = blocking              # or busy
//   vendor = 03EB                 # hexadecimal
//   product = 2FFD
//   ssb = FF                      # initial bytes: bsb sbv ssb eb hsb p1cf p3cf p4cf
//   bus = 1
//   ports = 2.1                   # port path, dot-separated
//   refuse-open = no              # yes: opening fails for lack of permission
//   kernel-driver = no            # yes: a kernel driver is bound to interface 0
//   fail-descriptor = no
//   fail-request = 5              # request numbers, comma-separated
//   timeout-request = 6           # request numbers that time out, comma-separated
//   status = 7:3                  # request 7 answers status 3
//   vanish-after = 12
//   short-upload = 9:100          # upload request 9 answers 100 bytes
//   stuck-flash = 0123, 7FF0      # FLASH cells that ignore programming
//
//   [foreign]                     # other USB devices on the bus (repeatable)
//   device = 1D6B:0002 bus=1 ports=
struct BenchConfig {
    std::map<int, ChipConfig> chips;
    std::map<int, FaultPlan> faults;
    std::vector<ForeignDevice> foreign;
};
// Parses the bench file's text. False with a message naming the line on error.
bool parseBenchConfig(const std::string& text, BenchConfig& out, std::string* error = nullptr);

// ---------------------------------------------------------------------------
// The bench.

class SimBench {
public:
    static constexpr int kSlots = 8;

    // In memory, all slots empty; nothing is stored.
    SimBench();
    // Backed by a state folder: the set-up comes from config (the bench file
    // already parsed); each chip loads its state from the folder when present.
    SimBench(std::filesystem::path stateDir, const BenchConfig& config);
    // The state folder and bench file named by the environment (see top).
    // Throws std::runtime_error when the bench file cannot be parsed.
    static std::unique_ptr<SimBench> fromEnvironment();
    // A state folder and a bench file (missing file: one AT89C5131 in slot 0).
    // Throws std::runtime_error naming the path when the folder is a file or
    // cannot be created or written, or when the bench file cannot be parsed.
    static std::unique_ptr<SimBench> fromFolder(const std::filesystem::path& stateDir,
                                                const std::optional<std::filesystem::path>& configFile = {});
    ~SimBench(); // stores every chip when backed by a folder

    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // Puts a new chip (factory state) into the slot, replacing any chip there.
    SimChip& insert(int slot, ChipConfig config = {});
    SimChip* chip(int slot);
    const SimChip* chip(int slot) const;
    void remove(int slot);

    std::vector<ForeignDevice>& foreignDevices() { return foreign_; }
    const std::vector<ForeignDevice>& foreignDevices() const { return foreign_; }

    bool persistent() const { return !stateDir_.empty(); }
    const std::filesystem::path& stateDir() const { return stateDir_; }
    std::filesystem::path slotDir(int slot) const;
    // Reads the slot's chip state from the folder again (what another process
    // stored); stores it. No-ops on an in-memory bench.
    bool reload(int slot);
    bool save(int slot);
    void saveAll();
    const std::string& lastError() const { return error_; }

    // Throws std::runtime_error naming dir unless it is a folder this
    // process can create files in (created when missing).
    static void requireWritableFolder(const std::filesystem::path& dir);

private:
    std::filesystem::file_time_type storedTime(int slot) const;

    std::array<std::unique_ptr<SimChip>, kSlots> chips_;
    std::array<std::filesystem::file_time_type, kSlots> known_{};
    std::vector<ForeignDevice> foreign_;
    std::filesystem::path stateDir_;
    std::string error_;
};

// ---------------------------------------------------------------------------
// The in-process backend: device number n is bench slot n.

class SimLink : public DeviceLink {
public:
    explicit SimLink(SimBench& bench) : bench_(bench) {}
    ~SimLink() override;

    bool open(int deviceNumber) override;
    bool isOpen() const override { return slot_ >= 0; }
    bool getDeviceDescriptor(DeviceDescriptor& out) override;
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override;
    void close() override;
    std::string lastError() const override { return error_; }
    bool lastOpenDenied() const override { return denied_; }
    RequestFailure lastRequestFailure() const override { return failure_; }

    SimBench& bench() { return bench_; }
    int openSlot() const { return slot_; }

private:
    SimChip* current();

    SimBench& bench_;
    int slot_ = -1;
    std::string error_;
    bool denied_ = false;
    RequestFailure failure_ = RequestFailure::None;
};

} // namespace corvane::sim
