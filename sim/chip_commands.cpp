// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated chip's command frames: program, display (with the blank
// check), write (erases, configuration bytes, start) and read commands, and
// the security rules they obey.

#include "sim/chip_impl.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace corvane::sim {

namespace {

bool anyTypeHasBlock(std::uint8_t code) {
    return std::any_of(corvane::kChipVariants.begin(), corvane::kChipVariants.end(), [&](const auto& v) {
        return std::any_of(v.eraseBlocks.begin(), v.eraseBlocks.end(),
                           [&](const corvane::EraseBlock& b) { return b.code == code; });
    });
}

// The bytes a command needs before it can be read: shorter frames than that
// are refused; a frame up to 32 bytes is read as padded with zeros. The start
// command's reset form (04 03 00) needs no address, its jump form does.
std::size_t bytesUsed(const std::uint8_t* f, std::size_t len) {
    switch (f[0]) {
    case PROGRAM_DATA:
    case DISPLAY_DATA:
        return wire::kRangeBytes;
    case WRITE_COMMAND:
        if (len > 2 && f[1] == wire::kWriteStart && f[2] == wire::kStartJump)
            return wire::kStartBytes;
        return wire::kReadWriteBytes;
    case READ_COMMAND:
        return wire::kReadWriteBytes;
    default:
        return 1;
    }
}

using corvane::ConfigId;

// The area of the bootloader's own bytes: its version, then two id bytes.
constexpr std::uint8_t kBootArea = corvane::configByte(ConfigId::BootVersion).area;

// Where the chip keeps a configuration byte of the table; nothing for the
// identification bytes, which no command writes.
std::optional<ConfigByte> storedAs(ConfigId id) {
    switch (id) {
    case ConfigId::SSB:
        return ConfigByte::SSB;
    case ConfigId::HSB:
        return ConfigByte::HSB;
    case ConfigId::BSB:
        return ConfigByte::BSB;
    case ConfigId::EB:
        return ConfigByte::EB;
    case ConfigId::SBV:
        return ConfigByte::SBV;
    case ConfigId::P1CF:
        return ConfigByte::P1_CF;
    case ConfigId::P3CF:
        return ConfigByte::P3_CF;
    case ConfigId::P4CF:
        return ConfigByte::P4_CF;
    case ConfigId::BootVersion:
    case ConfigId::Manufacturer:
    case ConfigId::Family:
    case ConfigId::ProductName:
    case ConfigId::ProductRevision:
        break;
    }
    return std::nullopt;
}

// An area of the write command that holds configuration bytes.
bool configArea(std::uint8_t area) {
    return std::any_of(corvane::kConfigBytes.begin(), corvane::kConfigBytes.end(),
                       [&](const corvane::ConfigByteInfo& b) { return !b.identification && b.area == area; });
}

// The byte a read command names; nothing for a pair the chip does not have.
std::optional<std::uint8_t> readable(std::uint8_t area, std::uint8_t index, const Identification& id,
                                     const ConfigBytes& b) {
    if (area == kBootArea) {
        const std::uint8_t boot[] = {id.bootloaderVersion, id.bootId1, id.bootId2};
        return index < 3 ? std::optional(boot[index]) : std::nullopt;
    }
    const std::optional<ConfigId> which = corvane::configIdAt(area, index);
    if (!which)
        return std::nullopt;
    if (const std::optional<ConfigByte> stored = storedAs(*which))
        return b[*stored];
    switch (*which) {
    case ConfigId::Manufacturer:
        return id.manufacturer;
    case ConfigId::Family:
        return id.family;
    case ConfigId::ProductName:
        return id.productName;
    case ConfigId::ProductRevision:
        return id.productRevision;
    default:
        return std::nullopt;
    }
}

} // namespace

