// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated chip's request dispatch: standard requests, the DFU class
// requests and their states, the erase in progress, the timing model and the
// request log. The command frames a download carries are in chip_commands.cpp.

#include "sim/chip_impl.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace corvane::sim {

namespace {

constexpr std::size_t kMaxLog = 20000; // oldest half is dropped beyond this

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

bool isStandard(const UsbSetup& s) {
    return ((s.bmRequestType >> 5) & 3) == 0;
}

bool isClassToInterface(const UsbSetup& s) {
    return ((s.bmRequestType >> 5) & 3) == 1 && (s.bmRequestType & 0x1F) == 1;
}

LoggedRequest logEntry(const UsbSetup& setup, const std::uint8_t* data) {
    LoggedRequest entry;
    entry.kind = isStandard(setup) && setup.bRequest == GET_DESCRIPTOR && (setup.wValue >> 8) == 1
                     ? LoggedRequest::Kind::Descriptor
                     : (isStandard(setup) ? LoggedRequest::Kind::Standard : LoggedRequest::Kind::Class);
    entry.bmRequestType = setup.bmRequestType;
    entry.bRequest = setup.bRequest;
    entry.wValue = setup.wValue;
    entry.wIndex = setup.wIndex;
    entry.wLength = setup.wLength;
    const bool out = (setup.bmRequestType & 0x80) == 0;
    if (out && setup.wLength && data)
        entry.data.assign(data, data + setup.wLength);
    return entry;
}

} // namespace

// ---------------------------------------------------------------------------
// Answers.

void SimChip::Impl::spend(std::chrono::microseconds d) {
    c.floor_ += d;
    if (realistic() && d.count() > 0)
        std::this_thread::sleep_for(d);
}

TransferResult SimChip::Impl::stall(bool enterError) {
    if (enterError && c.state_ != dfuERROR) {
        c.state_ = dfuERROR;
        c.status_ = errSTALLEDPKT;
    }
    return {TransferError::Stall, 0};
}

TransferResult SimChip::Impl::reply(const std::uint8_t* bytes, std::size_t n) {
    const std::size_t m = std::min<std::size_t>(n, s.wLength);
    if (m)
        std::memcpy(data, bytes, m);
    return done(static_cast<int>(m));
}

void SimChip::Impl::fail(DfuStatus st) {
    c.status_ = st;
    c.state_ = dfuERROR;
    c.answer_.clear();
    c.answerPos_ = 0;
}

void SimChip::Impl::succeed() {
    c.status_ = OK;
    c.state_ = dfuDNLOAD_SYNC;
}

// ---------------------------------------------------------------------------
// Standard requests.

TransferResult SimChip::Impl::descriptor() {
    const int type = s.wValue >> 8;
    if (type == 1) {
        if (c.faults_.failDescriptor)
            return {TransferError::Io, 0};
        const auto d = c.deviceDescriptor();
        return reply(d.data(), d.size());
    }
    if (type == 2 && (s.wValue & 0xFF) == 0) {
        const auto d = c.configurationDescriptor();
        return reply(d.data(), d.size());
    }
    if (type == 3 && (s.wValue & 0xFF) == 0) {
        const std::uint8_t langs[] = {4, 3, 0x09, 0x04};
        return reply(langs, sizeof langs);
    }
    return stall(false);
}

