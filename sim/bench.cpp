// SPDX-License-Identifier: GPL-3.0-or-later
// The bench of eight slots, its bench file and state folder, and SimLink.

#include "sim/bench.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include <unistd.h>

namespace corvane::sim {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
    for (auto& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// Digits only, in the base; nothing else, no sign.
bool allDigits(const std::string& v, int base) {
    if (v.empty())
        return false;
    for (const char ch : v) {
        const auto c = static_cast<unsigned char>(ch);
        if (base == 16 ? !std::isxdigit(c) : !std::isdigit(c))
            return false;
    }
    return true;
}

unsigned long parseHex(const std::string& v, unsigned long max) {
    if (!allDigits(v, 16) || v.size() > 8 || std::stoul(v, nullptr, 16) > max) {
        char limit[16];
        std::snprintf(limit, sizeof limit, "%lX", max);
        throw std::invalid_argument("'" + v + "' is not a hexadecimal number from 0 to " + limit);
    }
    return std::stoul(v, nullptr, 16);
}

int parseInt(const std::string& v) {
    if (!allDigits(v, 10) || v.size() > 9)
        throw std::invalid_argument("'" + v + "' is not a number from 0 to 999999999");
    return std::stoi(v);
}

bool parseBool(const std::string& v) {
    const auto l = lower(v);
    if (l == "yes" || l == "true" || l == "1" || l == "on")
        return true;
    if (l == "no" || l == "false" || l == "0" || l == "off")
        return false;
    throw std::invalid_argument("expected yes or no");
}

std::vector<std::uint8_t> parsePorts(const std::string& v) {
    std::vector<std::uint8_t> ports;
    std::istringstream in(v);
    std::string part;
    while (std::getline(in, part, '.')) {
        const int p = parseInt(trim(part));
        if (p < 1 || p > 255)
            throw std::invalid_argument("port numbers are 1 to 255");
        ports.push_back(static_cast<std::uint8_t>(p));
    }
    if (ports.size() > 7)
        throw std::invalid_argument("a port path has at most 7 ports");
    return ports;
}

std::vector<std::string> split(const std::string& v, char sep) {
    std::vector<std::string> out;
    std::istringstream in(v);
    std::string part;
    while (std::getline(in, part, sep))
        if (!trim(part).empty())
            out.push_back(trim(part));
    return out;
}

std::pair<int, int> pairOf(const std::string& v) {
    const auto colon = v.find(':');
    if (colon == std::string::npos)
        throw std::invalid_argument("expected request:value");
    return {parseInt(trim(v.substr(0, colon))), parseInt(trim(v.substr(colon + 1)))};
}

// The controller types a bench file may name, for its error messages.
std::string controllerNames() {
    std::string names;
    for (const auto& v : corvane::kChipVariants)
        names += (names.empty() ? "" : ", ") + std::string(v.name);
    return names;
}

// The chip's kind, timing and USB identity; false when the key is none of them.
bool applyChipKey(const std::string& key, const std::string& value, ChipConfig& c) {
    const auto v = lower(value);
    if (key == "controller") {
        const auto named = Controller::named(value);
        if (!named)
            throw std::invalid_argument("'" + value + "' is none of " + controllerNames());
        c.controller = *named;
    } else if (key == "timing") {
        if (v == "fast")
            c.timing = Timing::Fast;
        else if (v == "realistic")
            c.timing = Timing::Realistic;
        else
            throw std::invalid_argument("timing is fast or realistic");
    } else if (key == "erase") {
        if (v == "blocking")
            c.eraseMode = EraseMode::Blocking;
        else if (v == "busy")
            c.eraseMode = EraseMode::BusyPolling;
        else
            throw std::invalid_argument("erase is blocking or busy");
    } else if (key == "busy-polls") {
        c.busyPolls = parseInt(value);
    } else if (key == "vendor") {
        c.vendorId = static_cast<std::uint16_t>(parseHex(value, 0xFFFF));
    } else if (key == "product") {
        c.productId = static_cast<std::uint16_t>(parseHex(value, 0xFFFF));
    } else if (key == "bus") {
        const int b = parseInt(value);
        if (b < 1 || b > 255)
            throw std::invalid_argument("bus numbers are 1 to 255");
        c.bus = static_cast<std::uint8_t>(b);
    } else if (key == "ports") {
        c.ports = parsePorts(value);
    } else if (key == "refuse-open") {
        c.refuseOpen = parseBool(value);
    } else if (key == "kernel-driver") {
        c.kernelDriver = parseBool(value);
    } else {
        return false;
    }
    return true;
}

// The configuration bytes a new chip starts with; false for any other key.
bool applyInitialByte(const std::string& key, const std::string& value, ConfigBytes& initial) {
    static const std::pair<const char*, std::uint8_t ConfigBytes::*> bytes[] = {
        {"bsb", &ConfigBytes::BSB},    {"sbv", &ConfigBytes::SBV},   {"ssb", &ConfigBytes::SSB},
        {"eb", &ConfigBytes::EB},      {"hsb", &ConfigBytes::HSB},   {"p1cf", &ConfigBytes::P1_CF},
        {"p3cf", &ConfigBytes::P3_CF}, {"p4cf", &ConfigBytes::P4_CF}};
    for (const auto& [name, member] : bytes) {
        if (key == name) {
            initial.*member = static_cast<std::uint8_t>(parseHex(value, 0xFF));
            return true;
        }
    }
    return false;
}

// Injected faults; false when the key is not one.
bool applyFaultKey(const std::string& key, const std::string& value, FaultPlan& f) {
    if (key == "fail-descriptor") {
        f.failDescriptor = parseBool(value);
    } else if (key == "fail-request") {
        for (const auto& n : split(value, ','))
            f.failRequest(parseInt(n));
    } else if (key == "timeout-request") {
        for (const auto& n : split(value, ','))
            f.timeOutRequest(parseInt(n));
    } else if (key == "status") {
        for (const auto& p : split(value, ',')) {
            auto [k, s] = pairOf(p);
            if (s > 255)
                throw std::invalid_argument("a status is 0 to 255");
            f.answerStatus(k, static_cast<std::uint8_t>(s));
        }
    } else if (key == "vanish-after") {
        f.vanishAfter(parseInt(value));
    } else if (key == "short-upload") {
        for (const auto& p : split(value, ',')) {
            auto [k, n] = pairOf(p);
            f.answerUploadShort(k, static_cast<std::uint16_t>(std::min(n, 0xFFFF)));
        }
    } else if (key == "stuck-flash") {
        for (const auto& a : split(value, ','))
            f.stuckFlash.insert(static_cast<std::uint16_t>(parseHex(a, 0xFFFF)));
    } else {
        return false;
    }
    return true;
}

// A bad value names its key: "fail-request: 'abc' is not a number ...".
void applySlotKey(const std::string& key, const std::string& value, ChipConfig& c, FaultPlan& f) {
    bool known = false;
    try {
        known = applyChipKey(key, value, c) || applyInitialByte(key, value, c.initial) ||
                applyFaultKey(key, value, f);
    } catch (const std::exception& e) {
        throw std::invalid_argument(key + ": " + e.what());
    }
    if (!known)
        throw std::invalid_argument("unknown key '" + key + "'");
}

ForeignDevice parseForeign(const std::string& value) {
    // "VVVV:PPPP bus=N ports=a.b"
    ForeignDevice d;
    std::istringstream in(value);
    std::string word;
    bool haveId = false;
    while (in >> word) {
        if (!haveId) {
            const auto colon = word.find(':');
            if (colon == std::string::npos)
                throw std::invalid_argument("expected VVVV:PPPP");
            d.vendorId = static_cast<std::uint16_t>(parseHex(word.substr(0, colon), 0xFFFF));
            d.productId = static_cast<std::uint16_t>(parseHex(word.substr(colon + 1), 0xFFFF));
            haveId = true;
        } else if (word.rfind("bus=", 0) == 0) {
            d.bus = static_cast<std::uint8_t>(parseInt(word.substr(4)));
        } else if (word.rfind("ports=", 0) == 0) {
            d.ports = parsePorts(word.substr(6));
        } else {
            throw std::invalid_argument("unknown word '" + word + "'");
        }
    }
    if (!haveId)
        throw std::invalid_argument("expected VVVV:PPPP");
    return d;
}

std::filesystem::path defaultStateDir() {
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s)
        return std::filesystem::path(s) / "corvane-sim";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::filesystem::path(h) / ".local" / "state" / "corvane-sim";
    return std::filesystem::temp_directory_path() / "corvane-sim";
}

std::string transferErrorText(TransferError e) {
    switch (e) {
    case TransferError::None:
        return "no error";
    case TransferError::Stall:
        return "the device stalled the request";
    case TransferError::NoDevice:
        return "the device is no longer on the bus";
    case TransferError::Timeout:
        return "the request timed out";
    case TransferError::Io:
        break;
    }
    return "the transfer failed";
}

constexpr unsigned kSimTimeoutMs = 5000;

} // namespace

