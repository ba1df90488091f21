// SPDX-License-Identifier: GPL-3.0-or-later
// The chip jobs of every command but write (job_write.cpp), and what they
// share.

#include "cli/job_steps.h"
#include "image/image_file.h"

#include <algorithm>

namespace corvane::cli {

// --- shared steps -----------------------------------------------------------

bool JobSteps::fail(Failure failure, const QString& message, OpStep step) {
    r_.outcome = Outcome::failed(failure, message, step);
    // list tells what it found on stdout.
    if (o_.command != QLatin1String("list"))
        c_.progress.failed(QStringLiteral("corvane-cli: device %1: %2").arg(c_.device).arg(message));
    return false;
}

bool JobSteps::fail(const OpResult& result) {
    QString text = resultText(result, c_.device, s_.vendorId(), s_.productId());
    if (result.kind == ErrorKind::TransferFailed && result.step == OpStep::Identify && !r_.bootloaderFound)
        text = QStringLiteral("reading the device descriptor failed") +
               (result.linkError.empty()
                    ? QString()
                    : QStringLiteral(" (%1)").arg(QString::fromStdString(result.linkError)));
    return fail(failureFor(result.kind), text, result.step);
}

bool JobSteps::open() {
    step(QStringLiteral("Identifying..."));
    const OpResult opened = s_.open(c_.device);
    if (!opened.ok())
        return fail(opened);
    r_.bootloaderFound = true;
    return true;
}

bool JobSteps::identify(std::initializer_list<ConfigId> ids) {
    const OpResult read = s_.readBytes(std::span(ids.begin(), ids.size()));
    r_.bytes = s_.bytes();
    return read.ok() || fail(read);
}

bool JobSteps::checkController(bool sizesMatter) {
    if (!needsProductByte(sizesMatter))
        return true;
    const std::optional<std::uint8_t> product = s_.bytes().get(ConfigId::ProductName);
    const ChipVariant& assumed = chipVariant(o_.controllerIndex);
    if (product == assumed.productCode)
        return true;
    const std::optional<int> found = product ? chipVariantForProduct(*product) : std::nullopt;
    QString text;
    if (o_.controllerGiven) {
        const QString what = found ? QStringLiteral("an %1").arg(QLatin1String(chipVariant(*found).name))
                                   : QStringLiteral("a chip with product byte %1")
                                         .arg(byteText(s_.bytes(), ConfigId::ProductName));
        text = QStringLiteral("the device is %1, not the %2 given by --controller")
                   .arg(what, QLatin1String(assumed.name));
    } else if (found) {
        text = QStringLiteral("the device reports itself as an %1; without --controller an %2 is assumed. "
                              "Try --controller %3")
                   .arg(QLatin1String(chipVariant(*found).name), QLatin1String(assumed.name),
                        QLatin1String(chipVariant(*found).shortName));
    } else {
        return true; // a product byte the table does not know: nothing to tell by
    }
    if (o_.force) {
        c_.progress.note(QStringLiteral("device %1: %2; going on (--force)").arg(c_.device).arg(text));
        return true;
    }
    return fail(Failure::WrongController, text + QStringLiteral("; --force goes on all the same"),
                OpStep::Identify);
}

bool JobSteps::erase() {
    step(QStringLiteral("Erasing..."));
    const auto t0 = std::chrono::steady_clock::now();
    if (const OpResult erased = s_.erase(); !erased.ok())
        return fail(erased);
    timed("erase", t0);
    // The erase reset the security byte: the report shows the chip as it is now.
    return identify({ConfigId::SSB});
}

void JobSteps::timed(const char* name, std::chrono::steady_clock::time_point start) {
    r_.timings[QString::fromLatin1(name)] +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

namespace {

using Clock = std::chrono::steady_clock;

class CommandJob : public JobSteps {
public:
    using JobSteps::JobSteps;

    bool info() {
        return open() &&
               identify({ConfigId::Manufacturer, ConfigId::Family, ConfigId::ProductName,
                         ConfigId::ProductRevision, ConfigId::BootVersion, ConfigId::SSB, ConfigId::HSB,
                         ConfigId::BSB, ConfigId::EB, ConfigId::SBV, ConfigId::P1CF, ConfigId::P3CF,
                         ConfigId::P4CF}) &&
               checkController(false);
    }

    // The chip's name and its bootloader's version, nothing more.
    bool list() { return open() && identify({ConfigId::ProductName, ConfigId::BootVersion}); }

    bool read() {
        if (!open() || !identify({ConfigId::ProductName, ConfigId::SSB}) || !checkController(true))
            return false;
        if (!o_.flashFile.isEmpty() && !readInto(MEM_FLASH, flashSize(), c_.flashFile))
            return false;
        return o_.eepromFile.isEmpty() || readInto(MEM_EEPROM, kEepromBytes, c_.eepromFile);
    }

    bool erase() {
        if (!open())
            return false;
        if (needsProductByte(false) && (!identify({ConfigId::ProductName}) || !checkController(false)))
            return false;
        return JobSteps::erase();
    }

    bool run() {
        if (!open())
            return false;
        if (needsProductByte(false) && (!identify({ConfigId::ProductName}) || !checkController(false)))
            return false;
        step(QStringLiteral("Starting the application..."));
        const OpResult started =
            s_.start(o_.reset ? StartMode::Reset : StartMode::Jump, o_.reset ? 0 : o_.address);
        return started.ok() || fail(started);
    }

    bool config();
    bool configAllowed(std::uint8_t level);
    bool confirmConfig(const std::map<ConfigId, std::uint8_t>& writes);

    // The chip against the files, in the bytes they define.
    bool verifyFiles() {
        if (!open() || !identify({ConfigId::ProductName, ConfigId::SSB}) || !checkController(true))
            return false;
        step(QStringLiteral("Verifying..."));
        const auto t0 = Clock::now();
        for (const auto& [memory, with, image, defined] :
             {std::tuple{MEM_FLASH, in_.withFlash, &in_.flash, &in_.flashDefined},
              std::tuple{MEM_EEPROM, in_.withEeprom, &in_.eeprom, &in_.eepromDefined}}) {
            if (!with)
                continue;
            const VerifyOutcome v = s_.verify(memory, *defined, *image, progressHook());
            r_.bytesRead += totalLength(*defined);
            if (v.result.kind == ErrorKind::VerifyMismatch) {
                r_.verify = Verify::Mismatch;
                r_.difference = v.difference;
                return fail(Failure::VerifyMismatch,
                            QStringLiteral("%1 differs from %2 at %3 (%4 byte(s) differ)")
                                .arg(memory == MEM_FLASH ? QStringLiteral("FLASH") : QStringLiteral("EEPROM"),
                                     memory == MEM_FLASH ? o_.flashFile : o_.eepromFile,
                                     hex4(v.difference.first))
                                .arg(v.difference.count),
                            v.result.step);
            }
            if (!v.result.ok())
                return fail(v.result);
        }
        timed("verify", t0);
        r_.verify = Verify::Passed;
        return true;
    }

    bool blankCheck() {
        if (!open() || !identify({ConfigId::ProductName, ConfigId::SSB}) || !checkController(true))
            return false;
        step(QStringLiteral("Checking..."));
        std::optional<std::uint32_t> used;
        MemKind where = MEM_FLASH;
        if (o_.checkFlash) {
            const BlankOutcome check = s_.blankCheck({0, std::uint32_t(flashSize())});
            if (!check.result.ok())
                return fail(check.result);
            if (!check.blank)
                used = check.firstUsed.value_or(0);
        }
        if (!used && o_.checkEeprom) {
            // The bootloader checks FLASH only: EEPROM is read and looked through.
            TBuffer eeprom(kEepromBytes, kErased);
            if (const OpResult read = s_.read(MEM_EEPROM, {{0, std::uint32_t(kEepromBytes)}}, eeprom);
                !read.ok())
                return fail(read);
            const auto at =
                std::find_if(eeprom.begin(), eeprom.end(), [](std::uint8_t b) { return b != kErased; });
            if (at != eeprom.end()) {
                used = std::uint32_t(at - eeprom.begin());
                where = MEM_EEPROM;
            }
        }
        if (!used)
            return true;
        r_.difference = Difference{*used, 1};
        return fail(
            Failure::NotBlank,
            QStringLiteral("%1 is not blank: the first used byte is at %2")
                .arg(where == MEM_FLASH ? QStringLiteral("FLASH") : QStringLiteral("EEPROM"), hex4(*used)),
            where == MEM_FLASH ? OpStep::BlankCheck : OpStep::ReadEeprom);
    }

private:
    bool readInto(MemKind memory, std::size_t size, const QString& file) {
        step(memory == MEM_FLASH ? QStringLiteral("Reading FLASH...") : QStringLiteral("Reading EEPROM..."));
        const auto t0 = Clock::now();
        TBuffer image(size, kErased);
        if (const OpResult read =
                s_.read(memory, {{0, std::uint32_t(size)}}, image, kMaxFrame, progressHook());
            !read.ok())
            return fail(read);
        r_.bytesRead += size;
        timed("read", t0);
        const FileResult saved =
            saveImageFile(file, image, {memory == MEM_FLASH ? o_.firstFormat : o_.secondFormat});
        if (!saved.ok())
            return fail(Failure::FileAccess, saved.message);
        r_.files.push_back(saved.name);
        return true;
    }
};

// The HSB the options ask for; its bits that no option names stay as the
// chip holds them.
std::uint8_t composedHsb(const ConfigChange& change, std::uint8_t hsb) {
    auto setBit = [&hsb](std::uint8_t bit, std::optional<bool> on) {
        if (on)
            hsb = *on ? std::uint8_t(hsb & ~bit) : std::uint8_t(hsb | bit); // active low
    };
    setBit(kHsbX2, change.x2);
    setBit(kHsbBljb, change.bljb);
    if (change.oscMegahertz) {
        const std::uint8_t bits = *change.oscMegahertz == 32 ? 3 : *change.oscMegahertz == 16 ? 2 : 1;
        hsb = std::uint8_t((hsb & ~kHsbOscMask) | (bits << kHsbOscShift));
    }
    return hsb;
}

// A locked chip takes only a higher security level; nothing is written when
// it cannot take all that was asked.
bool CommandJob::configAllowed(std::uint8_t level) {
    const ConfigChange& change = o_.config;
    if (level != kNotLocked && (change.hsb() || !change.bytes.empty()))
        return fail(
            Failure::Locked,
            QStringLiteral("the chip is locked (security level %1): it takes no configuration bytes until "
                           "it is erased")
                .arg(level),
            OpStep::WriteFuses);
    if (change.securityLevel && *change.securityLevel > level)
        return fail(Failure::Locked,
                    QStringLiteral("the chip is at security level %1; only an erase lowers it").arg(level),
                    OpStep::WriteSecurity);
    return true;
}

// What the chip holds now, read back: a byte it did not take is a mismatch.
bool CommandJob::confirmConfig(const std::map<ConfigId, std::uint8_t>& writes) {
    for (const auto& [id, value] : writes) {
        const ConfigId one[] = {id};
        const OpResult read = s_.readBytes(one);
        r_.bytes = s_.bytes();
        if (!read.ok())
            return fail(read);
        if (*s_.bytes().get(id) != value &&
            !(id == ConfigId::SSB && securityLevel(*s_.bytes().get(id)) == securityLevel(value)))
            return fail(Failure::VerifyMismatch,
                        QStringLiteral("%1 reads %2 after writing %3")
                            .arg(QLatin1String(configByte(id).name), byteText(s_.bytes(), id),
                                 QString::number(value, 16).toUpper()),
                        OpStep::WriteFuses);
    }
    r_.bytes = s_.bytes();
    return true;
}

bool CommandJob::config() {
    const ConfigChange& change = o_.config;
    if (!open())
        return false;
    if (!identify({ConfigId::SSB}) || (change.hsb() && !identify({ConfigId::HSB})))
        return false;
    if (needsProductByte(false) && (!identify({ConfigId::ProductName}) || !checkController(false)))
        return false;
    const std::uint8_t level = *s_.bytes().securityLevel();
    if (!configAllowed(level))
        return false;

    std::map<ConfigId, std::uint8_t> writes = change.bytes;
    if (change.hsb())
        writes[ConfigId::HSB] = composedHsb(change, *s_.bytes().get(ConfigId::HSB));
    step(QStringLiteral("Writing configuration..."));
    for (ConfigId id : kFuseOrder) {
        if (const auto w = writes.find(id); w != writes.end()) {
            if (const OpResult written = s_.writeByte(id, w->second); !written.ok())
                return fail(written);
            r_.written.push_back(id);
        }
    }
    if (change.securityLevel && *change.securityLevel < level) {
        const std::uint8_t ssb = *change.securityLevel == 2 ? kSsbIspDisabled : kSsbIspVerifyDisabled;
        writes[ConfigId::SSB] = ssb;
        if (const OpResult written = s_.writeByte(ConfigId::SSB, ssb); !written.ok())
            return fail(written);
        r_.written.push_back(ConfigId::SSB);
    }
    return confirmConfig(writes);
}

} // namespace

bool runWriteJob(const RunInput& in, ChipSession& session, ChipContext& context, ChipReport& report);

ChipReport runChipJob(const RunInput& in, ChipSession& session, ChipContext& context) {
    ChipReport report;
    report.device = context.device;
    report.serial = context.serial;
    if ((in.options.command == QLatin1String("write") && in.options.verify) ||
        in.options.command == QLatin1String("verify"))
        report.verify = Verify::NotReached;
    CommandJob job(in, session, context, report);
    const QString& c = in.options.command;
    if (c == QLatin1String("write"))
        runWriteJob(in, session, context, report);
    else if (c == QLatin1String("info"))
        job.info();
    else if (c == QLatin1String("list"))
        job.list();
    else if (c == QLatin1String("read"))
        job.read();
    else if (c == QLatin1String("erase"))
        job.erase();
    else if (c == QLatin1String("config"))
        job.config();
    else if (c == QLatin1String("run"))
        job.run();
    else if (c == QLatin1String("blank-check"))
        job.blankCheck();
    else if (c == QLatin1String("verify"))
        job.verifyFiles();
    context.progress.finish();
    return report;
}

} // namespace corvane::cli