TransferResult SimChip::Impl::standard() {
    if (s.bmRequestType == 0x80 && s.bRequest == GET_DESCRIPTOR)
        return descriptor();
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

// ---------------------------------------------------------------------------
// DFU class requests.

TransferResult SimChip::Impl::dfu() {
    const bool in = (s.bmRequestType & 0x80) != 0;
    switch (s.bRequest) {
    case DFU_DNLOAD:
        return in ? stall(false) : download();
    case DFU_UPLOAD:
        return in ? upload() : stall(false);
    case DFU_GETSTATUS:
        return in ? getStatus() : stall(false);
    case DFU_CLRSTATUS:
        return in ? stall(false) : clearStatus();
    case DFU_GETSTATE: {
        if (!in)
            return stall(false);
        const std::uint8_t st = c.state_;
        return reply(&st, 1);
    }
    case DFU_ABORT:
        return in ? stall(false) : abort();
    default: // DFU_DETACH and unknown requests: the bootloader is already in DFU mode
        return stall(true);
    }
}

TransferResult SimChip::Impl::clearStatus() {
    if (c.state_ == dfuDNBUSY)
        return stall(false);
    c.status_ = OK;
    c.state_ = dfuIDLE;
    c.answer_.clear();
    c.answerPos_ = 0;
    c.startPending_ = false;
    return done(0);
}

TransferResult SimChip::Impl::abort() {
    if (c.state_ == dfuERROR || c.state_ == dfuDNBUSY)
        return stall(false);
    c.state_ = dfuIDLE;
    c.answer_.clear();
    c.answerPos_ = 0;
    c.startPending_ = false;
    return done(0);
}

// A new request during a chip erase: the blocking bootloader holds it until
// the erase has ended; true when the busy one must refuse it.
bool SimChip::Impl::busyWithErase() {
    if (!c.erasing_)
        return false;
    if (c.config_.eraseMode == EraseMode::BusyPolling)
        return true;
    if (realistic())
        std::this_thread::sleep_until(c.eraseEnds_);
    c.erasing_ = false;
    return false;
}

TransferResult SimChip::Impl::download() {
    if (c.state_ == dfuERROR)
        return stall(false);
    if (c.state_ == dfuDNBUSY || busyWithErase())
        return stall(true);
    c.answer_.clear();
    c.answerPos_ = 0;
    if (s.wLength == 0)
        return endOfDownload();
    command(data, s.wLength);
    return done(s.wLength);
}

// A zero-length download ends the download; after a start command the
// bootloader hands over to the application and leaves the bus.
TransferResult SimChip::Impl::endOfDownload() {
    if (!c.startPending_) {
        c.state_ = dfuIDLE;
        c.status_ = OK;
        return done(0);
    }
    c.startPending_ = false;
    c.state_ = dfuMANIFEST;
    c.attached_ = false;
    c.appRunning_ = true;
    // Gone before the status stage: the host's transfer does not complete.
    if (c.config_.leavesBeforeStatus)
        return {TransferError::Io, 0};
    return done(0);
}

TransferResult SimChip::Impl::upload() {
    if (busyWithErase())
        return stall(true);
    const bool pending = c.answerPos_ < c.answer_.size();
    // The address of a failed blank check is fetched while the chip is in
    // dfuERROR; every other upload needs an answer in a non-error state.
    if (!pending || (c.state_ == dfuERROR && c.status_ != errCHECK_ERASED) || c.state_ == dfuDNBUSY)
        return stall(c.state_ != dfuERROR);
    const std::size_t n =
        c.faults_.uploadLimit(k, std::min<std::size_t>(s.wLength, c.answer_.size() - c.answerPos_));
    if (n)
        std::memcpy(data, c.answer_.data() + c.answerPos_, n);
    c.answerPos_ += n;
    if (c.state_ != dfuERROR)
        c.state_ = c.answerPos_ < c.answer_.size() ? dfuUPLOAD_IDLE : dfuIDLE;
    return done(static_cast<int>(n));
}

// The erase's effect on a status request: the poll timeout to answer with.
// The blocking bootloader completes the request only when the erase has
// ended; the busy one answers errNOTDONE until then.
std::uint32_t SimChip::Impl::eraseProgress() {
    if (c.config_.eraseMode == EraseMode::Blocking) {
        if (realistic())
            std::this_thread::sleep_until(c.eraseEnds_);
        c.erasing_ = false;
        c.state_ = dfuDNLOAD_IDLE;
        return 0;
    }
    bool busy = false;
    std::uint32_t pollMs = 0;
    if (realistic()) {
        const auto left = c.eraseEnds_ - std::chrono::steady_clock::now();
        busy = left.count() > 0;
        if (busy)
            pollMs = static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    } else {
        busy = c.busyPollsLeft_-- > 0;
    }
    c.erasing_ = busy;
    c.status_ = busy ? errNOTDONE : OK;
    c.state_ = busy ? dfuDNBUSY : dfuDNLOAD_IDLE;
    return pollMs;
}

TransferResult SimChip::Impl::getStatus() {
    std::uint32_t pollMs = 0;
    if (const auto st = c.faults_.statusAt(k)) {
        if (*st != OK)
            fail(static_cast<DfuStatus>(*st));
        else
            c.status_ = OK;
    } else if (c.erasing_) {
        const bool blocking = c.config_.eraseMode == EraseMode::Blocking;
        if (blocking && realistic() && timeoutMs &&
            c.eraseEnds_ - std::chrono::steady_clock::now() > std::chrono::milliseconds(timeoutMs)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            return {TransferError::Timeout, 0};
        }
        pollMs = eraseProgress();
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

// ---------------------------------------------------------------------------
// The chip.

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
    LoggedRequest entry = logEntry(setup, data);

    Impl impl{*this, setup, data, timeoutMs, k};
    impl.spend(kTransferLatency);

    TransferResult r;
    if (const auto fault = faults_.transportFault(k))
        r = {*fault, 0};
    else if (isStandard(setup))
        r = impl.standard();
    else if (isClassToInterface(setup))
        r = impl.dfu();
    else
        r = impl.stall(false);

    entry.ok = r.ok();
    if ((setup.bmRequestType & 0x80) && r.ok() && r.transferred > 0)
        entry.data.assign(data, data + r.transferred);
    if (log_.size() >= kMaxLog)
        log_.erase(log_.begin(), log_.begin() + kMaxLog / 2);
    log_.push_back(std::move(entry));

    if (faults_.leavesAfter(k))
        attached_ = false;
    return r;
}

} // namespace corvane::sim