bool parseBenchConfig(const std::string& text, BenchConfig& out, std::string* error) {
    BenchConfig cfg;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    int slot = -1;
    bool foreign = false;
    try {
        while (std::getline(in, raw)) {
            ++lineNo;
            std::string line = raw;
            if (const auto hash = line.find('#'); hash != std::string::npos)
                line.erase(hash);
            line = trim(line);
            if (line.empty())
                continue;
            if (line.front() == '[') {
                if (line.back() != ']')
                    throw std::invalid_argument("section without ']'");
                const auto name = lower(trim(line.substr(1, line.size() - 2)));
                foreign = false;
                slot = -1;
                if (name == "foreign") {
                    foreign = true;
                } else if (name.rfind("slot", 0) == 0) {
                    slot = parseInt(trim(name.substr(4)));
                    if (slot >= SimBench::kSlots)
                        throw std::invalid_argument("slots are 0 to 7");
                    cfg.chips[slot];
                    cfg.faults[slot];
                } else {
                    throw std::invalid_argument("unknown section [" + name + "]");
                }
                continue;
            }
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                throw std::invalid_argument("expected key = value");
            const auto key = lower(trim(line.substr(0, eq)));
            const auto value = trim(line.substr(eq + 1));
            if (foreign) {
                if (key != "device")
                    throw std::invalid_argument("[foreign] takes 'device = VVVV:PPPP bus=N ports=a.b'");
                try {
                    cfg.foreign.push_back(parseForeign(value));
                } catch (const std::exception& e) {
                    throw std::invalid_argument("device: " + std::string(e.what()));
                }
            } else if (slot >= 0) {
                applySlotKey(key, value, cfg.chips[slot], cfg.faults[slot]);
            } else {
                throw std::invalid_argument("key outside a [slot N] section");
            }
        }
    } catch (const std::exception& e) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + e.what();
        return false;
    }
    out = std::move(cfg);
    return true;
}

