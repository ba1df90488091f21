// SPDX-License-Identifier: GPL-3.0-or-later
// The bench file and the set-up of a bench from its state folder.

#include "sim/bench_file.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace corvane::sim {

namespace {

constexpr int kSlotCount = 8;

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
    } else if (key == "attached") {
        c.startsAttached = parseBool(value);
    } else if (key == "leave-early") {
        c.leavesBeforeStatus = parseBool(value);
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

// The bench file's text; throws naming the file when it is there but
// cannot be read. Nothing when there is no such file.
std::optional<std::string> benchFileText(const std::filesystem::path& file) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return std::nullopt;
    if (std::filesystem::is_directory(status))
        throw std::runtime_error(file.string() + ": a folder, not a bench file");
    std::ifstream f(file, std::ios::binary);
    std::ostringstream ss;
    if (f)
        ss << f.rdbuf();
    if (!f || f.bad()) {
        const std::string why =
            ::access(file.c_str(), R_OK) != 0 ? std::string(": ") + std::strerror(errno) : "";
        throw std::runtime_error(file.string() + ": cannot read the bench file" + why);
    }
    return ss.str();
}

// No bench file: the chips stored in the folder, each of the type its
// chip.txt names.
BenchConfig storedSetUp(const std::filesystem::path& stateDir) {
    BenchConfig config;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto chipFile = stateDir / ("slot-" + std::to_string(slot)) / "chip.txt";
        std::error_code ec;
        if (!std::filesystem::exists(chipFile, ec))
            continue;
        std::ifstream cf(chipFile);
        if (!cf)
            throw std::runtime_error(chipFile.string() + ": cannot be read");
        ChipConfig c;
        std::string line;
        int lineNo = 0;
        while (std::getline(cf, line)) {
            ++lineNo;
            if (!line.starts_with("controller="))
                continue;
            const auto value = line.substr(std::string_view("controller=").size());
            const auto named = Controller::named(value);
            if (!named)
                throw std::runtime_error(chipFile.string() + ", line " + std::to_string(lineNo) +
                                         ": controller '" + value + "' is none of " + controllerNames());
            c.controller = *named;
        }
        config.chips[slot] = c;
    }
    if (config.chips.empty())
        config.chips[0] = ChipConfig{};
    return config;
}

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
                    if (slot >= kSlotCount)
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

BenchConfig readBenchSetUp(const std::filesystem::path& stateDir,
                           const std::optional<std::filesystem::path>& file) {
    const auto path = file.value_or(stateDir / "bench.conf");
    const std::optional<std::string> text = benchFileText(path);
    if (!text) {
        if (file)
            throw std::runtime_error(path.string() + ": cannot read the bench file: no such file");
        return storedSetUp(stateDir);
    }
    BenchConfig config;
    std::string err;
    if (!parseBenchConfig(*text, config, &err))
        throw std::runtime_error(path.string() + ", " + err);
    config.file = path;
    return config;
}

} // namespace corvane::sim
