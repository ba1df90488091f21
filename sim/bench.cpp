// SPDX-License-Identifier: GPL-3.0-or-later
// The bench of eight slots: its state folder, the claims that give a slot to
// one link at a time, and the stores that keep only what a process changed.

#include "sim/bench.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace corvane::sim {

namespace {

std::filesystem::path defaultStateDir() {
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s)
        return std::filesystem::path(s) / "corvane-sim";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::filesystem::path(h) / ".local" / "state" / "corvane-sim";
    return std::filesystem::temp_directory_path() / "corvane-sim";
}

// An flock held for one read or store of a slot's files: shared for reads,
// exclusive for stores, so no reader sees half of a store.
class FileLock {
public:
    FileLock(const std::filesystem::path& file, int how) {
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ >= 0) {
            while (::flock(fd_, how) != 0 && errno == EINTR) {
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0)
            ::close(fd_); // drops the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace

SimBench::SimBench() = default;

SimBench::SimBench(std::filesystem::path stateDir, const BenchConfig& config)
    : foreign_(config.foreign), stateDir_(std::move(stateDir)) {
    if (config.chips.empty() && !config.file.empty())
        emptyNote_ = "the bench file " + config.file.string() + " defines no chip";
    for (const auto& [n, chipConfig] : config.chips) {
        if (n < 0 || n >= kSlots)
            continue;
        Slot& slot = slots_[std::size_t(n)];
        slot.chip = std::make_unique<SimChip>(chipConfig);
        slot.chip->setAttached(chipConfig.startsAttached);
        if (const auto f = config.faults.find(n); f != config.faults.end())
            slot.chip->faults() = f->second;
        if (!persistent())
            continue;
        std::string err;
        std::optional<StoredChip> disk;
        {
            const FileLock lock(lockFile(n, "store"), LOCK_SH);
            disk = StoredChip::read(slotDir(n), &err);
        }
        if (!err.empty())
            throw std::runtime_error(err);
        if (!disk)
            continue;
        switch (slot.chip->restore(*disk, slotDir(n), &err)) {
        case RestoreError::None:
            slot.onDisk = disk;
            slot.base = slot.chip->stored();
            break;
        case RestoreError::Garbage:
            throw std::runtime_error(err);
        case RestoreError::DoesNotFit:
            slot.refusal = "simulated slot " + std::to_string(n) + " is refused: " + err;
            slot.chip.reset();
            break;
        }
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
    return std::make_unique<SimBench>(stateDir, readBenchSetUp(stateDir, configFile));
}

SimBench::~SimBench() {
    for (int n = 0; n < kSlots; ++n) {
        store(n);
        const std::lock_guard lock(claims_);
        if (slots_[std::size_t(n)].claimFd >= 0)
            ::close(slots_[std::size_t(n)].claimFd);
    }
}

SimChip& SimBench::insert(int slot, ChipConfig config) {
    if (slot < 0 || slot >= kSlots)
        throw std::out_of_range("bench slots are 0 to 7");
    Slot& s = slots_[std::size_t(slot)];
    s.chip = std::make_unique<SimChip>(std::move(config));
    s.refusal.clear();
    store(slot, true);
    return *s.chip;
}

SimChip* SimBench::chip(int slot) {
    return slot >= 0 && slot < kSlots ? slots_[std::size_t(slot)].chip.get() : nullptr;
}

const SimChip* SimBench::chip(int slot) const {
    return slot >= 0 && slot < kSlots ? slots_[std::size_t(slot)].chip.get() : nullptr;
}

void SimBench::remove(int slot) {
    if (slot < 0 || slot >= kSlots)
        return;
    Slot& s = slots_[std::size_t(slot)];
    s.chip.reset();
    s.onDisk.reset();
    s.base.reset();
    if (persistent()) {
        const FileLock lock(lockFile(slot, "store"), LOCK_EX);
        std::error_code ec;
        std::filesystem::remove_all(slotDir(slot), ec);
    }
}

std::string SimBench::vacancy(int slot) const {
    if (slot < 0 || slot >= kSlots)
        return "no device number " + std::to_string(slot) + " on the simulated bench";
    const Slot& s = slots_[std::size_t(slot)];
    if (s.chip)
        return {};
    if (!s.refusal.empty())
        return s.refusal;
    const std::string empty = "simulated slot " + std::to_string(slot) + " is empty";
    return emptyNote_.empty() ? empty : empty + ": " + emptyNote_;
}

std::vector<std::string> SimBench::warnings() const {
    std::vector<std::string> out;
    for (const Slot& s : slots_) {
        if (!s.refusal.empty())
            out.push_back(s.refusal);
    }
    if (!emptyNote_.empty())
        out.push_back(emptyNote_);
    return out;
}

std::filesystem::path SimBench::slotDir(int slot) const {
    return stateDir_ / ("slot-" + std::to_string(slot));
}

std::filesystem::path SimBench::lockFile(int slot, const char* kind) const {
    return stateDir_ / ".locks" / ("slot-" + std::to_string(slot) + "." + kind);
}

void SimBench::note(const std::string& error) {
    const std::lock_guard lock(errorLock_);
    error_ = error;
}

std::string SimBench::lastError() const {
    const std::lock_guard lock(errorLock_);
    return error_;
}

// --- claims ----------------------------------------------------------------------

SimBench::Claim SimBench::claim(int slot) {
    if (!chip(slot)) {
        note(vacancy(slot));
        return Claim::Failed;
    }
    Slot& s = slots_[std::size_t(slot)];
    {
        const std::lock_guard lock(claims_);
        if (s.claimed)
            return Claim::Busy;
        if (persistent()) {
            // The claim file stays locked as long as the claim: another
            // process, or another open file of this one, is refused meanwhile.
            std::error_code ec;
            std::filesystem::create_directories(stateDir_ / ".locks", ec);
            const int fd = ::open(lockFile(slot, "claim").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) {
                note(lockFile(slot, "claim").string() + ": " + std::strerror(errno));
                return Claim::Failed;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const bool busy = errno == EWOULDBLOCK;
                ::close(fd);
                return busy ? Claim::Busy : Claim::Failed;
            }
            s.claimFd = fd;
        }
        s.claimed = true;
    }
    if (!refresh(slot)) {
        const std::lock_guard lock(claims_);
        if (s.claimFd >= 0)
            ::close(s.claimFd);
        s.claimFd = -1;
        s.claimed = false;
        return Claim::Failed;
    }
    return Claim::Granted;
}

void SimBench::release(int slot) {
    if (!claimedHere(slot))
        return;
    store(slot);
    Slot& s = slots_[std::size_t(slot)];
    const std::lock_guard lock(claims_);
    if (s.claimFd >= 0)
        ::close(s.claimFd);
    s.claimFd = -1;
    s.claimed = false;
}

bool SimBench::claimedHere(int slot) const {
    if (slot < 0 || slot >= kSlots)
        return false;
    const std::lock_guard lock(claims_);
    return slots_[std::size_t(slot)].claimed;
}

TransferResult SimBench::control(int slot, const UsbSetup& setup, std::uint8_t* data, unsigned timeoutMs) {
    if (slot < 0 || slot >= kSlots)
        return {TransferError::NoDevice, 0};
    Slot& s = slots_[std::size_t(slot)];
    const std::lock_guard lock(s.serve);
    if (!s.chip)
        return {TransferError::NoDevice, 0};
    return s.chip->control(setup, data, timeoutMs);
}

// --- the bus and the bench control -------------------------------------------------

AttachedDevice SimBench::position(int slot, const ChipConfig& config) {
    AttachedDevice d;
    d.number = slot;
    d.bus = config.bus ? config.bus : 1;
    d.ports = config.bus ? config.ports : std::vector<std::uint8_t>{static_cast<std::uint8_t>(slot + 1)};
    d.address = static_cast<std::uint8_t>(10 + slot);
    d.vendorId = config.vendorId;
    d.productId = config.productId;
    return d;
}

std::vector<AttachedDevice> SimBench::attachedBoards() {
    std::vector<AttachedDevice> out;
    for (int slot = 0; slot < kSlots; ++slot) {
        reload(slot);
        if (const SimChip* c = chip(slot); c && c->attached())
            out.push_back(position(slot, c->config()));
    }
    return out;
}

SimBench::Claim SimBench::changeBoard(int slot, bool plug) {
    // The claim tells that no link holds the slot, and takes what was stored
    // last; the change is stored after it is given back, so that a program
    // that sees the new board at once finds the slot free.
    if (const Claim c = claim(slot); c != Claim::Granted)
        return c;
    release(slot);
    Slot& s = slots_[std::size_t(slot)];
    {
        const std::lock_guard serve(s.serve);
        if (plug) {
            // A new board: the slot's set-up and faults, nothing of the last one.
            FaultPlan plan = s.chip->faults();
            plan.restartCount();
            *s.chip = SimChip(s.chip->config());
            s.chip->faults() = plan;
        }
        s.chip->setAttached(plug);
    }
    return !persistent() || store(slot) ? Claim::Granted : Claim::Failed;
}

SimBench::Claim SimBench::plugBoard(int slot) {
    return changeBoard(slot, true);
}

SimBench::Claim SimBench::unplugBoard(int slot) {
    return changeBoard(slot, false);
}

// --- stores ------------------------------------------------------------------------

bool SimBench::reload(int slot) {
    // A slot claimed here changes only here: nothing to take.
    return claimedHere(slot) || refresh(slot);
}

bool SimBench::refresh(int slot) {
    if (!persistent() || !chip(slot))
        return true;
    Slot& s = slots_[std::size_t(slot)];
    const std::lock_guard serve(s.serve);
    std::string err;
    std::optional<StoredChip> disk;
    {
        const FileLock lock(lockFile(slot, "store"), LOCK_SH);
        disk = StoredChip::read(slotDir(slot), &err);
    }
    if (!err.empty()) {
        note(err);
        return false;
    }
    if (!disk || disk == s.onDisk)
        return true; // nothing stored, or nothing new: the chip here is current
    // The fault plan and its count belong to this process's set-up.
    const FaultPlan plan = s.chip->faults();
    const RestoreError r = s.chip->restore(*disk, slotDir(slot), &err);
    s.chip->faults() = plan;
    if (r != RestoreError::None) {
        note(err);
        return false;
    }
    s.onDisk = std::move(disk);
    s.base = s.chip->stored();
    return true;
}

bool SimBench::store(int slot, bool force) {
    if (!persistent() || !chip(slot))
        return false;
    Slot& s = slots_[std::size_t(slot)];
    const std::lock_guard serve(s.serve);
    StoredChip now = s.chip->stored();
    if (!force && s.base && now == *s.base)
        return true; // unchanged here
    const FileLock lock(lockFile(slot, "store"), LOCK_EX);
    std::string err;
    if (!force && !claimedHere(slot)) {
        // Outside a claim another process may have stored the slot since:
        // its state is newer and stays.
        const std::optional<StoredChip> disk = StoredChip::read(slotDir(slot), &err);
        if (err.empty() && disk != s.onDisk) {
            note("simulated slot " + std::to_string(slot) +
                 " was stored by another program meanwhile; its "
                 "state is kept and the changes made here are dropped");
            return false;
        }
    }
    if (!now.write(slotDir(slot), &err)) {
        note(err);
        return false;
    }
    s.onDisk = now;
    s.base = std::move(now);
    return true;
}

bool SimBench::save(int slot) {
    return store(slot);
}

void SimBench::saveAll() {
    for (int slot = 0; slot < kSlots; ++slot)
        store(slot);
}

} // namespace corvane::sim
