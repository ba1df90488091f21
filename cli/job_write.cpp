// SPDX-License-Identifier: GPL-3.0-or-later
// write on one chip: erase (asked), FLASH with the least work the chip's
// content allows, EEPROM, the serial number, and the verify of what was
// programmed.

#include "cli/job_steps.h"
#include "ops/write_planning.h"

namespace corvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

class WriteJob : public JobSteps {
public:
    using JobSteps::JobSteps;

    bool run() {
        if (!open() || !identify({ConfigId::ProductName, ConfigId::SSB}) || !checkController(true))
            return false;
        flash_ = in_.flash;
        eeprom_ = in_.eeprom;
        const bool erases = in_.withFlash && o_.erase;
        // A file that defines only part of EEPROM changes only that part: the
        // rest is read first, before anything on the chip changes.
        if (in_.withEeprom && !o_.eepromWhole && !definesAll(in_.eepromDefined, eeprom_.size())) {
            if (s_.bytes().securityLevel() < 2)
                return fail(
                    Failure::Locked,
                    QStringLiteral("the chip is locked (security level %1): its EEPROM cannot be read "
                                   "to keep the bytes the file does not define")
                        .arg(*s_.bytes().securityLevel()),
                    OpStep::ReadEeprom);
            if (!readEepromToMerge())
                return false;
        }
        placeSerial();
        if (erases) {
            if (!erase())
                return false;
        } else if (s_.bytes().locked()) {
            return fail(
                Failure::Locked,
                QStringLiteral("the chip is locked (security level %1): it takes no writes until it is "
                               "erased (write --erase, or erase)")
                    .arg(*s_.bytes().securityLevel()),
                OpStep::ProgramFlash);
        }
        if (in_.withFlash && !writeFlash(erases))
            return false;
        if (!writeEeprom())
            return false;
        if (!o_.verify)
            return true;
        return verify(erases);
    }

private:
    void placeSerial() {
        if (!o_.serial || !c_.serial)
            return;
        const SerialLayout& layout = *o_.serial;
        QString error;
        const auto bytes = encodeSerial(*c_.serial, layout, error);
        if (!bytes)
            return; // checked before any chip was touched
        cli::placeSerial(layout.place.memory == MEM_EEPROM ? eeprom_ : flash_, layout, *bytes);
        c_.progress.note(QStringLiteral("device %1: serial number %2").arg(c_.device).arg(*c_.serial));
    }

    bool program(MemKind memory, const Ranges& frames, const TBuffer& image) {
        if (frames.empty())
            return true;
        step(memory == MEM_FLASH ? QStringLiteral("Writing FLASH...") : QStringLiteral("Writing EEPROM..."));
        const auto t0 = Clock::now();
        const ProgramOutcome written = s_.program(memory, frames, image, progressHook());
        r_.bytesWritten += written.bytesWritten;
        timed("write", t0);
        return written.result.ok() || fail(written.result);
    }

    bool writeFlash(bool erased) {
        const FlashPlanOutcome planned = planFlashWrite(s_, flash_, erased, o_.flashAll);
        if (!planned.result.ok())
            return fail(planned.result);
        plan_ = planned.plan;
        return program(MEM_FLASH, plan_.frames, flash_);
    }

    static bool definesAll(const Ranges& defined, std::size_t size) {
        return defined.size() == 1 && defined.front() == Range{0, std::uint32_t(size)};
    }

    // What the chip holds in EEPROM, with the file's bytes over it.
    bool readEepromToMerge() {
        step(QStringLiteral("Reading EEPROM..."));
        chipEeprom_.assign(kEepromBytes, kErased);
        if (const OpResult read = s_.read(MEM_EEPROM, {{0, std::uint32_t(kEepromBytes)}}, chipEeprom_);
            !read.ok())
            return fail(read);
        TBuffer merged = chipEeprom_;
        for (const Range& r : in_.eepromDefined)
            std::copy(eeprom_.begin() + r.start, eeprom_.begin() + r.end(), merged.begin() + r.start);
        eeprom_ = std::move(merged);
        return true;
    }

    bool writeEeprom() {
        const bool serialThere = o_.serial && o_.serial->place.memory == MEM_EEPROM;
        if (!chipEeprom_.empty())
            // Only the pages where the merged image differs from the chip.
            eepromFrames_ = changedPages(eeprom_, chipEeprom_).frames;
        else if (in_.withEeprom)
            eepromFrames_ = pieces(0, std::uint32_t(eeprom_.size()), kMaxFrame);
        else if (serialThere && c_.serial)
            // Without an EEPROM file only the serial number's own bytes are written.
            eepromFrames_ = {{o_.serial->place.address, std::uint32_t(o_.serial->size)}};
        return program(MEM_EEPROM, eepromFrames_, eeprom_);
    }

    bool mismatch(MemKind memory, const VerifyOutcome& v) {
        r_.verify = Verify::Mismatch;
        r_.difference = v.difference;
        return fail(Failure::VerifyMismatch,
                    QStringLiteral("%1 differs from what was written at %2 (%3 byte(s) differ)")
                        .arg(memory == MEM_FLASH ? QStringLiteral("FLASH") : QStringLiteral("EEPROM"),
                             hex4(v.difference.first))
                        .arg(v.difference.count),
                    v.result.step);
    }

    bool verify(bool erased) {
        step(QStringLiteral("Verifying..."));
        const auto t0 = Clock::now();
        for (const auto& [memory, frames, image] : {std::tuple{MEM_FLASH, &plan_.frames, &flash_},
                                                    std::tuple{MEM_EEPROM, &eepromFrames_, &eeprom_}}) {
            if (frames->empty())
                continue;
            const VerifyOutcome v = s_.verify(memory, *frames, *image, progressHook());
            if (v.result.kind == ErrorKind::VerifyMismatch)
                return mismatch(memory, v);
            if (!v.result.ok())
                return fail(v.result);
        }
        // After an erase, the pages left out must be blank too.
        if (erased) {
            const OpResult blank = confirmBlank(s_, plan_.blank);
            if (blank.kind == ErrorKind::VerifyMismatch) {
                r_.verify = Verify::Mismatch;
                r_.difference = Difference{blank.address, 1};
                return fail(Failure::VerifyMismatch,
                            QStringLiteral("FLASH is not blank at %1, in the pages left blank")
                                .arg(hex4(blank.address)),
                            OpStep::VerifyFlash);
            }
            if (!blank.ok())
                return fail(blank);
        }
        timed("verify", t0);
        r_.verify = Verify::Passed;
        return true;
    }

    TBuffer flash_;
    TBuffer eeprom_;
    WritePlan plan_;
    Ranges eepromFrames_;
    TBuffer chipEeprom_; // what the chip held, when the file defines only part of EEPROM
};

} // namespace

bool runWriteJob(const RunInput& in, ChipSession& session, ChipContext& context, ChipReport& report) {
    return WriteJob(in, session, context, report).run();
}

} // namespace corvane::cli
