// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/line_run.h"

#include "cli/exit_status.h"
#include "cli/lines/chip_board.h"
#include "cli/lines/chip_runner.h"
#include "cli/lines/device_selection.h"
#include "cli/lines/flash_transfer.h"
#include "cli/lines/json_report.h"
#include "cli/lines/prefixed_stream.h"
#include "cli/lines/serial_store.h"
#include "cli/session.h"
#include "link/libusb_link.h"
#include "ops/hex_field.h"
#include "sim/bench.h"

#include <QFileInfo>

#include <chrono>
#include <filesystem>
#include <mutex>

namespace corvane::cli {

using lines::ChipReport;
using lines::DeviceOrder;
using lines::FlashPlan;
using lines::Range;
using lines::Verify;

namespace {

// --- links ----------------------------------------------------------------------

class SimulatedSource : public LinkSource {
public:
    explicit SimulatedSource(std::unique_ptr<sim::SimBench> bench) : bench_(std::move(bench)) {}
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<sim::SimLink>(*bench_); }

private:
    std::unique_ptr<sim::SimBench> bench_;
};

// A link that passes everything on to one that another owns.
class LentLink : public DeviceLink {
public:
    explicit LentLink(DeviceLink& to) : to_(to) {}
    bool open(int deviceNumber) override { return to_.open(deviceNumber); }
    bool isOpen() const override { return to_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return to_.getDeviceDescriptor(out); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return to_.classRequest(setup, data, length);
    }
    void close() override { to_.close(); }
    std::string lastError() const override { return to_.lastError(); }
    OpenFailure lastOpenFailure() const override { return to_.lastOpenFailure(); }
    RequestFailure lastRequestFailure() const override { return to_.lastRequestFailure(); }

private:
    DeviceLink& to_;
};

class BorrowedSource : public LinkSource {
public:
    explicit BorrowedSource(DeviceLink& link) : link_(link) {}
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<LentLink>(link_); }
    bool concurrent() const override { return false; }

private:
    DeviceLink& link_;
};

class UsbSource : public LinkSource {
public:
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<LibusbLink>(); }
};

// --- what the chips share ---------------------------------------------------------

struct Shared {
    Shared(const CommandLine& o, const lines::LineOptions& l, LinkSource& s, std::FILE* to, std::FILE* e)
        : options(o), line(l), links(s), out(to), err(e) {}

    const CommandLine& options;
    const lines::LineOptions& line;
    LinkSource& links;
    std::FILE* out;
    std::FILE* err;
    bool severalDevices = false;
    std::mutex outLock;
    std::mutex errLock;
    std::FILE* nowhere = nullptr; // stdout of a chip while JSON is printed
    // Several chips on a terminal: a line each, with its progress bar.
    std::unique_ptr<lines::ChipBoard> board;

    // write: the images loaded from the files
    TBuffer flash;
    TBuffer eeprom;
    bool withFlash = false;
    bool withEeprom = false;

    // Serial numbers without a counter file: the next one to hand out.
    std::mutex serialLock;
    std::uint64_t nextSerial = 0;
};

// A short name of the kind of failure, for the summary and JSON: the
// operations' kind where one is known, else the tool's by exit status.
QString kindName(ErrorKind kind, int status) {
    switch (kind) {
    case ErrorKind::None:
        break;
    case ErrorKind::NoDevice:
        return QStringLiteral("no-device");
    case ErrorKind::NotBootloader:
        return QStringLiteral("not-bootloader");
    case ErrorKind::AccessDenied:
        return QStringLiteral("access-denied");
    case ErrorKind::InUse:
        return QStringLiteral("in-use");
    case ErrorKind::Locked:
        return QStringLiteral("locked");
    case ErrorKind::TransferFailed:
        return QStringLiteral("transfer-failed");
    case ErrorKind::VerifyMismatch:
        return QStringLiteral("verify-mismatch");
    case ErrorKind::BadInput:
        return QStringLiteral("bad-input");
    case ErrorKind::Cancelled:
        return QStringLiteral("cancelled");
    }
    switch (status) {
    case ExitOk:
        return {};
    case ExitUsage:
        return QStringLiteral("usage");
    case ExitFileAccess:
        return QStringLiteral("file-access");
    case ExitFileContent:
        return QStringLiteral("file-content");
    case ExitNoDevice:
        return QStringLiteral("no-device");
    case ExitDeviceError:
        return QStringLiteral("transfer-failed");
    case ExitVerify:
        return QStringLiteral("verify-mismatch");
    default:
        return QStringLiteral("internal");
    }
}

