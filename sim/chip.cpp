// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated bootloader chip: DFU states, command frames, security rules,
// timing model, fault plan and persistence.

#include "sim/bench.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace corvane::sim {

namespace {

constexpr std::size_t kMaxLog = 20000; // oldest half is dropped beyond this
constexpr std::size_t kPage = 128;

// Standard requests.
constexpr std::uint8_t GET_STATUS = 0x00;
constexpr std::uint8_t SET_ADDRESS = 0x05;
constexpr std::uint8_t GET_DESCRIPTOR = 0x06;
constexpr std::uint8_t GET_CONFIGURATION = 0x08;
constexpr std::uint8_t SET_CONFIGURATION = 0x09;
constexpr std::uint8_t GET_INTERFACE = 0x0A;
constexpr std::uint8_t SET_INTERFACE = 0x0B;

Identification defaultIdentification(Controller c) {
    Identification id;
    id.productName = c.variant().productCode;
    return id;
}

bool anyTypeHasBlock(std::uint8_t code) {
    return std::any_of(corvane::kChipVariants.begin(), corvane::kChipVariants.end(), [&](const auto& v) {
        return std::any_of(v.eraseBlocks.begin(), v.eraseBlocks.end(),
                           [&](const corvane::EraseBlock& b) { return b.code == code; });
    });
}

std::string hex2(unsigned v) {
    static const char* digits = "0123456789ABCDEF";
    return {digits[(v >> 4) & 0xF], digits[v & 0xF]};
}

} // namespace

// ---------------------------------------------------------------------------

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

void FaultPlan::failRequest(int k, int count) {
    for (int i = 0; i < count; ++i)
        failing.insert(k + i);
}

void FaultPlan::timeOutRequest(int k, int count) {
    for (int i = 0; i < count; ++i)
        timingOut.insert(k + i);
}

bool FaultPlan::empty() const {
    return failing.empty() && timingOut.empty() && statusOverride.empty() && shortUploads.empty() &&
           vanishAfterRequest == 0 && !failDescriptor && stuckFlash.empty();
}

// ---------------------------------------------------------------------------
// Request handling lives in Impl so the header stays free of helpers.

struct SimChip::Impl {
    SimChip& c;
    const UsbSetup& s;
    std::uint8_t* data;
    unsigned timeoutMs;
    int k; // request number in the fault plan

    bool realistic() const { return c.config_.timing == Timing::Realistic; }

    // Charges a modelled delay; the realistic mode really spends it.
    void spend(std::chrono::microseconds d) {
        c.floor_ += d;
        if (realistic() && d.count() > 0)
            std::this_thread::sleep_for(d);
    }

    TransferResult stall(bool enterError) {
        if (enterError && c.state_ != dfuERROR) {
            c.state_ = dfuERROR;
            c.status_ = errSTALLEDPKT;
        }
        return {TransferError::Stall, 0};
    }

    TransferResult done(int n) { return {TransferError::None, n}; }

    TransferResult reply(const std::uint8_t* bytes, std::size_t n) {
        std::size_t m = std::min<std::size_t>(n, s.wLength);
        if (m)
            std::memcpy(data, bytes, m);
        return done(static_cast<int>(m));
    }

    void fail(DfuStatus st) {
        c.status_ = st;
        c.state_ = dfuERROR;
        c.answer_.clear();
        c.answerPos_ = 0;
    }

    void succeed() {
        c.status_ = OK;
        c.state_ = dfuDNLOAD_SYNC;
    }

    // ---- standard requests ------------------------------------------------

