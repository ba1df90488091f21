// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run.h"

#include "cli/chip_board.h"
#include "cli/jobs.h"
#include "cli/json_report.h"
#include "cli/prefixed_stream.h"
#include "cli/serial_store.h"
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
    if (o.command != QLatin1String("write"))
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
// that does not fit the serial's size takes none.
Outcome takeSerialNumbers(const CommandLine& o, std::size_t count, std::vector<std::uint64_t>& numbers) {
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
    std::uint64_t first = layout.start;
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

// The devices where a bootloader is attached: it answers, or the system
// refuses this user or another program holds it (so that its failure shows).
std::vector<int> attachedBootloaders(LinkSource& links) {
    const std::unique_ptr<DeviceLink> link = links.newLink();
    ChipSession session(*link);
    std::vector<int> found;
    for (int n = 0; n < kDeviceCount; ++n) {
        const ErrorKind kind = session.open(n).kind;
        if (kind == ErrorKind::None || kind == ErrorKind::AccessDenied || kind == ErrorKind::InUse)
            found.push_back(n);
        session.close();
    }
    return found;
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

void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

void printText(const CommandLine& o, const RunReport& report, std::FILE* out) {
    const bool several = o.severalDevices();
    for (const ChipReport& chip : report.chips) {
        if (o.command == QLatin1String("list")) {
            if (chip.outcome.failure != Failure::NoDevice)
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
                    const std::function<bool()>& stop) {
    const auto start = Clock::now();
    RunReport report;
    report.command = options.command;
    RunInput input(options);
    report.outcome = loadImages(options, input);
    std::vector<int> devices;
    if (report.outcome.ok()) {
        if (options.command == QLatin1String("list"))
            devices = {0, 1, 2, 3, 4, 5, 6, 7};
        else
            devices = options.all ? attachedBootloaders(links) : options.devices;
        if (devices.empty())
            report.outcome = Outcome::failed(Failure::NoDevice, QStringLiteral("no bootloader is attached"));
    }
    Shared shared{options, input, links, stop, {}, {}, {}};
    if (report.outcome.ok())
        report.outcome = takeSerialNumbers(options, devices.size(), shared.serials);
    if (report.outcome.ok())
        runChips(shared, devices, err, report);
    else
        TerminalProgress(err, TerminalProgress::Mode::Quiet)
            .failed(QStringLiteral("corvane-cli: ") + report.outcome.message);
    if (options.command == QLatin1String("list") && report.outcome.ok()) {
        const bool any = std::any_of(report.chips.begin(), report.chips.end(), [](const ChipReport& c) {
            return c.outcome.failure != Failure::NoDevice;
        });
        std::erase_if(report.chips,
                      [](const ChipReport& c) { return c.outcome.failure == Failure::NoDevice; });
        // What answers is listed, bootloader or not: the list itself succeeded.
        for (ChipReport& c : report.chips)
            c.listed = true;
        if (!any) {
            report.outcome = Outcome::failed(Failure::NoDevice,
                                             QStringLiteral("no bootloader answers at any device number"));
            TerminalProgress(err, TerminalProgress::Mode::Quiet)
                .failed(QStringLiteral("corvane-cli: ") + report.outcome.message);
        }
    }
    report.seconds = secondsSince(start);
    return report;
}

int runDeviceCommand(const CommandLine& options, LinkSource& links, std::FILE* out, std::FILE* err,
                     const std::function<bool()>& stop) {
    const RunReport report = runReport(options, links, err, stop);
    if (options.json)
        write(out, QString::fromUtf8(runJson(report)));
    else
        printText(options, report, out);
    return report.exitStatus();
}

} // namespace corvane::cli