QString messagesText(const TerminalView& view) {
    QStringList parts;
    for (const TerminalView::Message& m : view.messages()) {
        QString text = m.text;
        text.replace(QLatin1Char('\r'), QStringLiteral(" "));
        parts << m.caption + QStringLiteral(": ") + text;
    }
    return parts.join(QStringLiteral("; "));
}

QString withoutDollar(const QString& text) {
    return text.startsWith(QLatin1Char('$')) ? text.mid(1) : text;
}

// The identification and configuration bytes as the last read left them.
void takeDeviceInfo(ChipReport& report, const TOperations& ops) {
    const OpsControls& c = ops.Controls;
    if (c.text(Ctl::LabManufacturer) == QLatin1String("--"))
        return; // nothing was read
    report.identification = {
        {QStringLiteral("manufacturer"), c.text(Ctl::LabManufacturer)},
        {QStringLiteral("family"), c.text(Ctl::LabFamily)},
        {QStringLiteral("productName"), c.text(Ctl::LabProduct)},
        {QStringLiteral("productRevision"), c.text(Ctl::LabRevision)},
        {QStringLiteral("bootloaderVersion"), c.text(Ctl::LabBootVersion)},
    };
    report.configuration = {
        {QStringLiteral("HSB"), withoutDollar(formatHexValue(ops.HsbRead, 2))},
        {QStringLiteral("BSB"), withoutDollar(c.text(Ctl::EdBSB))},
        {QStringLiteral("SBV"), withoutDollar(c.text(Ctl::EdSBV))},
        {QStringLiteral("EB"), withoutDollar(c.text(Ctl::EdEB))},
        {QStringLiteral("P1_CF"), withoutDollar(c.text(Ctl::EdP1CF))},
        {QStringLiteral("P3_CF"), withoutDollar(c.text(Ctl::EdP3CF))},
        {QStringLiteral("P4_CF"), withoutDollar(c.text(Ctl::EdP4CF))},
        {QStringLiteral("securityLevel"), QString::number(ops.SecurityLevel)},
    };
}

