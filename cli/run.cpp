// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run.h"

#include "cli/chip_board.h"
#include "cli/device_watch.h"
#include "cli/jobs.h"
#include "cli/json_report.h"
#include "cli/prefixed_stream.h"
#include "cli/serial_store.h"
#include "cli/station.h"
#include "cli/text_out.h"
#include "cli/tracing_link.h"
#include "core/local_text.h"
#include "image/image_file.h"

#include <QStringList>

#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

Failure fileFailure(const FileResult& r) {
    return r.problem == FileResult::Problem::Access ? Failure::FileAccess : Failure::FileContent;
}

// --- before any chip -------------------------------------------------------------

Outcome loadImages(const CommandLine& o, RunInput& in) {
    if (o.command != QLatin1String("write") && o.command != QLatin1String("verify"))
        return {};
    in.flash.assign(chipVariant(o.controllerIndex).flashSize, kErased);
    in.eeprom.assign(kEepromBytes, kErased);
    for (const auto& [name, image, with, defined, format] :
         {std::tuple{&o.flashFile, &in.flash, &in.withFlash, &in.flashDefined, o.firstFormat},
          std::tuple{&o.eepromFile, &in.eeprom, &in.withEeprom, &in.eepromDefined, o.secondFormat}}) {
        if (name->isEmpty())
            continue;
        const FileResult loaded = loadImageFile(*name, *image, {o.truncate, format}, defined);
        if (!loaded.ok())
            return Outcome::failed(fileFailure(loaded), loaded.message);
        *with = true;
    }
    if (in.flashDefined.empty() && in.withFlash)
        in.flashDefined = {{0, std::uint32_t(in.flash.size())}};
    if (in.eepromDefined.empty() && in.withEeprom)
        in.eepromDefined = {{0, std::uint32_t(in.eeprom.size())}};
    if (o.serial) {
        const bool eeprom = o.serial->place.memory == MEM_EEPROM;
        const TBuffer& image = eeprom ? in.eeprom : in.flash;
        const QString why = checkSerialPlace(*o.serial, image, image.size());
        if (!why.isEmpty())
            return Outcome::failed(Failure::Usage, why);
    }
    return {};
}

// Takes a serial number for each chip, before any chip is touched; a number
// that does not fit the serial's size takes none. Without a counter file the
// numbers follow the ones this run already handed out.
Outcome takeSerialNumbers(const CommandLine& o, std::size_t count, std::vector<std::uint64_t>& numbers,
                          std::uint64_t already = 0) {
    if (!o.serial || count == 0)
        return {};
    const SerialLayout& layout = *o.serial;
    auto usable = [&layout, count](std::uint64_t first) {
        QString error;
        if (first > UINT64_MAX - (count - 1) || !encodeSerial(first + (count - 1), layout, error))
            return error.isEmpty() ? QStringLiteral("the serial numbers run past the largest number") : error;
        return QString();
    };
    if (!o.serialLog.isEmpty()) {
        QString error;
        if (!openSerialLog(o.serialLog, error))
            return Outcome::failed(Failure::FileAccess, error);
    }
    if (layout.start > UINT64_MAX - already)
        return Outcome::failed(Failure::Usage,
                               QStringLiteral("the serial numbers run past the largest number"));
    std::uint64_t first = layout.start + already;
    if (!o.serialFile.isEmpty()) {
        QString error;
        SerialProblem problem = SerialProblem::None;
        const auto taken = takeSerials(o.serialFile, layout.start, count, error, usable, &problem);
        if (!taken)
            return Outcome::failed(problem == SerialProblem::Content    ? Failure::FileContent
                                   : problem == SerialProblem::Unusable ? Failure::Usage
                                                                        : Failure::FileAccess,
                                   error);
        first = *taken;
    } else if (const QString why = usable(first); !why.isEmpty()) {
        return Outcome::failed(Failure::Usage, why);
    }
    for (std::size_t i = 0; i < count; ++i)
        numbers.push_back(first + i);
    return {};
}

// --- the chips ---------------------------------------------------------------------

struct Shared {
    const CommandLine& options;
    const RunInput& input;
    LinkSource& links;
    const std::function<bool()>& stop;
    std::vector<std::uint64_t> serials;
    std::mutex errLock;
    std::unique_ptr<ChipBoard> board;
};