    TransferResult standard() {
        if (s.bmRequestType == 0x80 && s.bRequest == GET_DESCRIPTOR) {
            const int type = s.wValue >> 8;
            if (type == 1) {
                if (c.faults_.failDescriptor)
                    return {TransferError::Io, 0};
                auto d = c.deviceDescriptor();
                return reply(d.data(), d.size());
            }
            if (type == 2 && (s.wValue & 0xFF) == 0) {
                auto d = c.configurationDescriptor();
                return reply(d.data(), d.size());
            }
            if (type == 3 && (s.wValue & 0xFF) == 0) {
                const std::uint8_t langs[] = {4, 3, 0x09, 0x04};
                return reply(langs, sizeof langs);
            }
            return stall(false);
        }
        if (s.bRequest == GET_STATUS && (s.bmRequestType & 0x80)) {
            const std::uint8_t st[2] = {0, 0};
            return reply(st, 2);
        }
        if (s.bmRequestType == 0x80 && s.bRequest == GET_CONFIGURATION) {
            const std::uint8_t one = 1;
            return reply(&one, 1);
        }
        if (s.bmRequestType == 0x81 && s.bRequest == GET_INTERFACE && s.wIndex == 0) {
            const std::uint8_t zero = 0;
            return reply(&zero, 1);
        }
        if (s.bmRequestType == 0x00 && s.bRequest == SET_CONFIGURATION && s.wValue <= 1)
            return done(0);
        if (s.bmRequestType == 0x01 && s.bRequest == SET_INTERFACE && s.wIndex == 0 && s.wValue == 0)
            return done(0);
        if (s.bmRequestType == 0x00 && s.bRequest == SET_ADDRESS)
            return done(0);
        return stall(false);
    }

    // ---- DFU class requests -----------------------------------------------

    TransferResult dfu() {
        const bool in = (s.bmRequestType & 0x80) != 0;
        switch (s.bRequest) {
        case DFU_DNLOAD:
            return in ? stall(false) : download();
        case DFU_UPLOAD:
            return in ? upload() : stall(false);
        case DFU_GETSTATUS:
            return in ? getStatus() : stall(false);
        case DFU_CLRSTATUS:
            if (in || c.state_ == dfuDNBUSY)
                return stall(false);
            c.status_ = OK;
            c.state_ = dfuIDLE;
            c.answer_.clear();
            c.answerPos_ = 0;
            c.startPending_ = false;
            return done(0);
        case DFU_GETSTATE: {
            if (!in)
                return stall(false);
            const std::uint8_t st = c.state_;
            return reply(&st, 1);
        }
        case DFU_ABORT:
            if (in || c.state_ == dfuERROR || c.state_ == dfuDNBUSY)
                return stall(false);
            c.state_ = dfuIDLE;
            c.answer_.clear();
            c.answerPos_ = 0;
            c.startPending_ = false;
            return done(0);
        default: // DFU_DETACH and unknown requests: the bootloader is already in DFU mode
            return stall(true);
        }
    }

    // A new request during a chip erase: the blocking bootloader holds it
    // until the erase has ended; true when the busy one must refuse it.
    bool busyWithErase() {
        if (!c.erasing_)
            return false;
        if (c.config_.eraseMode == EraseMode::BusyPolling)
            return true;
        if (realistic())
            std::this_thread::sleep_until(c.eraseEnds_);
        c.erasing_ = false;
        return false;
    }

    TransferResult download() {
        if (c.state_ == dfuERROR)
            return stall(false);
        if (c.state_ == dfuDNBUSY || busyWithErase())
            return stall(true);
        c.answer_.clear();
        c.answerPos_ = 0;
        if (s.wLength == 0) {
            // A zero-length download ends the download; after a start command
            // the bootloader hands over to the application and leaves the bus.
            if (c.startPending_) {
                c.startPending_ = false;
                c.state_ = dfuMANIFEST;
                c.attached_ = false;
                c.appRunning_ = true;
            } else {
                c.state_ = dfuIDLE;
                c.status_ = OK;
            }
            return done(0);
        }
        command(data, s.wLength);
        return done(s.wLength);
    }

    TransferResult upload() {
        if (busyWithErase())
            return stall(true);
        const bool pending = c.answerPos_ < c.answer_.size();
        // The address of a failed blank check is fetched while the chip is in
        // dfuERROR; every other upload needs an answer in a non-error state.
        if (!pending || (c.state_ == dfuERROR && c.status_ != errCHECK_ERASED) || c.state_ == dfuDNBUSY)
            return stall(c.state_ != dfuERROR);
        std::size_t n = std::min<std::size_t>(s.wLength, c.answer_.size() - c.answerPos_);
        if (auto it = c.faults_.shortUploads.find(k); it != c.faults_.shortUploads.end())
            n = std::min<std::size_t>(n, it->second);
        if (n)
            std::memcpy(data, c.answer_.data() + c.answerPos_, n);
        c.answerPos_ += n;
        if (c.state_ != dfuERROR)
            c.state_ = c.answerPos_ < c.answer_.size() ? dfuUPLOAD_IDLE : dfuIDLE;
        return done(static_cast<int>(n));
    }

