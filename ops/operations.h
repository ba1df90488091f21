// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programming operations: device identification and configuration read,
// READ, ERASE, WRITE (with the fuse step) and RUN, each inside the common frame
// that locks the controls, reports a failure in a message box, closes the
// channel and unlocks the controls again.

#include "core/progress.h"
#include "image/memory_images.h"
#include "link/usb.h"
#include "ops/config_bytes.h"
#include "ops/controls.h"
#include "ops/op_result.h"
#include "ops/ops_view.h"
#include "ops/requests.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace corvane {

namespace OpsText {
inline constexpr char kUsbErrorCaption[] = "USB-ERROR";
inline constexpr char kInputErrorCaption[] = "Input-Error";
inline constexpr char kVerifyErrorCaption[] = "Verify-Error";
inline constexpr char kLockNote[] = "\r(Device is locked)";
// Added to "USB-Device not found!" when the bootloader is attached but the
// system refuses this user access to it.
inline constexpr char kAccessDeniedNote[] =
    "\rThe bootloader is attached, but access to it was denied: install the udev rule "
    "70-corvane.rules and re-plug the device.";
} // namespace OpsText

// How many bytes of FLASH, from address 0, WRITE programs: whole blocks of
// 1024 bytes up to the block that holds the last byte that is not 0xFF, or
// the whole image with Flash All. 0 when no block is written.
std::size_t flashWriteLength(const TBuffer& image, bool flashAll);

// Where two images first differ, and in how many bytes, over their first
// length bytes (both hold at least that many).
struct Difference {
    std::size_t first = 0;
    std::size_t count = 0;
};
Difference compareImages(const TBuffer& expected, const TBuffer& actual, std::size_t length);

class TOperations {
public:
    // Installs the link's hooks: the device number comes from cbDevice, the
    // status pane and the message processing from the view.
    TOperations(TUsb& usb, MemoryImages& images, OpsView& view);
    TOperations(const TOperations&) = delete;
    TOperations& operator=(const TOperations&) = delete;

    OpsControls Controls;
    ProgressModel PBar;
    // Low two bits of the last software security byte read (3: not locked).
    std::uint8_t SecurityLevel = 0;
    // Empty, or "\r(Device is locked)" after reading a locked device's configuration.
    QString LockNote;
    // The hardware security byte as last read with the configuration (LabHSB
    // may show it recomposed from the controls instead).
    std::uint8_t HsbRead = 0xBB;

    // The bytes whose read failed in the last ReadDeviceInfo ("Manufacturer",
    // "SSB", "HSB", "EB", ...). Their controls show the failure code as read.
    QStringList FailedReads;

    // The byte as last read from the device; nothing when its last read failed
    // or it was never read.
    std::optional<std::uint8_t> deviceByte(ConfigByte where) const;

    // True while one of the four operations runs.
    bool busy() const { return busy_; }

    // Opens the channel, checks for the bootloader and reads the identification
    // (and with ReadConfig the configuration) into the controls. Raises
    // OpFailure when the channel cannot be opened or the device is no
    // bootloader; a failed byte read only lands in FailedReads. Leaves the
    // channel open in every case.
    void ReadDeviceInfo(bool ReadConfig);
    // Puts the identification and configuration displays back to their blank state.
    void ClearDeviceInfo();
    // Enables or disables the operation controls; enabling re-runs chkResetClick.
    void EnableControls(bool enable);
    // Empties the status pane and closes the channel.
    void CloseDevice();

    // The operations. Each shows its failure in a message box (none when
    // stopped on request) and returns what happened; a call while an
    // operation runs is ignored and returns success. Identify is READ with
    // neither memory.
    OpResult Identify();
    OpResult Read(const ReadRequest& request);
    OpResult Erase(const EraseRequest& request = {});
    OpResult Write(const WriteRequest& request);
    OpResult Start(const StartRequest& request);

    // The window's buttons: the request built from the controls.
    OpResult ButReadClick();
    OpResult ButEraseClick();
    OpResult ButWriteClick();
    OpResult ButRunClick();

    // The configuration bytes as the controls hold them (Write Fuses).
    ConfigRequest configFromControls() const;

private:
    OpResult runFrame(bool resetsProgress, const std::function<void()>& body);
    void showStatus(const QString& text);
    void progressTotal(int total);
    void progressCompleted(int completed);
    // Ends the operation when its front end asked it to stop.
    void stopPoint(OpStep step);
    void eraseChip();
    // A memory block's transfer failed: locked or plain failure.
    [[noreturn]] void blockFailed(OpStep step, std::uint32_t address, const char* text);
    void readMemory(MemKind kind);
    void writeFlash(const TBuffer& image, bool flashAll);
    void writeEeprom(const TBuffer& image);
    // Reads back what the request wrote and compares it.
    void verifyMemories(const WriteRequest& request);
    void readBlocks(MemKind kind, std::size_t length, OpStep step);
    // Before anything changes on the device: can the configuration be written?
    void checkConfig(const ConfigRequest& config) const;
    // The fuse step of WRITE.
    void writeConfig(const ConfigRequest& config);
    std::uint8_t fieldByte(Ctl field, const char* name) const;

    TUsb& usb_;
    MemoryImages& images_;
    OpsView& view_;
    bool busy_ = false;
    bool securityRead_ = true;
    // Controls that show a configuration byte whose read failed, with the
    // text they showed then: a fuse step refuses to write it unless the user
    // has typed another value since (the HSB: until it is read again).
    std::map<Ctl, QString> unread_;
    // What each byte read last, by area * 256 + index.
    std::map<std::uint32_t, std::uint8_t> deviceBytes_;
};

} // namespace corvane