ChipReport runOneChip(Shared& shared, std::size_t index, int device, std::FILE* err,
                      TerminalProgress::Mode mode) {
    const CommandLine& o = shared.options;
    const auto start = Clock::now();
    TerminalProgress progress(err, mode);
    ChipContext context{device, progress, std::nullopt, o.flashFile, o.eepromFile};
    if (index < shared.serials.size())
        context.serial = shared.serials[index];
    if (o.severalDevices()) {
        context.flashFile = perDeviceName(o.flashFile, device);
        context.eepromFile = perDeviceName(o.eepromFile, device);
    }
    ChipReport report;
    try {
        const std::unique_ptr<DeviceLink> own = shared.links.newLink();
        std::unique_ptr<DeviceLink> traced;
        if (o.verbose)
            traced = std::make_unique<TracingLink>(*own, [&progress](const QString& t) { progress.note(t); });
        DeviceLink& link = traced ? *traced : *own;
        ChipSession session(link, SessionHooks{shared.stop, {}});
        report = runChipJob(shared.input, session, context);
        // A number taken has its row before the chip is let go.
        if (report.serial && !o.serialLog.isEmpty()) {
            const QString result =
                report.ok() ? QStringLiteral("ok") : QStringLiteral("failed: ") + report.outcome.message;
            QString error;
            if (!appendSerialLog(o.serialLog, device, *report.serial, result, error) && report.ok()) {
                report.outcome = Outcome::failed(Failure::FileAccess, error);
                progress.failed(QStringLiteral("corvane-cli: device %1: %2").arg(device).arg(error));
            }
        }
    } catch (const std::exception& e) {
        report.device = device;
        report.outcome = Outcome::failed(Failure::Internal, QString::fromLocal8Bit(e.what()));
        progress.failed(QStringLiteral("corvane-cli: device %1: %2").arg(device).arg(report.outcome.message));
    }
    report.seconds = secondsSince(start);
    return report;
}

void runChips(Shared& shared, const std::vector<int>& devices, std::FILE* err, RunReport& report) {
    const CommandLine& o = shared.options;
    report.chips.resize(devices.size());
    // list tells what it found on stdout, line by line.
    const bool list = o.command == QLatin1String("list");
    const TerminalProgress::Mode mode = TerminalProgress::modeFor(err, o.quiet || list);
    const bool several = o.severalDevices();
    // Several chips on a terminal: a line each, redrawn in place.
    if (several && mode == TerminalProgress::Mode::Bar && !devices.empty())
        shared.board = std::make_unique<ChipBoard>(err, devices);
    auto one = [&](std::size_t i) {
        std::unique_ptr<PrefixedStream> prefixed;
        std::FILE* to = err;
        if (shared.board) {
            to = shared.board->stream(i);
        } else if (several) {
            prefixed =
                std::make_unique<PrefixedStream>(err, std::to_string(devices[i]) + ": ", shared.errLock);
            to = prefixed->file();
        }
        report.chips[i] = runOneChip(shared, i, devices[i], to, mode);
    };
    if (!shared.links.concurrent()) {
        for (std::size_t i = 0; i < devices.size(); ++i)
            one(i);
        return;
    }
    std::vector<std::jthread> threads;
    for (std::size_t i = 1; i < devices.size(); ++i)
        threads.emplace_back(one, i);
    if (!devices.empty())
        one(0);
}

void printText(const CommandLine& o, const RunReport& report, std::FILE* out) {
    if (o.repeat) {
        write(out, stationTable(report));
        return;
    }
    const bool several = o.severalDevices();
    if (o.command == QLatin1String("list") && report.outcome.ok() && report.chips.empty())
        write(out, QStringLiteral("No bootloader is attached.\n"));
    for (const ChipReport& chip : report.chips) {
        if (o.command == QLatin1String("list")) {
            write(out, escapeControlChars(listLine(chip).chopped(1)) + QLatin1Char('\n'));
        } else if ((o.command == QLatin1String("info") || o.command == QLatin1String("config")) &&
                   chip.ok()) {
            QString text = o.command == QLatin1String("info") ? infoText(chip.bytes) : writtenText(chip);
            if (several)
                text = QStringLiteral("%1: ").arg(chip.device) +
                       text.trimmed().replace(QLatin1Char('\n'), QStringLiteral("\n%1: ").arg(chip.device)) +
                       QLatin1Char('\n');
            write(out, text);
        }
    }
    if (several && o.command != QLatin1String("list") && !report.chips.empty())
        write(out, summaryTable(report));
}