    TransferResult getStatus() {
        std::uint32_t pollMs = 0;
        if (auto it = c.faults_.statusOverride.find(k); it != c.faults_.statusOverride.end()) {
            if (it->second != OK)
                fail(static_cast<DfuStatus>(it->second));
            else
                c.status_ = OK;
        } else if (c.erasing_) {
            if (c.config_.eraseMode == EraseMode::Blocking) {
                // The status request completes only when the erase has ended.
                if (realistic()) {
                    auto now = std::chrono::steady_clock::now();
                    if (timeoutMs && c.eraseEnds_ - now > std::chrono::milliseconds(timeoutMs)) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
                        return {TransferError::Timeout, 0};
                    }
                    std::this_thread::sleep_until(c.eraseEnds_);
                }
                c.erasing_ = false;
                c.state_ = dfuDNLOAD_IDLE;
            } else {
                bool busy;
                if (realistic()) {
                    auto left = c.eraseEnds_ - std::chrono::steady_clock::now();
                    busy = left.count() > 0;
                    if (busy)
                        pollMs = static_cast<std::uint32_t>(
                            std::chrono::ceil<std::chrono::milliseconds>(left).count());
                } else {
                    busy = c.busyPollsLeft_-- > 0;
                }
                if (busy) {
                    c.status_ = errNOTDONE;
                    c.state_ = dfuDNBUSY;
                } else {
                    c.erasing_ = false;
                    c.status_ = OK;
                    c.state_ = dfuDNLOAD_IDLE;
                }
            }
        } else if (c.state_ == dfuDNLOAD_SYNC) {
            c.state_ = dfuDNLOAD_IDLE;
        }
        const std::uint8_t answer[6] = {c.status_,
                                        static_cast<std::uint8_t>(pollMs & 0xFF),
                                        static_cast<std::uint8_t>((pollMs >> 8) & 0xFF),
                                        static_cast<std::uint8_t>((pollMs >> 16) & 0xFF),
                                        c.state_,
                                        0};
        return reply(answer, sizeof answer);
    }

    // ---- command frames ---------------------------------------------------

    // The bytes a command needs before it can be read: shorter frames than
    // that are refused; a frame up to 32 bytes is read as padded with zeros.
    static std::size_t bytesUsed(const std::uint8_t* f, std::size_t len) {
        switch (f[0]) {
        case PROGRAM_DATA:
        case DISPLAY_DATA:
            return wire::kRangeBytes;
        case WRITE_COMMAND:
            return len > 1 && f[1] == wire::kWriteStart ? wire::kStartBytes : wire::kReadWriteBytes;
        case READ_COMMAND:
            return wire::kReadWriteBytes;
        default:
            return 1;
        }
    }

    void command(const std::uint8_t* data, std::size_t len) {
        if (len < bytesUsed(data, len)) {
            fail(errUNKNOWN);
            return;
        }
        std::array<std::uint8_t, wire::kFrame> padded{};
        std::memcpy(padded.data(), data, std::min(len, padded.size()));
        const std::uint8_t* f = padded.data();
        switch (f[0]) {
        case PROGRAM_DATA:
            // The data follows the 32-byte header, whatever comes after it.
            program(f, data, len);
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
    std::vector<std::uint8_t>* range(std::uint8_t selector, bool forProgram, unsigned& start, unsigned& end,
                                     const std::uint8_t* f) {
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

    void program(const std::uint8_t* f, const std::uint8_t* frame, std::size_t len) {
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
        std::vector<std::pair<std::uint16_t, std::uint8_t>> kept;
        if (mem == &c.flash_) {
            for (auto at = c.faults_.stuckFlash.lower_bound(static_cast<std::uint16_t>(start));
                 at != c.faults_.stuckFlash.end() && *at <= end; ++at)
                kept.emplace_back(*at, c.flash_[*at]);
        }
        std::memcpy(mem->data() + start, frame + wire::kProgramData, count);
        for (const auto& [at, value] : kept)
            c.flash_[at] = value;
        const std::size_t pages = end / kPage - start / kPage + 1;
        spend(kPageProgram * static_cast<long>(pages));
        succeed();
    }

    void display(const std::uint8_t* f) {
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

    void write(const std::uint8_t* f) {
        switch (f[1]) {
        case wire::kWriteErase:
            erase(f[2]);
            return;
        case wire::kWriteConfig:
            writeConfig(f[2], f[3]);
            return;
        case wire::kWriteHsb:
            if (f[2] != 0x00) {
                fail(errADDRESS);
            } else if (c.securityLevel() != 3) {
                fail(errWRITE);
            } else {
                c.bytes_.HSB = f[3];
                succeed();
            }
            return;
        case wire::kWriteStart:
            if (f[2] > wire::kStartJump) {
                fail(errUNKNOWN);
                return;
            }
            c.startMode_ = f[2];
            c.startAddress_ = static_cast<std::uint16_t>((f[3] << 8) | f[4]);
            c.startPending_ = true;
            succeed();
            return;
        default:
            fail(errUNKNOWN);
        }
    }

    void erase(std::uint8_t what) {
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
        const auto block =
            std::find_if(own.begin(), own.end(), [&](const auto& b) { return b.code == what; });
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

    void writeConfig(std::uint8_t index, std::uint8_t value) {
        static const ConfigByte byIndex[] = {ConfigByte::BSB,   ConfigByte::SBV,   ConfigByte::P1_CF,
                                             ConfigByte::P3_CF, ConfigByte::P4_CF, ConfigByte::SSB,
                                             ConfigByte::EB};
        if (index > 6) {
            fail(errADDRESS);
            return;
        }
        if (index == 5) {
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
        c.bytes_[byIndex[index]] = value;
        succeed();
    }

    void read(const std::uint8_t* f) {
        const std::uint8_t area = f[1], index = f[2];
        std::optional<std::uint8_t> v;
        const auto& id = c.ident_;
        if (area == wire::kReadBootloader) {
            if (index == 0x00)
                v = id.bootloaderVersion;
            else if (index == 0x01)
                v = id.bootId1;
            else if (index == 0x02)
                v = id.bootId2;
        } else if (area == wire::kReadConfig) {
            switch (index) {
            case wire::kIndexBsb:
                v = c.bytes_.BSB;
                break;
            case wire::kIndexSbv:
                v = c.bytes_.SBV;
                break;
            case wire::kIndexP1Cf:
                v = c.bytes_.P1_CF;
                break;
            case wire::kIndexP3Cf:
                v = c.bytes_.P3_CF;
                break;
            case wire::kIndexP4Cf:
                v = c.bytes_.P4_CF;
                break;
            case wire::kIndexSsb:
                v = c.bytes_.SSB;
                break;
            case wire::kIndexEb:
                v = c.bytes_.EB;
                break;
            case wire::kIndexManufacturer:
                v = id.manufacturer;
                break;
            case wire::kIndexFamily:
                v = id.family;
                break;
            case wire::kIndexProductName:
                v = id.productName;
                break;
            case wire::kIndexProductRevision:
                v = id.productRevision;
                break;
            default:
                break;
            }
        } else if (area == wire::kReadHsb && index == 0x00) {
            v = c.bytes_.HSB;
        }
        if (!v) {
            fail(errADDRESS);
            return;
        }
        c.answer_ = {*v};
        succeed();
    }
};

// ---------------------------------------------------------------------------

SimChip::SimChip(ChipConfig config)
    : config_(std::move(config)),
      ident_(config_.identification.value_or(defaultIdentification(config_.controller))),
      flash_(config_.controller.variant().flashSize, 0xFF), eeprom_(corvane::kEepromBytes, 0xFF),
      bytes_(config_.initial) {}

void SimChip::setConfig(const ChipConfig& cfg) {
    config_ = cfg;
    ident_ = cfg.identification.value_or(defaultIdentification(cfg.controller));
    flash_.resize(cfg.controller.variant().flashSize, 0xFF);
}

void SimChip::reset() {
    state_ = dfuIDLE;
    status_ = OK;
    answer_.clear();
    answerPos_ = 0;
    startPending_ = false;
    erasing_ = false;
    const bool bljbProgrammed = (bytes_.HSB & 0x40) == 0;
    attached_ = bljbProgrammed;
    appRunning_ = !bljbProgrammed;
}

DeviceDescriptor SimChip::deviceDescriptor() const {
    return {18,
            1,    // device descriptor
            0x10, // USB 1.10
            0x01,
            0x00, // class per interface
            0x00,
            0x00,
            32, // bMaxPacketSize0
            static_cast<std::uint8_t>(config_.vendorId & 0xFF),
            static_cast<std::uint8_t>(config_.vendorId >> 8),
            static_cast<std::uint8_t>(config_.productId & 0xFF),
            static_cast<std::uint8_t>(config_.productId >> 8),
            0x00, // bcdDevice 1.00
            0x01,
            0, // no strings
            0,
            0,
            1}; // one configuration
}

std::vector<std::uint8_t> SimChip::configurationDescriptor() const {
    return {// configuration
            9, 2, 27, 0, 1, 1, 0, 0x80, 50,
            // interface 0: application specific class, DFU subclass, DFU mode protocol
            9, 4, 0, 0, 0, 0xFE, 0x01, 0x02, 0,
            // DFU functional descriptor: can download and upload, detach timeout 255 ms,
            // transfer size 1072, DFU 1.0
            9, 0x21, 0x03, 0xFF, 0x00, 0x30, 0x04, 0x00, 0x01};
}

TransferResult SimChip::control(const UsbSetup& setup, std::uint8_t* data, unsigned timeoutMs) {
    if (!attached_)
        return {TransferError::NoDevice, 0};
    const int k = ++faults_.requestsSeen;

    LoggedRequest entry;
    const bool isStandard = ((setup.bmRequestType >> 5) & 3) == 0;
    entry.kind = isStandard && setup.bRequest == GET_DESCRIPTOR && (setup.wValue >> 8) == 1
                     ? LoggedRequest::Kind::Descriptor
                     : (isStandard ? LoggedRequest::Kind::Standard : LoggedRequest::Kind::Class);
    entry.bmRequestType = setup.bmRequestType;
    entry.bRequest = setup.bRequest;
    entry.wValue = setup.wValue;
    entry.wIndex = setup.wIndex;
    entry.wLength = setup.wLength;
    const bool out = (setup.bmRequestType & 0x80) == 0;
    if (out && setup.wLength && data)
        entry.data.assign(data, data + setup.wLength);

    Impl impl{*this, setup, data, timeoutMs, k};
    impl.spend(kTransferLatency);

    TransferResult r;
    if (faults_.failing.count(k)) {
        r = {TransferError::Io, 0};
    } else if (faults_.timingOut.count(k)) {
        r = {TransferError::Timeout, 0};
    } else if (isStandard) {
        r = impl.standard();
    } else if (((setup.bmRequestType >> 5) & 3) == 1 && (setup.bmRequestType & 0x1F) == 1) {
        r = impl.dfu();
    } else {
        r = impl.stall(false);
    }

    entry.ok = r.ok();
    if (!out && r.ok() && r.transferred > 0)
        entry.data.assign(data, data + r.transferred);
    if (log_.size() >= kMaxLog)
        log_.erase(log_.begin(), log_.begin() + kMaxLog / 2);
    log_.push_back(std::move(entry));

    if (faults_.vanishAfterRequest == k)
        attached_ = false;
    return r;
}

// ---------------------------------------------------------------------------
// Persistence.

bool SimChip::save(const std::filesystem::path& folder, std::string* error) const {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        if (error)
            *error = "cannot create " + folder.string() + ": " + ec.message();
        return false;
    }
    auto writeFile = [&](const std::filesystem::path& p, const std::string& bytes) {
        const auto tmp = p.string() + ".tmp";
        {
            std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
            f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!f.good())
                return false;
        }
        std::filesystem::rename(tmp, p, ec); // atomic for readers in other processes
        return !ec;
    };
    std::ostringstream t;
    t << "controller=" << config_.controller.variant().name << "\n"
      << "bsb=" << hex2(bytes_.BSB) << "\nsbv=" << hex2(bytes_.SBV) << "\np1cf=" << hex2(bytes_.P1_CF)
      << "\np3cf=" << hex2(bytes_.P3_CF) << "\np4cf=" << hex2(bytes_.P4_CF) << "\nssb=" << hex2(bytes_.SSB)
      << "\neb=" << hex2(bytes_.EB) << "\nhsb=" << hex2(bytes_.HSB) << "\nstate=" << int(state_)
      << "\nstatus=" << int(status_) << "\nattached=" << (attached_ ? 1 : 0)
      << "\nrunning=" << (appRunning_ ? 1 : 0) << "\nstart-mode=" << startMode_
      << "\nstart-address=" << startAddress_ << "\n";
    const bool ok = writeFile(folder / "flash.bin", std::string(flash_.begin(), flash_.end())) &&
                    writeFile(folder / "eeprom.bin", std::string(eeprom_.begin(), eeprom_.end())) &&
                    writeFile(folder / "chip.txt", t.str());
    if (!ok && error)
        *error = "cannot store the chip in " + folder.string();
    return ok;
}

bool SimChip::load(const std::filesystem::path& folder, std::string* error) {
    auto failWith = [&](const std::string& m) {
        if (error)
            *error = folder.string() + ": " + m;
        return false;
    };
    auto readFile = [](const std::filesystem::path& p, std::string& out) {
        std::ifstream f(p, std::ios::binary);
        if (!f)
            return false;
        std::ostringstream ss;
        ss << f.rdbuf();
        out = ss.str();
        return true;
    };
    std::string text, fl, ee;
    if (!readFile(folder / "chip.txt", text))
        return failWith("no chip.txt");
    if (!readFile(folder / "flash.bin", fl) || !readFile(folder / "eeprom.bin", ee))
        return failWith("memory files missing");
    const auto& variant = config_.controller.variant();
    if (fl.size() != variant.flashSize || ee.size() != eeprom_.size())
        return failWith("memory files do not fit a " + std::string(variant.name));

    ConfigBytes b = bytes_;
    int state = dfuIDLE, status = OK, attached = 1, running = 0, mode = -1;
    long address = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq), val = line.substr(eq + 1);
        try {
            auto byte = [&] { return static_cast<std::uint8_t>(std::stoul(val, nullptr, 16) & 0xFF); };
            if (key == "bsb")
                b.BSB = byte();
            else if (key == "sbv")
                b.SBV = byte();
            else if (key == "p1cf")
                b.P1_CF = byte();
            else if (key == "p3cf")
                b.P3_CF = byte();
            else if (key == "p4cf")
                b.P4_CF = byte();
            else if (key == "ssb")
                b.SSB = byte();
            else if (key == "eb")
                b.EB = byte();
            else if (key == "hsb")
                b.HSB = byte();
            else if (key == "state")
                state = std::stoi(val);
            else if (key == "status")
                status = std::stoi(val);
            else if (key == "attached")
                attached = std::stoi(val);
            else if (key == "running")
                running = std::stoi(val);
            else if (key == "start-mode")
                mode = std::stoi(val);
            else if (key == "start-address")
                address = std::stol(val);
        } catch (const std::exception&) {
            return failWith("bad value in chip.txt: " + line);
        }
    }
    bytes_ = b;
    flash_.assign(fl.begin(), fl.end());
    eeprom_.assign(ee.begin(), ee.end());
    // An interrupted transfer does not survive the host program: what remains
    // is the idle or error state.
    state_ = state == dfuERROR ? dfuERROR : dfuIDLE;
    status_ = state_ == dfuERROR ? static_cast<DfuStatus>(status & 0xFF) : OK;
    attached_ = attached != 0;
    appRunning_ = running != 0;
    startMode_ = mode;
    startAddress_ = static_cast<std::uint16_t>(address);
    answer_.clear();
    answerPos_ = 0;
    startPending_ = false;
    erasing_ = false;
    faults_.restartCount();
    return true;
}

} // namespace corvane::sim
