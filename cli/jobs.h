// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One chip's part of a command: every command, for one chip or many, runs
// through runChipJob() on the device engine. A job identifies the chip with
// the bytes its command needs, checks what must hold before the chip
// changes, and then does the command's steps; what it did lands in the
// chip's report.

#include "cli/options.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "core/address_range.h"
#include "image/memory_images.h"
#include "ops/chip_session.h"

#include <functional>
#include <optional>

namespace corvane::cli {

// What every chip of a run shares, prepared before any chip is touched.
struct RunInput {
    explicit RunInput(const CommandLine& o) : options(o) {}

    const CommandLine& options;
    // write: the images loaded from the files, sized for the controller.
    TBuffer flash;
    TBuffer eeprom;
    bool withFlash = false;
    bool withEeprom = false;
    // The bytes each file defines (a partial EEPROM write and verify keep to them).
    Ranges flashDefined;
    Ranges eepromDefined;
};

// One chip's place in the run.
struct ChipContext {
    int device = 0;
    ChipProgress& progress;
    // write: the serial number taken for this chip.
    std::optional<std::uint64_t> serial;
    // read: where each memory is saved (with several devices, per device).
    QString flashFile;
    QString eepromFile;
};

// Runs the command of in.options on the chip at context.device over the
// session, which it opens and leaves open; the report says what happened.
ChipReport runChipJob(const RunInput& in, ChipSession& session, ChipContext& context);

} // namespace corvane::cli
