// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/operations.h"

#include "ops/config_bytes.h"
#include "ops/hex_field.h"

#include <array>

namespace corvane {

namespace {

constexpr std::uint16_t kBootVendor = 0x03EB;
constexpr std::uint16_t kBootProduct = 0x2FFD;
constexpr int kFlashBlock = 1024;
constexpr int kEepromBlock = 256;
constexpr int kEepromBlocks = 4;

QString hex4(unsigned value) {
    return QString::number(value & 0xFFFF, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString noNumberText(const char* field) {
    return QString::fromLatin1(field) + QStringLiteral(": no valid hexadecimal number");
}

// Runs a step that must happen on every way out of a scope.
template <typename F> class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

} // namespace

TOperations::TOperations(TUsb& usb, MemoryImages& images, OpsView& view)
    : usb_(usb), images_(images), view_(view) {
    UsbHooks& hooks = usb_.hooks();
    hooks.deviceNumber = [this] { return Controls.index(Ctl::cbDevice); };
    hooks.clearStatus = [this] { view_.setStatusText(QString()); };
    hooks.processMessages = [this] { view_.processMessages(); };
}

void TOperations::showStatus(const QString& text) {
    view_.setStatusText(text);
    view_.processMessages();
}

void TOperations::progressTotal(int total) {
    PBar.setTotal(total);
    PBar.setPercentageShown(true);
    view_.progressChanged(PBar);
}

void TOperations::progressCompleted(int completed) {
    PBar.setCompleted(completed);
    view_.progressChanged(PBar);
    view_.processMessages();
}

void TOperations::CloseDevice() {
    usb_.CloseDevice();
}

std::size_t flashWriteLength(const TBuffer& image, bool flashAll) {
    std::size_t used = image.size();
    if (!flashAll) {
        while (used > 0 && image[used - 1] == kErased)
            --used;
    }
    return (used + kFlashBlock - 1) / kFlashBlock * kFlashBlock;
}

// --- identification ---------------------------------------------------------

void TOperations::ReadDeviceInfo(bool ReadConfig) {
    showStatus(QStringLiteral("Reading device informations..."));
    view_.pause(200);

    if (!usb_.OpenDevice()) {
        std::string text = "USB-Device not found!";
        // The link answers for its last open; with no device number selected
        // there was none.
        const int number = usb_.hooks().deviceNumber ? usb_.hooks().deviceNumber() : -1;
        if (number >= 0 && usb_.link().lastOpenDenied())
            text += OpsText::kAccessDeniedNote;
        throw EUsbError(text);
    }

    const int vendor = usb_.GetDeviceDescriptor();
    const unsigned storedVendor = usb_.DevDesc[8] | (usb_.DevDesc[9] << 8);
    const unsigned storedProduct = usb_.DevDesc[10] | (usb_.DevDesc[11] << 8);
    if (vendor < 0 || vendor != kBootVendor || storedProduct != kBootProduct) {
        const QString text = QStringLiteral("No 89C513x Bootloader found!\rVendor-ID: ") +
                             hex4(storedVendor) + QStringLiteral("\rProduct-ID: ") + hex4(storedProduct);
        throw EUsbError(text.toStdString());
    }

    auto read = [this](ConfigByte where) { return usb_.ReadConfigByte(where.area, where.index); };

    Controls.setText(Ctl::LabManufacturer, identificationText(read(ConfigMap::Manufacturer)));
    Controls.setText(Ctl::LabFamily, identificationText(read(ConfigMap::Family)));
    Controls.setText(Ctl::LabProduct, identificationText(read(ConfigMap::Product)));
    Controls.setText(Ctl::LabRevision, identificationText(read(ConfigMap::Revision)));
    Controls.setText(Ctl::LabBootVersion, bootVersionText(read(ConfigMap::BootVersion)));

    SecurityLevel = static_cast<std::uint8_t>(read(ConfigMap::SSB) & 3);

    if (!ReadConfig)
        return;

    const auto hsb = static_cast<std::uint8_t>(read(ConfigMap::HSB) & 0xFF);
    HsbRead = hsb;
    Controls.setText(Ctl::LabHSB, formatHexValue(hsb, 2));
    const HsbControls decoded = decodeHsb(hsb);
    // The list runs no handler; a check box that changes state recomposes LabHSB.
    Controls.setIndex(Ctl::cbOsc, decoded.oscIndex);
    Controls.setChecked(Ctl::chkBLJB, decoded.bljbChecked);
    Controls.setChecked(Ctl::chkX2, decoded.x2Checked);

    Controls.setHexValue(Ctl::EdBSB, read(ConfigMap::BSB));
    Controls.setHexValue(Ctl::EdEB, read(ConfigMap::EB));
    Controls.setHexValue(Ctl::EdSBV, read(ConfigMap::SBV));
    Controls.setHexValue(Ctl::EdP1CF, read(ConfigMap::P1CF));
    Controls.setHexValue(Ctl::EdP3CF, read(ConfigMap::P3CF));
    Controls.setHexValue(Ctl::EdP4CF, read(ConfigMap::P4CF));

    Controls.setIndex(Ctl::cbSSB, ssbItemForLevel(SecurityLevel));

    LockNote.clear();
    if (SecurityLevel != kNotLocked)
        LockNote = QString::fromLatin1(OpsText::kLockNote);
}

void TOperations::ClearDeviceInfo() {
    for (Ctl c : {Ctl::LabManufacturer, Ctl::LabFamily, Ctl::LabProduct, Ctl::LabRevision})
        Controls.setText(c, QStringLiteral("--"));
    Controls.setText(Ctl::LabBootVersion, QStringLiteral("-.-.-"));

    Controls.setIndex(Ctl::cbOsc, 0);
    Controls.setChecked(Ctl::chkBLJB, true);
    Controls.setChecked(Ctl::chkX2, false);
    Controls.HsbChange();

    Controls.setHexValue(Ctl::EdBSB, 0xFF);
    Controls.setHexValue(Ctl::EdEB, 0xFF);
    Controls.setHexValue(Ctl::EdSBV, 0xFF);
    Controls.setHexValue(Ctl::EdP1CF, 0xFE);
    Controls.setHexValue(Ctl::EdP3CF, 0xFF);
    Controls.setHexValue(Ctl::EdP4CF, 0xFF);

    Controls.setIndex(Ctl::cbSSB, 0);

    PBar.setCompleted(0);
    PBar.setPercentageShown(false);
    view_.progressChanged(PBar);
}

void TOperations::EnableControls(bool enable) {
    static constexpr std::array kLocked{Ctl::ButRead,     Ctl::ButErase,     Ctl::ButWrite,    Ctl::chkFlash,
                                        Ctl::chkEEP,      Ctl::chkAutoErase, Ctl::chkFlashAll, Ctl::chkFuses,
                                        Ctl::ButRun,      Ctl::chkReset,     Ctl::EdStart,     Ctl::cbDevice,
                                        Ctl::cbController};
    for (Ctl c : kLocked)
        Controls.setEnabled(c, enable);
    if (enable)
        Controls.chkResetClick();
    view_.operationRunning(!enable);
}

// --- the frame --------------------------------------------------------------

void TOperations::runFrame(bool resetsProgress, const std::function<void()>& body) {
    busy_ = true;
    // Whatever ends the body, the channel is closed and the controls come back.
    Finally tidyUp([this, resetsProgress] {
        CloseDevice();
        EnableControls(true);
        if (resetsProgress) {
            PBar.setCompleted(0);
            PBar.setPercentageShown(false);
            view_.progressChanged(PBar);
        }
        busy_ = false;
    });
    try {
        body();
    } catch (const EUsbError& e) {
        // What the link knows of the failure, with libusb's own error name.
        const std::string why = usb_.link().lastError();
        if (!why.empty())
            view_.addDebugLine(QString::fromStdString(why));
        ShowMessageBox(view_.messagePresenter(), QString::fromLatin1(OpsText::kUsbErrorCaption),
                       QString::fromStdString(e.what()), MessageKind::Error, MessageButton::Abort, true);
    } catch (const EInputError& e) {
        ShowMessageBox(view_.messagePresenter(), QString::fromLatin1(OpsText::kInputErrorCaption),
                       QString::fromStdString(e.what()), MessageKind::Error, MessageButton::Abort, true);
    }
}

// --- READ -------------------------------------------------------------------

void TOperations::ButReadClick() {
    if (busy_)
        return;
    ClearDeviceInfo();
    EnableControls(false);
    runFrame(true, [this] {
        const int blocks = static_cast<int>(images_.FlashImage.size() / kFlashBlock);
        view_.addHexLine(blocks);
        ReadDeviceInfo(true);

        if (Controls.checked(Ctl::chkFlash)) {
            progressTotal(blocks - 1);
            showStatus(QStringLiteral("Reading Flash-Memory..."));
            for (int b = 0; b < blocks; ++b) {
                progressCompleted(b);
                if (usb_.ReadBlock(static_cast<std::uint16_t>(b * kFlashBlock), kFlashBlock, MEM_FLASH, 0) !=
                    0)
                    throw EUsbError(("Flash-Memory Read Error!" + LockNote).toStdString());
            }
            view_.refreshView(MEM_FLASH);
        }

        if (Controls.checked(Ctl::chkEEP)) {
            progressTotal(kEepromBlocks - 1);
            showStatus(QStringLiteral("Reading EEPROM..."));
            for (int i = 0; i < kEepromBlocks; ++i) {
                progressCompleted(i);
                if (usb_.ReadBlock(static_cast<std::uint16_t>(i * kEepromBlock), kEepromBlock, MEM_EEPROM,
                                   0) != 0)
                    throw EUsbError(("EEPROM Read Error!" + LockNote).toStdString());
            }
            view_.refreshView(MEM_EEPROM);
        }
    });
}

// --- ERASE ------------------------------------------------------------------

void TOperations::eraseChip() {
    showStatus(QStringLiteral("Erasing Device..."));
    if (usb_.EraseChip() != 0)
        throw EUsbError("Error erasing device!");
}

void TOperations::ButEraseClick() {
    if (busy_)
        return;
    EnableControls(false);
    runFrame(false, [this] {
        ReadDeviceInfo(true);
        eraseChip();
        CloseDevice();
        ReadDeviceInfo(true);
    });
}

// --- WRITE ------------------------------------------------------------------

void TOperations::ButWriteClick() {
    if (busy_)
        return;
    EnableControls(false);
    runFrame(true, [this] {
        ReadDeviceInfo(false);

        const bool flash = Controls.checked(Ctl::chkFlash);
        if (flash && Controls.checked(Ctl::chkAutoErase)) {
            eraseChip();
            CloseDevice();
            ReadDeviceInfo(false);
        }

        if (flash) {
            view_.takeViewIntoImage(MEM_FLASH);
            const std::size_t length =
                flashWriteLength(images_.FlashImage, Controls.checked(Ctl::chkFlashAll));
            if (length > 0) {
                const int blocks = static_cast<int>(length / kFlashBlock);
                progressTotal(blocks);
                showStatus(QStringLiteral("Writing Flash-Memory..."));
                for (int b = 0; b < blocks; ++b) {
                    progressCompleted(b + 1);
                    if (usb_.ProgramBlock(static_cast<std::uint16_t>(b * kFlashBlock), kFlashBlock,
                                          MEM_FLASH) != 0)
                        throw EUsbError(("Flash-Memory Write Error!" + LockNote).toStdString());
                }
            }
        }

        if (Controls.checked(Ctl::chkEEP)) {
            view_.takeViewIntoImage(MEM_EEPROM);
            progressTotal(kEepromBlocks - 1);
            showStatus(QStringLiteral("Writing EEPROM..."));
            view_.pause(100);
            for (int i = 0; i < kEepromBlocks; ++i) {
                progressCompleted(i);
                if (usb_.ProgramBlock(static_cast<std::uint16_t>(i * kEepromBlock), kEepromBlock,
                                      MEM_EEPROM) != 0)
                    throw EUsbError(("EEPROM Write Error!" + LockNote).toStdString());
            }
        }

        if (Controls.checked(Ctl::chkFuses))
            WriteFuses();
    });
}

std::uint8_t TOperations::fieldByte(Ctl field, const char* name) const {
    const auto value = Controls.hexValue(field);
    if (!value)
        throw EInputError(noNumberText(name).toStdString());
    return static_cast<std::uint8_t>(*value & 0xFF);
}

void TOperations::WriteFuses() {
    showStatus(QStringLiteral("Writing Fuses..."));
    view_.pause(200);

    if (SecurityLevel == kNotLocked) {
        // Every value is taken before the first byte is sent, so a field that
        // holds no number leaves the device's configuration untouched.
        const std::array<std::uint8_t, kFuseOrder.size()> values{
            fieldByte(Ctl::EdEB, "EB"),
            fieldByte(Ctl::EdBSB, "BSB"),
            fieldByte(Ctl::EdSBV, "SBV"),
            static_cast<std::uint8_t>(parseFieldValue(Controls.text(Ctl::LabHSB)).value_or(0) & 0xFF),
            fieldByte(Ctl::EdP1CF, "P1_CF"),
            fieldByte(Ctl::EdP3CF, "P3_CF"),
            fieldByte(Ctl::EdP4CF, "P4_CF"),
        };
        for (std::size_t i = 0; i < kFuseOrder.size(); ++i) {
            const FuseStep& step = kFuseOrder[i];
            const int result = usb_.WriteConfigByte(step.where.area, step.where.index, values[i]);
            if (result != 0)
                throw EUsbError("Can't write " + std::string(step.name) + " (" + std::to_string(result) +
                                ")");
        }
    }

    if (const auto ssb = ssbValueForItem(Controls.index(Ctl::cbSSB))) {
        if (usb_.WriteConfigByte(ConfigMap::SSB.area, ConfigMap::SSB.index, *ssb) != 0)
            throw EUsbError("Can't write Security Flags!");
    }
}

// --- RUN --------------------------------------------------------------------

void TOperations::ButRunClick() {
    if (busy_)
        return;
    EnableControls(false);
    runFrame(false, [this] {
        ReadDeviceInfo(true);
        if (Controls.checked(Ctl::chkReset)) {
            usb_.StartApplication(0, 0);
        } else {
            const auto address = Controls.hexValue(Ctl::EdStart);
            if (!address)
                throw EInputError(noNumberText("RUN-Address").toStdString());
            usb_.StartApplication(1, static_cast<std::uint16_t>(*address & 0xFFFF));
        }
    });
}

} // namespace corvane
