// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/line_run.h"
#include "cli/lines/line_options.h"
#include "cli/session.h"
#include "cli/terminal_view.h"
#include "core/app_info.h"
#include "core/local_text.h"
#include "sim/backends.h"

#include <exception>
#include <memory>
#include <optional>

namespace corvane::cli {

namespace {

void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace

namespace {

// Parses the arguments; answers help, version and usage errors itself.
std::optional<int> parse(const QStringList& arguments, CommandLine& options, lines::LineOptions& line,
                         std::FILE* out, std::FILE* err) {
    QString error;
    // The options for several devices and production lines come out first.
    QStringList ordinary = arguments;
    ParseResult parsed = ParseResult::Error;
    if (lines::extractLineOptions(ordinary, line, error))
        parsed = parseCommandLine(ordinary, options, error);
    if (parsed == ParseResult::Run) {
        error = lines::checkLineOptions(line, options.command, !options.flashFile.isEmpty(),
                                        !options.eepromFile.isEmpty());
        if (!error.isEmpty())
            parsed = ParseResult::Error;
    }
    switch (parsed) {
    case ParseResult::Help:
        write(out, helpText() + lines::lineHelpText());
        return ExitOk;
    case ParseResult::Version:
        write(out, titleText() + QLatin1Char('\n'));
        return ExitOk;
    case ParseResult::Error:
        write(err,
              QStringLiteral("corvane-cli: %1\nTry 'corvane-cli --help'.\n").arg(escapeControlChars(error)));
        return ExitUsage;
    case ParseResult::Run:
        break;
    }
    return std::nullopt;
}

int dispatch(const CommandLine& options, DeviceLink& link, TerminalView& view, std::FILE* out) {
    try {
        Session session(link, view, out, options);
        return (session.*findCommand(options.command)->run)();
    } catch (const std::exception& e) {
        view.showMessage(titleText(), generalErrorText(QString::fromStdString(e.what())));
        return ExitInternal;
    }
}

int runOnLines(const CommandLine& options, const lines::LineOptions& line, LinkSource* given, std::FILE* out,
               std::FILE* err, TerminalView& view) {
    try {
        std::unique_ptr<LinkSource> own;
        if (!given)
            own = options.simulate ? LinkSource::simulated(options.simFolder) : LinkSource::usb();
        return runLines(options, line, given ? *given : *own, out, err);
    } catch (const std::exception& e) {
        view.showMessage(titleText(), generalErrorText(QString::fromStdString(e.what())));
        return ExitInternal;
    }
}

} // namespace

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    CommandLine options;
    lines::LineOptions line;
    if (const auto status = parse(arguments, options, line, out, err))
        return *status;

    TerminalView view(err, TerminalView::modeFor(err, options.quiet));
    if (runsOnLines(options, line))
        return runOnLines(options, line, nullptr, out, err, view);
    std::unique_ptr<DeviceLink> link;
    const bool convert = options.command == QLatin1String("convert");
    try {
        // convert needs no device; its link is never opened.
        link = makeDeviceLink(options.simulate && !convert, options.simFolder.toStdString());
    } catch (const std::exception& e) {
        view.showMessage(QStringLiteral("Simulated bench"), QString::fromStdString(e.what()));
        return ExitDeviceError;
    }
    return dispatch(options, *link, view, out);
}

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err, DeviceLink& link) {
    CommandLine options;
    lines::LineOptions line;
    if (const auto status = parse(arguments, options, line, out, err))
        return *status;
    TerminalView view(err, TerminalView::modeFor(err, options.quiet));
    if (runsOnLines(options, line)) {
        const std::unique_ptr<LinkSource> one = LinkSource::borrowed(link);
        return runOnLines(options, line, one.get(), out, err, view);
    }
    return dispatch(options, link, view, out);
}

} // namespace corvane::cli