std::uint8_t& ConfigBytes::operator[](ConfigByte b) {
    switch (b) {
    case ConfigByte::BSB:
        return BSB;
    case ConfigByte::SBV:
        return SBV;
    case ConfigByte::P1_CF:
        return P1_CF;
    case ConfigByte::P3_CF:
        return P3_CF;
    case ConfigByte::P4_CF:
        return P4_CF;
    case ConfigByte::SSB:
        return SSB;
    case ConfigByte::EB:
        return EB;
    case ConfigByte::HSB:
        break;
    }
    return HSB;
}

std::uint8_t ConfigBytes::operator[](ConfigByte b) const {
    return (*const_cast<ConfigBytes*>(this))[b];
}

std::optional<Controller> Controller::named(std::string_view name) {
    if (const auto i = corvane::chipVariantIndex(name))
        return Controller{*i};
    // The type's name followed by "A", as the newer chips are marked.
    if (name.ends_with('A') || name.ends_with('a')) {
        const auto base = name.substr(0, name.size() - 1);
        const auto i = corvane::chipVariantIndex(base);
        if (i && base.size() == std::string_view(corvane::kChipVariants[std::size_t(*i)].name).size())
            return Controller{*i};
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------

void SimChip::Impl::command(const std::uint8_t* frame, std::size_t len) {
    if (len < bytesUsed(frame, len)) {
        fail(errUNKNOWN);
        return;
    }
    std::array<std::uint8_t, wire::kFrame> padded{};
    std::memcpy(padded.data(), frame, std::min(len, padded.size()));
    const std::uint8_t* f = padded.data();
    switch (f[0]) {
    case PROGRAM_DATA:
        // The data follows the 32-byte header, whatever comes after it.
        program(f, frame, len);
        break;
    case DISPLAY_DATA:
        display(f);
        break;
    case WRITE_COMMAND:
        write(f);
        break;
    case READ_COMMAND:
        read(f);
        break;
    default:
        fail(errUNKNOWN);
    }
}

// Resolves a memory selector and range; nullptr after reporting a failure.
std::vector<std::uint8_t>* SimChip::Impl::range(std::uint8_t selector, bool forProgram, unsigned& start,
                                                unsigned& end, const std::uint8_t* f) {
    std::vector<std::uint8_t>* mem = nullptr;
    if (selector == wire::kSelectFlash)
        mem = &c.flash_;
    else if (selector == wire::kSelectEeprom || (forProgram && selector == 0x01))
        mem = &c.eeprom_;
    if (!mem) {
        fail(errTARGET);
        return nullptr;
    }
    start = (f[2] << 8) | f[3];
    end = (f[4] << 8) | f[5];
    if (end < start || end >= mem->size()) {
        fail(errADDRESS);
        return nullptr;
    }
    return mem;
}

void SimChip::Impl::program(const std::uint8_t* f, const std::uint8_t* frame, std::size_t len) {
    unsigned start = 0, end = 0;
    auto* mem = range(f[1], true, start, end, f);
    if (!mem)
        return;
    if (c.securityLevel() != 3) {
        fail(errWRITE);
        return;
    }
    const std::size_t count = end - start + 1;
    if (len < wire::kProgramData + count) {
        fail(errPROG);
        return;
    }
    if (mem == &c.flash_)
        c.faults_.programFlash(c.flash_, start, frame + wire::kProgramData, count);
    else
        std::memcpy(mem->data() + start, frame + wire::kProgramData, count);
    const std::size_t pages = end / corvane::kPageSize - start / corvane::kPageSize + 1;
    spend(kPageProgram * static_cast<long>(pages));
    succeed();
}

void SimChip::Impl::display(const std::uint8_t* f) {
    const bool blankCheck = f[1] == wire::kSelectBlankCheck;
    unsigned start = 0, end = 0;
    auto* mem = range(blankCheck ? wire::kSelectFlash : f[1], false, start, end, f);
    if (!mem)
        return;
    if (blankCheck) {
        auto first = std::find_if(mem->begin() + start, mem->begin() + end + 1,
                                  [](std::uint8_t b) { return b != 0xFF; });
        if (first == mem->begin() + end + 1) {
            succeed();
            return;
        }
        const auto at = static_cast<unsigned>(first - mem->begin());
        fail(errCHECK_ERASED);
        c.answer_ = {static_cast<std::uint8_t>(at >> 8), static_cast<std::uint8_t>(at & 0xFF)};
        return;
    }
    if (c.securityLevel() < 2) {
        fail(errVERIFY);
        return;
    }
    c.answer_.assign(mem->begin() + start, mem->begin() + end + 1);
    succeed();
}

void SimChip::Impl::write(const std::uint8_t* f) {
    switch (f[1]) {
    case wire::kWriteErase:
        erase(f[2]);
        return;
    case wire::kWriteStart:
        start(f);
        return;
    default:
        if (configArea(f[1]))
            writeConfig(f[1], f[2], f[3]);
        else
            fail(errUNKNOWN);
    }
}

// The start command: mode 0 resets the controller, mode 1 jumps to the
// address; either happens with the empty download that follows.
void SimChip::Impl::start(const std::uint8_t* f) {
    if (f[2] > wire::kStartJump) {
        fail(errUNKNOWN);
        return;
    }
    c.startMode_ = f[2];
    c.startAddress_ = static_cast<std::uint16_t>((f[3] << 8) | f[4]);
    c.startPending_ = true;
    succeed();
}

void SimChip::Impl::erase(std::uint8_t what) {
    if (what == wire::kChipErase) {
        // Chip erase: always allowed, also clears the security.
        std::fill(c.flash_.begin(), c.flash_.end(), 0xFF);
        c.bytes_.SSB = 0xFF;
        c.bytes_.BSB = 0xFF;
        c.bytes_.SBV = 0xFF;
        c.floor_ += kChipErase;
        c.erasing_ = true;
        c.eraseEnds_ =
            std::chrono::steady_clock::now() + (realistic() ? kChipErase : std::chrono::microseconds(0));
        c.busyPollsLeft_ = c.config_.busyPolls;
        succeed();
        return;
    }
    const auto own = c.config_.controller.variant().eraseBlocks;
    const auto block = std::find_if(own.begin(), own.end(), [&](const auto& b) { return b.code == what; });
    if (block == own.end()) {
        // A block another type has lies beyond this one's FLASH.
        fail(anyTypeHasBlock(what) ? errADDRESS : errUNKNOWN);
        return;
    }
    const unsigned start = block->first, end = block->last;
    if (end >= c.flash_.size()) {
        fail(errADDRESS);
        return;
    }
    if (c.securityLevel() != 3) {
        fail(errWRITE);
        return;
    }
    std::fill(c.flash_.begin() + start, c.flash_.begin() + end + 1, 0xFF);
    spend(kBlockErase);
    succeed();
}

void SimChip::Impl::writeConfig(std::uint8_t area, std::uint8_t index, std::uint8_t value) {
    const std::optional<ConfigId> which = corvane::configIdAt(area, index);
    const std::optional<ConfigByte> stored = which ? storedAs(*which) : std::nullopt;
    if (!stored) {
        fail(errADDRESS);
        return;
    }
    if (*stored == ConfigByte::SSB) {
        // The security can only be raised: no level bit may go from 0 to 1.
        if ((value & ~c.bytes_.SSB) & 0x03) {
            fail(errWRITE);
            return;
        }
        c.bytes_.SSB = value;
        succeed();
        return;
    }
    if (c.securityLevel() != 3) {
        fail(errWRITE);
        return;
    }
    c.bytes_[*stored] = value;
    succeed();
}

void SimChip::Impl::read(const std::uint8_t* f) {
    const std::optional<std::uint8_t> v = readable(f[1], f[2], c.ident_, c.bytes_);
    if (!v) {
        fail(errADDRESS);
        return;
    }
    c.answer_ = {*v};
    succeed();
}

} // namespace corvane::sim
