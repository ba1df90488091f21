// SPDX-License-Identifier: GPL-3.0-or-later
// How a simulated chip is kept in its folder: "chip.txt" with one key=value
// line each for the controller, the configuration bytes, the DFU state and
// the application's start, and the memories in "flash.bin" and "eeprom.bin".

#include "sim/chip_impl.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvane::sim {

namespace detail {

std::string hex2(unsigned v) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
}

} // namespace detail

namespace {

constexpr const char* kChipFile = "chip.txt";
constexpr const char* kFlashFile = "flash.bin";
constexpr const char* kEepromFile = "eeprom.bin";

// The whole file; false with the error naming it when it cannot be read.
bool readWhole(const std::filesystem::path& p, std::string& out, std::string* error) {
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
        if (error)
            *error = p.string() + ": a folder, not the chip's file";
        return false;
    }
    std::ifstream f(p, std::ios::binary);
    std::ostringstream ss;
    if (f)
        ss << f.rdbuf();
    if (!f || f.bad()) {
        if (error)
            *error = p.string() + (std::filesystem::exists(p, ec) ? ": cannot be read" : ": missing");
        return false;
    }
    out = ss.str();
    return true;
}

// A new file renamed over the old one, so a reader sees one or the other.
bool replaceFile(const std::filesystem::path& p, const std::string& bytes) {
    const auto tmp = p.string() + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        f.flush();
        if (!f.good())
            return false;
    }
    std::error_code ec;
    std::filesystem::rename(tmp, p, ec);
    return !ec;
}

// Digits only, in the base; a leading '-' where allowed.
long number(const std::string& v, int base, long min, long max) {
    const bool negative = !v.empty() && v[0] == '-' && min < 0;
    const std::string digits = negative ? v.substr(1) : v;
    bool ok = !digits.empty() && digits.size() <= 8;
    for (const char ch : digits) {
        const auto c = static_cast<unsigned char>(ch);
        ok = ok && (base == 16 ? std::isxdigit(c) != 0 : std::isdigit(c) != 0);
    }
    const long n = ok ? std::stol(digits, nullptr, base) * (negative ? -1 : 1) : 0;
    if (!ok || n < min || n > max)
        throw std::invalid_argument("'" + v + "' is not a " + (base == 16 ? "hexadecimal " : "") +
                                    "number from " + std::to_string(min) + " to " + std::to_string(max));
    return n;
}

// What chip.txt says, checked line by line.
struct ChipText {
    std::optional<Controller> controller;
    ConfigBytes bytes;
    int byteLines = 0;
    int state = dfuIDLE, status = OK;
    bool attached = true, running = false;
    int startMode = -1;
    std::uint16_t startAddress = 0;
};

void applyLine(const std::string& key, const std::string& value, ChipText& t) {
    static const std::pair<const char*, std::uint8_t ConfigBytes::*> bytes[] = {
        {"bsb", &ConfigBytes::BSB},    {"sbv", &ConfigBytes::SBV},    {"p1cf", &ConfigBytes::P1_CF},
        {"p3cf", &ConfigBytes::P3_CF}, {"p4cf", &ConfigBytes::P4_CF}, {"ssb", &ConfigBytes::SSB},
        {"eb", &ConfigBytes::EB},      {"hsb", &ConfigBytes::HSB}};
    for (const auto& [name, member] : bytes) {
        if (key == name) {
            t.bytes.*member = static_cast<std::uint8_t>(number(value, 16, 0, 0xFF));
            ++t.byteLines;
            return;
        }
    }
    if (key == "controller") {
        t.controller = Controller::named(value);
        if (!t.controller)
            throw std::invalid_argument("controller '" + value + "' is not a type the bench knows");
    } else if (key == "state") {
        t.state = static_cast<int>(number(value, 10, 0, 255));
    } else if (key == "status") {
        t.status = static_cast<int>(number(value, 10, 0, 255));
    } else if (key == "attached") {
        t.attached = number(value, 10, 0, 1) != 0;
    } else if (key == "running") {
        t.running = number(value, 10, 0, 1) != 0;
    } else if (key == "start-mode") {
        t.startMode = static_cast<int>(number(value, 10, -1, 1));
    } else if (key == "start-address") {
        t.startAddress = static_cast<std::uint16_t>(number(value, 10, 0, 0xFFFF));
    } else {
        throw std::invalid_argument("unknown key '" + key + "'");
    }
}

