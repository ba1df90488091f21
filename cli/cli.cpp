// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli.h"

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/session.h"
#include "cli/terminal_view.h"
#include "core/app_info.h"
#include "link/backends.h"

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
std::optional<int> parse(const QStringList& arguments, CommandLine& options, std::FILE* out, std::FILE* err) {
    QString error;
    switch (parseCommandLine(arguments, options, error)) {
    case ParseResult::Help:
        write(out, helpText());
        return ExitOk;
    case ParseResult::Version:
        write(out, titleText() + QLatin1Char('\n'));
        return ExitOk;
    case ParseResult::Error:
        write(err, QStringLiteral("corvane-cli: %1\nTry 'corvane-cli --help'.\n").arg(error));
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

} // namespace

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err) {
    CommandLine options;
    if (const auto status = parse(arguments, options, out, err))
        return *status;

    TerminalView view(err, TerminalView::modeFor(err, options.quiet));
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
    if (const auto status = parse(arguments, options, out, err))
        return *status;
    TerminalView view(err, TerminalView::modeFor(err, options.quiet));
    return dispatch(options, link, view, out);
}

} // namespace corvane::cli
