// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/bench_control.h"
#include "cli/convert.h"
#include "cli/json_report.h"
#include "cli/link_source.h"
#include "cli/options.h"
#include "cli/run.h"
#include "cli/text_out.h"
#include "core/app_info.h"
#include "core/local_text.h"

#include <exception>
#include <memory>
#include <optional>

namespace corvane::cli {

namespace {

// A run that ends before any chip: its message on stderr, and with --json a
// document that says why.
int endEarly(const CommandLine& options, const Outcome& outcome, std::FILE* out, std::FILE* err) {
    write(err, QStringLiteral("corvane-cli: %1\n").arg(escapeControlChars(outcome.message)));
    if (outcome.failure == Failure::Usage && !options.json)
        write(err, QStringLiteral("Try 'corvane-cli --help'.\n"));
    if (options.json) {
        RunReport report;
        report.command = options.command;
        report.outcome = outcome;
        write(out, QString::fromUtf8(runJson(report)));
    }
    return outcome.exitStatus();
}

int run(const QStringList& arguments, std::FILE* out, std::FILE* err, DeviceLink* given,
        const std::function<bool()>& stop) {
    CommandLine options;
    QString error;
    switch (parseCommandLine(arguments, options, error)) {
    case ParseResult::Help:
        write(out, helpText());
        return ExitOk;
    case ParseResult::Version:
        write(out, titleText() + QLatin1Char('\n'));
        return ExitOk;
    case ParseResult::Error:
        return endEarly(options, Outcome::failed(Failure::Usage, error), out, err);
    case ParseResult::Run:
        break;
    }
    try {
        if (options.command == QLatin1String("convert"))
            return convertFiles(options, err);
        if (options.command == QLatin1String("bench"))
            return benchControl(options, out, err);
        std::unique_ptr<LinkSource> own;
        if (!given)
            own = options.simulate ? LinkSource::simulated(options.simFolder) : LinkSource::usb();
        const std::unique_ptr<LinkSource> borrowed = given ? LinkSource::borrowed(*given) : nullptr;
        return runDeviceCommand(options, given ? *borrowed : *own, out, err, stop);
    } catch (const std::exception& e) {
        return endEarly(options, Outcome::failed(Failure::Internal, QString::fromLocal8Bit(e.what())), out,
                        err);
    }
}

} // namespace

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err, const std::function<bool()>& stop) {
    return run(arguments, out, err, nullptr, stop);
}

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err, DeviceLink& link,
           const std::function<bool()>& stop) {
    return run(arguments, out, err, &link, stop);
}

} // namespace corvane::cli
