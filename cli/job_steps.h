// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every chip job does the same way: opening and identifying the chip,
// checking its type, turning an engine result into the chip's outcome, and
// showing progress.

#include "cli/jobs.h"

#include <chrono>
#include <initializer_list>

namespace corvane::cli {

class JobSteps {
public:
    JobSteps(const RunInput& in, ChipSession& session, ChipContext& context, ChipReport& report)
        : in_(in), o_(in.options), s_(session), c_(context), r_(report) {}

protected:
    // Opens the chip and checks that its bootloader answers.
    bool open();
    // Reads these bytes, in order; each is in the report's bytes afterwards.
    bool identify(std::initializer_list<ConfigId> ids);
    // The chip must be of the type the run assumes: the one --controller
    // names, or, for a command whose memory sizes depend on it, the default
    // one. --force goes on with a note. Needs the product byte read.
    bool checkController(bool sizesMatter);
    // The product byte too, where the type must be checked.
    bool needsProductByte(bool sizesMatter) const { return sizesMatter || o_.controllerGiven; }
    // Ends the job with an engine result that failed.
    bool fail(const OpResult& result);
    bool fail(Failure failure, const QString& message, OpStep step = OpStep::None);
    void step(const QString& text) { c_.progress.step(text); }
    BlockHook progressHook() {
        return [this](std::size_t i, std::size_t n) { c_.progress.progress(i, n); };
    }
    std::size_t flashSize() const { return chipVariant(o_.controllerIndex).flashSize; }
    // Erases the chip and reads again what the erase reset (the security byte).
    bool erase();
    // Adds the seconds since start to the step's timing.
    void timed(const char* name, std::chrono::steady_clock::time_point start);

    const RunInput& in_;
    const CommandLine& o_;
    ChipSession& s_;
    ChipContext& c_;
    ChipReport& r_;
};

} // namespace corvane::cli