// ---------------------------------------------------------------------------

SimBench::SimBench() = default;

SimBench::SimBench(std::filesystem::path stateDir, const BenchConfig& config)
    : foreign_(config.foreign), stateDir_(std::move(stateDir)) {
    for (const auto& [slot, chipConfig] : config.chips) {
        if (slot < 0 || slot >= kSlots)
            continue;
        chips_[slot] = std::make_unique<SimChip>(chipConfig);
        if (std::filesystem::exists(slotDir(slot) / "chip.txt")) {
            std::string err;
            if (!chips_[slot]->load(slotDir(slot), &err))
                error_ = err; // keeps the factory chip
            known_[slot] = storedTime(slot);
        }
        if (auto f = config.faults.find(slot); f != config.faults.end())
            chips_[slot]->faults() = f->second;
    }
}

std::unique_ptr<SimBench> SimBench::fromEnvironment() {
    std::filesystem::path dir = defaultStateDir();
    if (const char* d = std::getenv("CORVANE_SIM_DIR"); d && *d)
        dir = d;
    std::optional<std::filesystem::path> conf;
    if (const char* c = std::getenv("CORVANE_SIM_CONFIG"); c && *c)
        conf = std::filesystem::path(c);
    return fromFolder(dir, conf);
}

void SimBench::requireWritableFolder(const std::filesystem::path& dir) {
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_directory(dir, ec))
        throw std::runtime_error(dir.string() +
                                 ": not a folder; the simulated bench keeps its chips in a folder");
    std::filesystem::create_directories(dir, ec);
    if (ec)
        throw std::runtime_error(dir.string() + ": cannot create the bench's state folder: " + ec.message());
    // The chips are stored when the link closes; a folder that cannot take
    // them would lose every change, so it is refused now.
    const auto probe = dir / (".corvane-probe-" + std::to_string(::getpid()));
    {
        std::ofstream f(probe, std::ios::binary | std::ios::trunc);
        f << '\n';
        if (!f.good()) {
            std::filesystem::remove(probe, ec);
            throw std::runtime_error(dir.string() + ": the bench's state folder is not writable");
        }
    }
    std::filesystem::remove(probe, ec);
}