// False with "<file>, line N: ..." when a line is none of the chip's.
bool parseChipText(const std::string& text, const std::filesystem::path& file, ChipText& out,
                   std::string* error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    try {
        while (std::getline(in, line)) {
            ++lineNo;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                throw std::invalid_argument("expected key=value, found '" + line + "'");
            applyLine(line.substr(0, eq), line.substr(eq + 1), out);
        }
    } catch (const std::exception& e) {
        if (error)
            *error = file.string() + ", line " + std::to_string(lineNo) + ": " + e.what();
        return false;
    }
    if (!out.controller || out.byteLines < 8) {
        if (error)
            *error = file.string() + ": the controller or a configuration byte is missing";
        return false;
    }
    return true;
}

} // namespace

std::optional<StoredChip> StoredChip::read(const std::filesystem::path& folder, std::string* error) {
    if (error)
        error->clear();
    std::error_code ec;
    if (!std::filesystem::exists(folder / kChipFile, ec))
        return std::nullopt;
    StoredChip s;
    if (!readWhole(folder / kChipFile, s.chipText, error) ||
        !readWhole(folder / kFlashFile, s.flash, error) || !readWhole(folder / kEepromFile, s.eeprom, error))
        return std::nullopt;
    return s;
}

bool StoredChip::write(const std::filesystem::path& folder, std::string* error) const {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        if (error)
            *error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }
    // chip.txt last: a folder without it holds no chip.
    const bool ok = replaceFile(folder / kFlashFile, flash) && replaceFile(folder / kEepromFile, eeprom) &&
                    replaceFile(folder / kChipFile, chipText);
    if (!ok && error)
        *error = "cannot store the chip in " + folder.string();
    return ok;
}

StoredChip SimChip::stored() const {
    using detail::hex2;
    std::ostringstream t;
    t << "controller=" << config_.controller.variant().name << "\n"
      << "bsb=" << hex2(bytes_.BSB) << "\nsbv=" << hex2(bytes_.SBV) << "\np1cf=" << hex2(bytes_.P1_CF)
      << "\np3cf=" << hex2(bytes_.P3_CF) << "\np4cf=" << hex2(bytes_.P4_CF) << "\nssb=" << hex2(bytes_.SSB)
      << "\neb=" << hex2(bytes_.EB) << "\nhsb=" << hex2(bytes_.HSB) << "\nstate=" << int(state_)
      << "\nstatus=" << int(status_) << "\nattached=" << (attached_ ? 1 : 0)
      << "\nrunning=" << (appRunning_ ? 1 : 0) << "\nstart-mode=" << startMode_
      << "\nstart-address=" << startAddress_ << "\n";
    return {t.str(), std::string(flash_.begin(), flash_.end()), std::string(eeprom_.begin(), eeprom_.end())};
}

RestoreError SimChip::restore(const StoredChip& from, const std::filesystem::path& folder,
                              std::string* error) {
    ChipText t;
    if (!parseChipText(from.chipText, folder / kChipFile, t, error))
        return RestoreError::Garbage;
    const auto& variant = config_.controller.variant();
    if (from.flash.size() != variant.flashSize || from.eeprom.size() != eeprom_.size()) {
        if (error)
            *error = (folder / kFlashFile).string() + " holds " + std::to_string(from.flash.size()) +
                     " bytes and " + kEepromFile + " " + std::to_string(from.eeprom.size()) +
                     ", stored for an " + t.controller->variant().name + "; this slot is set up as an " +
                     variant.name + " (" + std::to_string(variant.flashSize) + " bytes of FLASH, " +
                     std::to_string(eeprom_.size()) +
                     " of EEPROM). The slot is refused, its files are kept: name the stored type in the "
                     "bench file, or delete the slot's folder for a new chip";
        return RestoreError::DoesNotFit;
    }
    bytes_ = t.bytes;
    flash_.assign(from.flash.begin(), from.flash.end());
    eeprom_.assign(from.eeprom.begin(), from.eeprom.end());
    // An interrupted transfer does not survive the host program: what remains
    // is the idle or error state.
    state_ = t.state == dfuERROR ? dfuERROR : dfuIDLE;
    status_ = state_ == dfuERROR ? static_cast<DfuStatus>(t.status) : OK;
    attached_ = t.attached;
    appRunning_ = t.running;
    startMode_ = t.startMode;
    startAddress_ = t.startAddress;
    answer_.clear();
    answerPos_ = 0;
    startPending_ = false;
    erasing_ = false;
    faults_.restartCount();
    return RestoreError::None;
}

} // namespace corvane::sim
