// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/bench_control.h"

#include "cli/outcome.h"
#include "cli/text_out.h"
#include "core/local_text.h"
#include "sim/bench.h"

#include <filesystem>
#include <memory>

namespace corvane::cli {

int benchControl(const CommandLine& options, std::FILE* out, std::FILE* err) {
    const std::unique_ptr<sim::SimBench> bench = options.simFolder.isEmpty()
                                                     ? sim::SimBench::fromEnvironment()
                                                     : sim::SimBench::fromFolder(std::filesystem::path(
                                                           encodeFileName(options.simFolder).toStdString()));
    const bool attach = options.arguments.first() == QLatin1String("attach");
    const int slot = options.arguments.last().toInt();
    if (!bench->chip(slot)) {
        write(err,
              QStringLiteral("corvane-cli: %1; a socket takes boards where the bench file names a chip\n")
                  .arg(QString::fromStdString(bench->vacancy(slot))));
        return exitStatusFor(Failure::NoDevice);
    }
    switch (attach ? bench->plugBoard(slot) : bench->unplugBoard(slot)) {
    case sim::SimBench::Claim::Granted:
        break;
    case sim::SimBench::Claim::Busy:
        write(err, QStringLiteral("corvane-cli: simulated slot %1 is in use by another program; its board "
                                  "stays as it is\n")
                       .arg(slot));
        return exitStatusFor(Failure::InUse);
    case sim::SimBench::Claim::Failed:
        write(err, QStringLiteral("corvane-cli: %1\n").arg(QString::fromStdString(bench->lastError())));
        return exitStatusFor(Failure::FileAccess);
    }
    if (!options.quiet) {
        const std::string path = busPortPath(sim::SimBench::position(slot, bench->chip(slot)->config()));
        write(out, attach ? QStringLiteral("Slot %1: a new board is attached at %2.\n")
                                .arg(slot)
                                .arg(QString::fromStdString(path))
                          : QStringLiteral("Slot %1: the board is removed from %2.\n")
                                .arg(slot)
                                .arg(QString::fromStdString(path)));
    }
    return ExitOk;
}

} // namespace corvane::cli