std::unique_ptr<SimBench> SimBench::fromFolder(const std::filesystem::path& stateDir,
                                               const std::optional<std::filesystem::path>& configFile) {
    requireWritableFolder(stateDir);
    const auto confPath = configFile.value_or(stateDir / "bench.conf");
    BenchConfig config;
    std::ifstream f(confPath);
    if (f) {
        std::ostringstream ss;
        ss << f.rdbuf();
        std::string err;
        if (!parseBenchConfig(ss.str(), config, &err))
            throw std::runtime_error(confPath.string() + ", " + err);
    } else if (configFile) {
        throw std::runtime_error(confPath.string() + ": cannot read the bench file");
    } else {
        // No bench file: the chips stored in the folder, or one AT89C5131.
        for (int slot = 0; slot < kSlots; ++slot) {
            const auto chipFile = stateDir / ("slot-" + std::to_string(slot)) / "chip.txt";
            std::ifstream cf(chipFile);
            std::string line;
            if (!cf)
                continue;
            ChipConfig c;
            while (std::getline(cf, line)) {
                if (!line.starts_with("controller="))
                    continue;
                const auto value = line.substr(std::string_view("controller=").size());
                const auto named = Controller::named(value);
                if (!named)
                    throw std::runtime_error(chipFile.string() + ": controller '" + value + "' is none of " +
                                             controllerNames());
                c.controller = *named;
            }
            config.chips[slot] = c;
        }
        if (config.chips.empty())
            config.chips[0] = ChipConfig{};
    }
    return std::make_unique<SimBench>(stateDir, config);
}

SimBench::~SimBench() {
    saveAll();
}

SimChip& SimBench::insert(int slot, ChipConfig config) {
    if (slot < 0 || slot >= kSlots)
        throw std::out_of_range("bench slots are 0 to 7");
    chips_[slot] = std::make_unique<SimChip>(std::move(config));
    save(slot);
    return *chips_[slot];
}

SimChip* SimBench::chip(int slot) {
    return slot >= 0 && slot < kSlots ? chips_[slot].get() : nullptr;
}

const SimChip* SimBench::chip(int slot) const {
    return slot >= 0 && slot < kSlots ? chips_[slot].get() : nullptr;
}

void SimBench::remove(int slot) {
    if (slot < 0 || slot >= kSlots)
        return;
    chips_[slot].reset();
    if (persistent()) {
        std::error_code ec;
        std::filesystem::remove_all(slotDir(slot), ec);
    }
}

std::filesystem::path SimBench::slotDir(int slot) const {
    return stateDir_ / ("slot-" + std::to_string(slot));
}

std::filesystem::file_time_type SimBench::storedTime(int slot) const {
    std::error_code ec;
    const auto t = std::filesystem::last_write_time(slotDir(slot) / "chip.txt", ec);
    return ec ? std::filesystem::file_time_type{} : t;
}