// Runs the chips the command line names (after waiting for them with --wait).
void runSelected(Shared& shared, DeviceWatch& watch, const std::function<void(const QString&)>& tell,
                 std::FILE* err, RunReport& report) {
    const CommandLine& options = shared.options;
    std::vector<SelectedDevice> selected;
    report.outcome = selectDevices(options, watch, tell, selected);
    std::vector<int> devices;
    devices.reserve(selected.size());
    for (const SelectedDevice& d : selected)
        devices.push_back(d.number);
    if (report.outcome.ok())
        report.outcome = takeSerialNumbers(options, devices.size(), shared.serials);
    if (!report.outcome.ok())
        return;
    runChips(shared, devices, err, report);
    for (std::size_t i = 0; i < selected.size(); ++i)
        report.chips[i].path = selected[i].path;
    // What answers is listed, bootloader or not: the list itself succeeded.
    if (options.command == QLatin1String("list")) {
        for (ChipReport& c : report.chips)
            c.listed = true;
    }
}

// A station: the boards one after another, each with its own serial number.
void runBoards(Shared& shared, DeviceWatch& watch, const std::function<void(const QString&)>& tell,
               std::FILE* err, std::FILE* lines, RunReport& report) {
    const CommandLine& o = shared.options;
    StationSteps steps;
    steps.takeSerial = [&o, &report](std::optional<std::uint64_t>& serial) {
        std::vector<std::uint64_t> numbers;
        const std::uint64_t already = report.chips.size();
        Outcome taken = takeSerialNumbers(o, 1, numbers, already);
        if (!numbers.empty())
            serial = numbers.front();
        return taken;
    };
    steps.runBoard = [&shared, err](int device, std::optional<std::uint64_t> serial) {
        shared.serials.clear();
        if (serial)
            shared.serials.push_back(*serial);
        return runOneChip(shared, 0, device, err, TerminalProgress::modeFor(err, shared.options.quiet));
    };
    steps.tell = tell;
    steps.lines = lines;
    runStation(o, watch, steps, shared.stop, report);
}

} // namespace

QString perDeviceName(const QString& fileName, int device) {
    if (fileName.isEmpty())
        return fileName;
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const bool extension = dot > slash + 1;
    const QString base = extension ? fileName.left(dot) : fileName;
    return base + QStringLiteral("-%1").arg(device) + (extension ? fileName.mid(dot) : QString());
}

RunReport runReport(const CommandLine& options, LinkSource& links, std::FILE* err,
                    const std::function<bool()>& stop, std::FILE* lines) {
    const auto start = Clock::now();
    RunReport report;
    report.command = options.command;
    RunInput input(options);
    report.outcome = loadImages(options, input);
    Shared shared{options, input, links, stop, {}, {}, {}};
    DeviceWatch watch(links, stop);
    TerminalProgress status(err, TerminalProgress::modeFor(err, options.quiet));
    const auto tell = [&status](const QString& text) { status.note(text); };
    if (report.outcome.ok() && options.repeat)
        runBoards(shared, watch, tell, err, lines ? lines : err, report);
    else if (report.outcome.ok())
        runSelected(shared, watch, tell, err, report);
    if (!report.outcome.ok())
        TerminalProgress(err, TerminalProgress::Mode::Quiet)
            .failed(QStringLiteral("corvane-cli: ") + report.outcome.message);
    report.seconds = secondsSince(start);
    return report;
}

int runDeviceCommand(const CommandLine& options, LinkSource& links, std::FILE* out, std::FILE* err,
                     const std::function<bool()>& stop) {
    // A station's line per board: on stdout, unless that holds the JSON document.
    const RunReport report = runReport(options, links, err, stop, options.json ? err : out);
    if (options.json)
        write(out, QString::fromUtf8(runJson(report)));
    else
        printText(options, report, out);
    return report.exitStatus();
}

} // namespace corvane::cli