// "flash.hex" becomes "flash-3.hex" for device 3.
QString perDeviceName(const QString& fileName, int device) {
    const QFileInfo info(fileName);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? fileName : fileName.left(fileName.size() - suffix.size() - 1);
    return base + QStringLiteral("-%1").arg(device) +
           (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- the write on one chip ----------------------------------------------------------

class ChipWrite {
public:
    ChipWrite(Shared& shared, Session& session, TerminalView& view, ChipReport& report)
        : shared_(shared), s_(session), view_(view), report_(report) {}

    int run(std::size_t index, DeviceOrder& order);
    ErrorKind kind() const { return kind_; }

private:
    // Shows the failure as the operations would and gives its exit status.
    int fail(const QString& caption, const QString& text, int status) {
        view_.showMessage(caption, text);
        return status;
    }
    int usbFailure(const QString& text, int status = ExitDeviceError) {
        fail(QString::fromLatin1(OpsText::kUsbErrorCaption), text, status);
        s_.hintController();
        return status;
    }
    // A block's transfer failed: refused by a locked chip, or a plain failure.
    int blockFailure(const char* text) {
        kind_ = s_.Ops.LockNote.isEmpty() ? ErrorKind::TransferFailed : ErrorKind::Locked;
        return usbFailure(QString::fromLatin1(text) + lockNote());
    }
    // Opens the channel and reads identification and configuration.
    int identify();
    int serialNumber(std::size_t index, DeviceOrder& order);
    int program();
    int verify();
    void status(const QString& text) { view_.setStatusText(text); }
    void progress(std::size_t done, std::size_t total) {
        bar_.setCompleted(int(done));
        (void)total;
        view_.progressChanged(bar_);
    }
    void startProgress(const QString& text, std::size_t total) {
        bar_.setTotal(int(total));
        bar_.setPercentageShown(true);
        status(text);
        view_.progressChanged(bar_);
    }
    QString lockNote() const { return s_.Ops.LockNote; }

    Shared& shared_;
    Session& s_;
    TerminalView& view_;
    ChipReport& report_;
    ProgressModel bar_;

    TBuffer flash_;
    TBuffer eeprom_;
    FlashPlan plan_;
    bool sparse_ = false;
    std::vector<Range> eepromRanges_;
    std::optional<std::uint64_t> serial_;
    ErrorKind kind_ = ErrorKind::None; // what ended the write, where the tool knows it
};

int ChipWrite::identify() {
    try {
        s_.Ops.ReadDeviceInfo(true);
    } catch (const OpFailure& e) {
        kind_ = e.result().kind;
        return usbFailure(e.result().message, exitStatusFor(kind_));
    }
    takeDeviceInfo(report_, s_.Ops);
    // Every byte must have come: a chip that does not answer some cannot be
    // told locked or not.
    if (!s_.Ops.FailedReads.isEmpty())
        return usbFailure(
            QStringLiteral("Can't read %1!").arg(s_.Ops.FailedReads.join(QStringLiteral(", "))));
    return s_.checkController();
}

int ChipWrite::serialNumber(std::size_t index, DeviceOrder& order) {
    const lines::SerialLayout& layout = *shared_.line.serial;
    // The next number goes to the next chip in device order.
    order.waitTurn(index);
    QString error;
    std::optional<std::uint64_t> number;
    if (!shared_.line.serialFile.isEmpty()) {
        number = lines::takeSerial(shared_.line.serialFile, layout.start, error);
    } else {
        std::lock_guard lock(shared_.serialLock);
        number = shared_.nextSerial++;
    }
    order.pass(index);
    if (!number)
        return fail(QStringLiteral("Serial-Error"), error, ExitFileAccess);
    const auto bytes = lines::encodeSerial(*number, layout, error);
    if (!bytes)
        return fail(QStringLiteral("Serial-Error"), error, ExitUsage);
    serial_ = number;
    report_.serial = number;
    lines::placeSerial(layout.place.memory == MEM_EEPROM ? eeprom_ : flash_, layout, *bytes);
    view_.note(QStringLiteral("Serial number %1").arg(*number));
    return ExitOk;
}

int ChipWrite::program() {
    const auto t0 = std::chrono::steady_clock::now();
    if (shared_.withFlash) {
        plan_ = sparse_ ? lines::sparsePlan(flash_) : lines::blockPlan(flash_, shared_.options.flashAll);
        s_.Images.FlashImage = flash_;
        if (!plan_.frames.empty()) {
            startProgress(QStringLiteral("Writing Flash-Memory..."), plan_.frames.size());
            const auto r = lines::programFrames(s_.Usb, MEM_FLASH, plan_.frames,
                                                [this](std::size_t d, std::size_t t) { progress(d, t); });
            if (!r.ok())
                return blockFailure("Flash-Memory Write Error!");
            report_.bytesWritten += plan_.bytesWritten();
        }
    }
    const bool serialInEeprom = shared_.line.serial && shared_.line.serial->place.memory == MEM_EEPROM;
    if (shared_.withEeprom) {
        eepromRanges_ = {{0, 256}, {256, 256}, {512, 256}, {768, 256}};
    } else if (serialInEeprom) {
        // Without an EEPROM file only the serial's own bytes are written.
        eepromRanges_ = {{shared_.line.serial->place.address, std::uint32_t(shared_.line.serial->size)}};
    }
    if (!eepromRanges_.empty()) {
        s_.Images.EepromImage = eeprom_;
        startProgress(QStringLiteral("Writing EEPROM..."), eepromRanges_.size());
        const auto r = lines::programFrames(s_.Usb, MEM_EEPROM, eepromRanges_,
                                            [this](std::size_t d, std::size_t t) { progress(d, t); });
        if (!r.ok())
            return blockFailure("EEPROM Write Error!");
        for (const Range& range : eepromRanges_)
            report_.bytesWritten += range.length;
    }
    report_.timings[QStringLiteral("write")] = secondsSince(t0);
    return ExitOk;
}

int ChipWrite::verify() {
    const auto t0 = std::chrono::steady_clock::now();
    report_.verify = Verify::NotReached;
    view_.note(QStringLiteral("Verifying..."));
    QStringList report;
    auto compare = [&report](const char* memory, const TBuffer& written, const TBuffer& read,
                             const std::vector<Range>& ranges) {
        Difference d;
        for (const Range& r : ranges) {
            for (std::uint32_t a = r.start; a < r.end(); ++a) {
                if (written[a] != read[a]) {
                    if (d.count == 0)
                        d.first = a;
                    ++d.count;
                }
            }
        }
        if (d.count > 0)
            report << QStringLiteral("%1 Verify Error!\rFirst difference at %2, %3 byte(s) differ")
                          .arg(QLatin1String(memory), formatHexValue(std::int64_t(d.first), 4))
                          .arg(d.count);
    };

    if (!plan_.frames.empty()) {
        TBuffer read(flash_.size(), kErased);
        if (!lines::readRanges(s_.Usb, MEM_FLASH, plan_.frames, read).ok())
            return blockFailure("Flash-Memory Read Error!");
        compare("Flash-Memory", flash_, read, plan_.frames);
    }
    // The pages left out must be blank: one blank check per range.
    for (const Range& r : plan_.blank) {
        const lines::BlankCheck check = lines::blankCheck(s_.Usb, r);
        if (check.firstUsed) {
            report << QStringLiteral("Flash-Memory Verify Error!\rNot blank at %1, in the pages left blank")
                          .arg(formatHexValue(*check.firstUsed, 4));
            break;
        }
        if (!check.blank())
            return blockFailure("Flash-Memory Read Error!");
    }
    if (!eepromRanges_.empty()) {
        TBuffer read(kEepromSize, kErased);
        if (!lines::readRanges(s_.Usb, MEM_EEPROM, eepromRanges_, read).ok())
            return blockFailure("EEPROM Read Error!");
        compare("EEPROM", eeprom_, read, eepromRanges_);
    }
    report_.timings[QStringLiteral("verify")] = secondsSince(t0);
    if (!report.isEmpty()) {
        report_.verify = Verify::Mismatch;
        kind_ = ErrorKind::VerifyMismatch;
        return fail(QStringLiteral("Verify-Error"), report.join(QLatin1Char('\r')), ExitVerify);
    }
    report_.verify = Verify::Passed;
    return ExitOk;
}

int ChipWrite::run(std::size_t index, DeviceOrder& order) {
    flash_ = shared_.flash;
    eeprom_ = shared_.eeprom;
    const bool erase = shared_.options.erase && shared_.withFlash;
    sparse_ = erase;

    struct Closer {
        TOperations& ops;
        ~Closer() { ops.CloseDevice(); }
    } closer{s_.Ops};

    if (const int r = identify())
        return r;
    if (erase) {
        const auto t0 = std::chrono::steady_clock::now();
        status(QStringLiteral("Erasing Device..."));
        if (s_.Usb.EraseChip() != 0) {
            kind_ = ErrorKind::TransferFailed;
            return usbFailure(QStringLiteral("Error erasing device!"));
        }
        // The erase clears the security byte: the chip is identified anew.
        s_.Ops.CloseDevice();
        if (const int r = identify())
            return r;
        report_.timings[QStringLiteral("erase")] = secondsSince(t0);
    } else if (shared_.withFlash && !shared_.options.flashAll) {
        // A chip whose FLASH is blank needs only the pages that hold data,
        // as after an erase: one blank check of the whole memory tells.
        const lines::BlankCheck check = lines::blankCheck(s_.Usb, {0, std::uint32_t(flash_.size())});
        if (!check.blank() && !check.firstUsed)
            return blockFailure("Flash-Memory Read Error!");
        sparse_ = check.blank();
    }
    if (shared_.line.serial) {
        if (const int r = serialNumber(index, order))
            return r;
    }
    if (const int r = program())
        return r;
    if (!shared_.options.verify)
        return ExitOk;
    return verify();
}

// --- one chip -----------------------------------------------------------------------

ChipReport runChip(Shared& shared, std::size_t index, int device, DeviceOrder& order) {
    ChipReport report;
    report.device = device;
    std::unique_ptr<lines::PrefixedStream> errStream, outStream;
    std::FILE* err = shared.err;
    std::FILE* out = shared.line.json ? shared.nowhere : shared.out;
    if (shared.severalDevices) {
        const std::string prefix = std::to_string(device) + ": ";
        if (!shared.board) {
            errStream = std::make_unique<lines::PrefixedStream>(shared.err, prefix, shared.errLock);
            err = errStream->file();
        }
        if (!shared.line.json) {
            outStream = std::make_unique<lines::PrefixedStream>(shared.out, prefix, shared.outLock);
            out = outStream->file();
        }
    }
    TerminalView::Mode mode = TerminalView::modeFor(err, shared.options.quiet);
    if (shared.board) {
        err = shared.board->stream(index);
        mode = TerminalView::Mode::Bar;
    }
    TerminalView view(err, mode);
    CommandLine options = shared.options;
    options.device = device;
    if (shared.severalDevices && options.command == QLatin1String("read")) {
        if (!options.flashFile.isEmpty())
            options.flashFile = perDeviceName(options.flashFile, device);
        if (!options.eepromFile.isEmpty())
            options.eepromFile = perDeviceName(options.eepromFile, device);
    }
    const std::unique_ptr<DeviceLink> link = shared.links.newLink();
    Session session(*link, view, out, options);

    const QString& c = options.command;
    int status = ExitOk;
    ErrorKind kind = ErrorKind::None;
    if (c == QLatin1String("write")) {
        ChipWrite write(shared, session, view, report);
        status = write.run(index, order);
        kind = write.kind();
    } else if (c == QLatin1String("info") || c == QLatin1String("list")) {
        status = session.info(); // with JSON its text goes nowhere
    } else if (c == QLatin1String("read")) {
        status = session.read();
    } else if (c == QLatin1String("erase")) {
        status = session.erase();
    } else if (c == QLatin1String("config")) {
        status = session.config();
    } else if (c == QLatin1String("run")) {
        status = session.run();
    }
    if (report.identification.empty())
        takeDeviceInfo(report, session.Ops);
    report.exitStatus = status;
    report.message = messagesText(view);
    if (c != QLatin1String("write"))
        kind = session.lastResult().kind;
    report.errorKind = status == ExitOk ? QString() : kindName(kind, status);

    if (report.serial && !shared.line.serialLog.isEmpty()) {
        const QString result =
            status == ExitOk ? QStringLiteral("ok") : QStringLiteral("failed: ") + report.message;
        QString error;
        if (!lines::appendSerialLog(shared.line.serialLog, device, *report.serial, result, error)) {
            view.showMessage(QStringLiteral("Serial-Error"), error);
            if (report.ok()) {
                report.exitStatus = ExitFileAccess;
                report.errorKind = kindName(ErrorKind::None, ExitFileAccess);
                report.message = messagesText(view);
            }
        }
    }
    return report;
}

// Loads the write's files once, before any chip is touched; ExitOk or the
// status for the file's failure (shown on err).
int loadFiles(Shared& shared) {
    const CommandLine& o = shared.options;
    TerminalView view(shared.err, TerminalView::modeFor(shared.err, o.quiet));
    const std::unique_ptr<DeviceLink> link = shared.links.newLink(); // never opened
    Session loader(*link, view, shared.nowhere, o);
    auto load = [&](const QString& name, MemKind kind) {
        const QFileInfo file(name);
        const bool present = file.exists() && !file.isDir();
        if (loader.Files.LoadFile(name, kind))
            return int(ExitOk);
        if (!present || view.messages().empty() ||
            view.messages().back().caption == QLatin1String("IO-Error"))
            return int(ExitFileAccess);
        return int(ExitFileContent);
    };
    shared.withFlash = !o.flashFile.isEmpty();
    shared.withEeprom = !o.eepromFile.isEmpty();
    if (shared.withFlash) {
        if (const int r = load(o.flashFile, MEM_FLASH))
            return r;
    }
    if (shared.withEeprom) {
        if (const int r = load(o.eepromFile, MEM_EEPROM))
            return r;
    }
    shared.flash = loader.Images.FlashImage;
    shared.eeprom = loader.Images.EepromImage;
    if (const auto& serial = shared.line.serial) {
        const bool eeprom = serial->place.memory == MEM_EEPROM;
        const TBuffer& image = eeprom ? shared.eeprom : shared.flash;
        const QString why = lines::checkSerialPlace(*serial, image, image.size());
        if (!why.isEmpty()) {
            view.showMessage(QStringLiteral("Serial-Error"), why);
            return ExitUsage;
        }
    }
    return ExitOk;
}

void printText(std::FILE* to, const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace

std::unique_ptr<LinkSource> LinkSource::simulated(const QString& folder) {
    std::unique_ptr<sim::SimBench> bench =
        folder.isEmpty() ? sim::SimBench::fromEnvironment()
                         : sim::SimBench::fromFolder(std::filesystem::path(folder.toStdString()));
    return std::make_unique<SimulatedSource>(std::move(bench));
}

std::unique_ptr<LinkSource> LinkSource::usb() {
    return std::make_unique<UsbSource>();
}

std::unique_ptr<LinkSource> LinkSource::borrowed(DeviceLink& link) {
    return std::make_unique<BorrowedSource>(link);
}

bool runsOnLines(const CommandLine& options, const lines::LineOptions& line) {
    return line.needsRunner() || (options.command == QLatin1String("write") && options.erase);
}

int runLines(const CommandLine& options, const lines::LineOptions& line, LinkSource& links, std::FILE* out,
             std::FILE* err) {
    Shared shared(options, line, links, out, err);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> nowhere(std::fopen("/dev/null", "w"), &std::fclose);
    if (!nowhere)
        return ExitInternal;
    shared.nowhere = nowhere.get();
    if (line.serial)
        shared.nextSerial = line.serial->start;

    const bool list = options.command == QLatin1String("list");
    std::vector<int> devices;
    if (list) {
        devices = {0, 1, 2, 3, 4, 5, 6, 7};
    } else if (line.all) {
        devices = lines::attachedBootloaders(*links.newLink());
    } else if (!line.devices.empty()) {
        devices = line.devices;
    } else {
        devices = {options.device};
    }
    shared.severalDevices = line.all || devices.size() > 1;
    // The board redraws lines above the cursor: only for commands that print
    // nothing on stdout meanwhile.
    const QString& c = options.command;
    const bool silent = c == QLatin1String("write") || c == QLatin1String("erase") ||
                        c == QLatin1String("read") || c == QLatin1String("run");
    if (shared.severalDevices && silent && !line.json && !options.quiet && !devices.empty() &&
        TerminalView::modeFor(err, false) == TerminalView::Mode::Bar)
        shared.board = std::make_unique<lines::ChipBoard>(err, devices);

    lines::RunSummary summary;
    int status = ExitOk;
    if (options.command == QLatin1String("write"))
        status = loadFiles(shared);
    if (status == ExitOk && devices.empty()) {
        TerminalView view(err, TerminalView::modeFor(err, options.quiet));
        view.showMessage(QString::fromLatin1(OpsText::kUsbErrorCaption),
                         QStringLiteral("USB-Device not found!"));
        status = ExitNoDevice;
    }
    if (status == ExitOk) {
        summary = lines::runChips(
            devices,
            [&shared](std::size_t index, int device, DeviceOrder& order) {
                return runChip(shared, index, device, order);
            },
            links.concurrent());
        if (list) {
            // The list names the numbers where something answers.
            std::erase_if(summary.chips, [](const ChipReport& c) {
                return c.message.contains(QStringLiteral("USB-Device not found!")) &&
                       !c.message.contains(QStringLiteral("denied"));
            });
            status = summary.chips.empty() ? int(ExitNoDevice) : int(ExitOk);
        } else {
            status = summary.exitStatus();
        }
    }

    if (line.json) {
        printText(out, lines::summaryJson(options.command, summary, status));
    } else if (shared.severalDevices && !summary.chips.empty()) {
        printText(out, lines::summaryTable(summary).toUtf8());
    }
    return status;
}

} // namespace corvane::cli