bool SimBench::reload(int slot) {
    SimChip* c = chip(slot);
    if (!c || !persistent() || !std::filesystem::exists(slotDir(slot) / "chip.txt"))
        return false;
    // Only what another process stored since this bench last saved or loaded
    // replaces the chip in memory.
    if (storedTime(slot) == known_[slot])
        return true;
    // The fault plan and its count belong to this process's set-up.
    const FaultPlan plan = c->faults();
    const bool ok = c->load(slotDir(slot), &error_);
    c->faults() = plan;
    known_[slot] = storedTime(slot);
    return ok;
}

bool SimBench::save(int slot) {
    const SimChip* c = chip(slot);
    if (!c || !persistent())
        return false;
    const bool ok = c->save(slotDir(slot), &error_);
    known_[slot] = storedTime(slot);
    return ok;
}

void SimBench::saveAll() {
    for (int slot = 0; slot < kSlots; ++slot)
        save(slot);
}

// ---------------------------------------------------------------------------

SimLink::~SimLink() {
    close();
}

SimChip* SimLink::current() {
    SimChip* c = slot_ >= 0 ? bench_.chip(slot_) : nullptr;
    if (!c)
        error_ = "no device is open";
    return c;
}

bool SimLink::open(int deviceNumber) {
    close();
    error_.clear();
    denied_ = false;
    if (deviceNumber < 0 || deviceNumber >= SimBench::kSlots) {
        error_ = "no device number " + std::to_string(deviceNumber) + " on the simulated bench";
        return false;
    }
    bench_.reload(deviceNumber);
    SimChip* c = bench_.chip(deviceNumber);
    if (!c) {
        error_ = "simulated slot " + std::to_string(deviceNumber) + " is empty";
        return false;
    }
    if (!c->attached()) {
        error_ = "the chip in simulated slot " + std::to_string(deviceNumber) + " is not on the bus";
        return false;
    }
    if (c->config().refuseOpen) {
        error_ = "access to simulated slot " + std::to_string(deviceNumber) + " refused";
        denied_ = true;
        return false;
    }
    slot_ = deviceNumber;
    return true;
}

bool SimLink::getDeviceDescriptor(DeviceDescriptor& out) {
    SimChip* c = current();
    if (!c)
        return false;
    DeviceDescriptor d{};
    const auto r =
        c->control({0x80, 0x06, 0x0100, 0, static_cast<std::uint16_t>(d.size())}, d.data(), kSimTimeoutMs);
    if (!r.ok()) {
        error_ = "device descriptor: " + transferErrorText(r.error);
        return false;
    }
    if (r.transferred < static_cast<int>(d.size())) {
        error_ = "device descriptor: short answer of " + std::to_string(r.transferred) + " bytes";
        return false;
    }
    out = d;
    return true;
}

bool SimLink::classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) {
    failure_ = RequestFailure::Other;
    SimChip* c = current();
    if (!c)
        return false;
    const UsbSetup s{setup.bmRequestType(), setup.Request, setup.Value, setup.Index, length};
    const auto r = c->control(s, data, kSimTimeoutMs);
    failure_ = r.error == TransferError::None      ? RequestFailure::None
               : r.error == TransferError::Stall   ? RequestFailure::Refused
               : r.error == TransferError::Timeout ? RequestFailure::TimedOut
                                                   : RequestFailure::Other;
    if (!r.ok()) {
        error_ = "class request " + std::to_string(setup.Request) + ": " + transferErrorText(r.error);
        return false;
    }
    if (setup.Direction == 1 && r.transferred < length) {
        error_ = "class request " + std::to_string(setup.Request) + ": short answer of " +
                 std::to_string(r.transferred) + " of " + std::to_string(length) + " bytes";
        return false;
    }
    return true;
}

void SimLink::close() {
    if (slot_ < 0)
        return;
    bench_.save(slot_);
    slot_ = -1;
}

} // namespace corvane::sim
