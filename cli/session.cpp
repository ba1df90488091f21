// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/session.h"

#include "core/chip_variants.h"
#include "ops/config_bytes.h"
#include "ops/hex_field.h"

#include "core/local_text.h"

#include <array>
#include <sys/stat.h>

namespace corvane::cli {

namespace {

const QString kUsbError = QString::fromLatin1(OpsText::kUsbErrorCaption);

} // namespace

int exitStatusFor(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return ExitOk;
    case ErrorKind::NoDevice:
    case ErrorKind::NotBootloader:
    case ErrorKind::AccessDenied:
    case ErrorKind::InUse:
        return ExitNoDevice;
    case ErrorKind::BadInput:
        return ExitUsage;
    case ErrorKind::VerifyMismatch:
        return ExitVerify;
    case ErrorKind::Locked:
    case ErrorKind::TransferFailed:
    case ErrorKind::Cancelled:
        return ExitDeviceError;
    }
    return ExitInternal;
}

namespace {

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// Whether a file (not a folder) of that name is there, asked by its own bytes.
bool isPresentFile(const QString& fileName) {
    struct stat st {};
    return ::stat(encodeFileName(fileName).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

Session::Session(DeviceLink& link, TerminalView& view, std::FILE* out, const CommandLine& options)
    : Usb(link, Images), Ops(Usb, Images, view), Files(*this, view), view_(view), out_(out),
      options_(options), device_(options.device) {
    Images.renew(options.controllerIndex);
    // The tool loses nothing silently: data beyond the chip is bad content
    // unless --truncate says to drop it, as the window does.
    Files.RefuseDataBeyondImage = !options.truncate;
    // The device number is the tool's own, not a list's selection.
    Usb.hooks().deviceNumber = [this] { return device_; };
}

QString Session::byteText(ConfigByte where) const {
    const std::optional<std::uint8_t> b = Ops.deviceByte(where);
    if (!b)
        return QStringLiteral("--");
    if (where.area == ConfigMap::BootVersion.area && where.index == ConfigMap::BootVersion.index)
        return bootVersionText(*b);
    return identificationText(*b);
}

void Session::print(const QString& text) {
    const QByteArray bytes = (escapeControlChars(text) + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out_);
    std::fflush(out_);
}

int Session::report(const OpResult& result) {
    last_ = result;
    if (!result.ok() && result.kind != ErrorKind::Cancelled)
        hintController();
    return exitStatusFor(result.kind);
}

void Session::hintController() {
    if (options_.controllerGiven)
        return;
    const std::optional<std::uint8_t> product = Ops.deviceByte(ConfigMap::Product);
    const std::optional<int> found = product ? chipVariantForProduct(*product) : std::nullopt;
    if (!found || *found == options_.controllerIndex)
        return;
    view_.note(QStringLiteral("The device reports itself as an %1; without --controller an %2 is assumed. "
                              "Try --controller %3.")
                   .arg(QLatin1String(chipVariant(*found).name),
                        QLatin1String(chipVariant(options_.controllerIndex).name),
                        QLatin1String(chipVariant(*found).shortName)));
}

int Session::readInfo() {
    view_.clearMessages();
    return report(Ops.Identify());
}

int Session::readAllInfo() {
    if (const int status = readInfo())
        return status;
    if (!Ops.FailedReads.isEmpty()) {
        view_.showMessage(kUsbError,
                          QStringLiteral("Can't read %1!").arg(Ops.FailedReads.join(QStringLiteral(", "))));
        return ExitDeviceError;
    }
    return checkController();
}

int Session::checkControllerFirst() {
    if (!options_.controllerGiven)
        return ExitOk;
    if (const int status = readInfo())
        return status;
    return checkController();
}

int Session::checkController() {
    if (!options_.controllerGiven)
        return ExitOk;
    const std::optional<std::uint8_t> product = Ops.deviceByte(ConfigMap::Product);
    const ChipVariant& wanted = chipVariant(options_.controllerIndex);
    if (product == wanted.productCode)
        return ExitOk;
    const std::optional<int> found = product ? chipVariantForProduct(*product) : std::nullopt;
    const QString what = found ? QStringLiteral("an %1").arg(QLatin1String(chipVariant(*found).name))
                               : QStringLiteral("product byte %1").arg(byteText(ConfigMap::Product));
    const QString text = QStringLiteral("The device is %1, not the %2 given by --controller.")
                             .arg(what, QLatin1String(wanted.name));
    if (options_.force) {
        view_.note(text + QStringLiteral(" Going on (--force)."));
        return ExitOk;
    }
    view_.showMessage(kUsbError, text + QStringLiteral("\rUse --force to go on all the same."));
    return ExitNoDevice;
}

int Session::load(const QString& fileName, MemKind kind) {
    const bool present = isPresentFile(fileName);
    view_.clearMessages();
    if (Files.LoadFile(fileName, kind))
        return ExitOk;
    if (!present || view_.messages().empty() || view_.messages().back().caption == QLatin1String("IO-Error"))
        return ExitFileAccess;
    return ExitFileContent;
}

int Session::save(const QString& fileName, MemKind kind) {
    view_.clearMessages();
    savedName_.clear();
    if (!Files.SaveFile(fileName, kind))
        return ExitFileAccess;
    if (savedName_ != fileName)
        view_.note(QStringLiteral("Saved as %1").arg(savedName_));
    return ExitOk;
}

// --- commands ---------------------------------------------------------------

int Session::list() {
    // Each number is asked as READ would ask it; the answers make the list,
    // the operations' own output would only repeat them.
    view_.setMuted(true);
    int answering = 0;
    for (int n = 0; n < 8; ++n) {
        device_ = n;
        const int status = readInfo();
        if (status == ExitOk) {
            print(QStringLiteral("%1: Manufacturer %2, Family Code %3, Product Name %4, Product Revision %5, "
                                 "Bootloader Version %6")
                      .arg(n)
                      .arg(byteText(ConfigMap::Manufacturer), byteText(ConfigMap::Family),
                           byteText(ConfigMap::Product), byteText(ConfigMap::Revision),
                           byteText(ConfigMap::BootVersion)));
            ++answering;
            continue;
        }
        if (last_.kind == ErrorKind::NoDevice)
            continue; // nothing there
        const TerminalView::Message& m = view_.messages().back();
        QString text = m.text;
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        print(QStringLiteral("%1: %2").arg(n).arg(text));
        ++answering;
    }
    view_.setMuted(false);
    device_ = options_.device;
    if (answering == 0) {
        view_.showMessage(kUsbError, QStringLiteral("USB-Device not found!"));
        return ExitNoDevice;
    }
    return ExitOk;
}

void Session::printInfo() {
    // Every byte was read (info fails otherwise).
    auto value = [this](ConfigByte where) { return Ops.deviceByte(where).value_or(0xFF); };
    const std::uint8_t hsbByte = value(ConfigMap::HSB);
    const HsbControls hsb = decodeHsb(hsbByte);
    const QString osc = hsb.oscIndex >= 0 && hsb.oscIndex < int(kOscillatorItems.size())
                            ? QString::fromLatin1(kOscillatorItems[std::size_t(hsb.oscIndex)])
                            : QStringLiteral("00 - none");
    const int ssb = ssbItemForLevel(value(ConfigMap::SSB) & 3);
    auto row = [this](const char* caption, const QString& value) {
        print(QString::fromLatin1(caption).leftJustified(24) + value);
    };
    row("Manufacturer:", byteText(ConfigMap::Manufacturer));
    row("Family Code:", byteText(ConfigMap::Family));
    row("Product Name:", byteText(ConfigMap::Product));
    row("Product Revision:", byteText(ConfigMap::Revision));
    row("Bootloader Version:", byteText(ConfigMap::BootVersion));
    row("HSB:", formatHexValue(hsbByte, 2));
    row("  Oscillator:", osc);
    row("  BLJB:", onOff(hsb.bljbChecked));
    row("  X2:", onOff(hsb.x2Checked));
    row("BSB:", formatHexValue(value(ConfigMap::BSB), 2));
    row("EB:", formatHexValue(value(ConfigMap::EB), 2));
    row("SBV:", formatHexValue(value(ConfigMap::SBV), 2));
    row("P1_CF:", formatHexValue(value(ConfigMap::P1CF), 2));
    row("P3_CF:", formatHexValue(value(ConfigMap::P3CF), 2));
    row("P4_CF:", formatHexValue(value(ConfigMap::P4CF), 2));
    row("Software Security Byte:", QString::fromLatin1(kSsbItems[std::size_t(ssb)]));
}

int Session::info() {
    const int status = readAllInfo();
    if (status == ExitOk)
        printInfo();
    return status;
}

int Session::read() {
    if (const int status = checkControllerFirst())
        return status;
    const bool flash = !options_.flashFile.isEmpty();
    const bool eeprom = !options_.eepromFile.isEmpty();
    view_.clearMessages();
    if (const int status = report(Ops.Read(ReadRequest{flash, eeprom})))
        return status;
    if (flash) {
        if (const int status = save(options_.flashFile, MEM_FLASH))
            return status;
    }
    if (eeprom)
        return save(options_.eepromFile, MEM_EEPROM);
    return ExitOk;
}

int Session::erase() {
    if (const int status = checkControllerFirst())
        return status;
    view_.clearMessages();
    return report(Ops.Erase());
}

int Session::write() {
    const bool flash = !options_.flashFile.isEmpty();
    const bool eeprom = !options_.eepromFile.isEmpty();
    // Both files load before the device is touched.
    if (flash) {
        if (const int status = load(options_.flashFile, MEM_FLASH))
            return status;
    }
    if (eeprom) {
        if (const int status = load(options_.eepromFile, MEM_EEPROM))
            return status;
    }
    const TBuffer flashImage = Images.FlashImage;
    const TBuffer eepromImage = Images.EepromImage;

    // The configuration is read first, as after the window's READ, so that
    // a refused write names a locked device.
    if (const int status = readInfo())
        return status;
    if (const int status = checkController())
        return status;

    WriteRequest request;
    if (flash)
        request.flash = flashImage;
    if (eeprom)
        request.eeprom = eepromImage;
    request.erase = options_.erase;
    request.flashAll = options_.flashAll;
    request.verify = options_.verify;
    view_.clearMessages();
    return report(Ops.Write(request));
}

int Session::config() {
    // What is not named is written back as read, so every byte must have
    // been read before the first one is written.
    if (const int status = readAllInfo())
        return status;

    // A locked device takes only a higher security level; say so rather than
    // skip the bytes without a word, as the fuse step does.
    if (Ops.SecurityLevel != kNotLocked) {
        const bool others = options_.oscIndex || options_.bljb || options_.x2 || !options_.bytes.empty();
        if (others || options_.ssbItem == 0) {
            const QString what = others ? QStringLiteral("Can't write configuration bytes!")
                                        : QStringLiteral("Can't write Security Flags!");
            view_.showMessage(kUsbError, what + QLatin1String(OpsText::kLockNote));
            return ExitDeviceError;
        }
    }

    // Bytes not named are written back as read; the HSB's bits that no
    // option names stay as read too.
    auto byte = [this](ConfigByte where, Ctl field) {
        const auto named = options_.bytes.find(field);
        return named != options_.bytes.end() ? named->second : Ops.deviceByte(where).value_or(0xFF);
    };
    std::uint8_t hsb = Ops.deviceByte(ConfigMap::HSB).value_or(0xFF);
    if (options_.oscIndex || options_.bljb || options_.x2) {
        const HsbControls read = decodeHsb(hsb);
        hsb = composeHsb(options_.oscIndex.value_or(read.oscIndex), options_.bljb.value_or(read.bljbChecked),
                         options_.x2.value_or(read.x2Checked));
    }
    ConfigRequest config;
    config.bytes = {byte(ConfigMap::EB, Ctl::EdEB),     byte(ConfigMap::BSB, Ctl::EdBSB),
                    byte(ConfigMap::SBV, Ctl::EdSBV),   hsb,
                    byte(ConfigMap::P1CF, Ctl::EdP1CF), byte(ConfigMap::P3CF, Ctl::EdP3CF),
                    byte(ConfigMap::P4CF, Ctl::EdP4CF)};
    // Not named: nothing is written to the security byte.
    config.ssb = ssbValueForItem(options_.ssbItem.value_or(0));
    WriteRequest request;
    request.config = config;
    view_.clearMessages();
    if (const int status = report(Ops.Write(request)))
        return status;
    return info();
}

int Session::run() {
    if (const int status = checkControllerFirst())
        return status;
    StartRequest request;
    request.reset = options_.reset;
    request.address = options_.address;
    view_.clearMessages();
    return report(Ops.Start(request));
}

int Session::convert() {
    if (const int status = load(options_.arguments.at(0), MEM_FLASH))
        return status;
    return save(options_.arguments.at(1), MEM_FLASH);
}

} // namespace corvane::cli
