// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's programming operations: device identification and
// configuration read, READ, ERASE, WRITE (with the fuse step) and RUN, each
// inside the common frame that locks the controls, reports a failure in a
// message box, closes the channel and unlocks the controls again. They take
// their steps from the device engine (ops/chip_session.h) in the window's own
// fixed order, with its texts, pauses and progress.

#include "core/progress.h"
#include "image/memory_images.h"
#include "link/device_link.h"
#include "link/high_res_timer.h"
#include "ops/chip_session.h"
#include "shell/config_controls.h"
#include "shell/ops_controls.h"
#include "shell/ops_view.h"
#include "shell/window_requests.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <map>
#include <set>

namespace corvane {

namespace OpsText {
inline constexpr char kUsbErrorCaption[] = "USB-ERROR";
inline constexpr char kInputErrorCaption[] = "Input-Error";
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

class TOperations {
public:
    // The device number comes from cbDevice, the status pane and the message
    // processing from the view.
    TOperations(DeviceLink& link, MemoryImages& images, OpsView& view);
    TOperations(const TOperations&) = delete;
    TOperations& operator=(const TOperations&) = delete;

    OpsControls Controls;
    ProgressModel PBar;
    // Low two bits of the last software security byte read (3: not locked).
    std::uint8_t SecurityLevel = 0;
    // Empty, or "\r(Device is locked)" after reading a locked device's configuration.
    QString LockNote;
    // The precise wait between the status requests of a chip erase.
    THighResTimer Hr;

    // The bytes whose read failed in the last ReadDeviceInfo ("Manufacturer",
    // "SSB", "HSB", "EB", ...). Their controls show the failure code as read.
    QStringList FailedReads;

    // True while one of the four operations runs.
    bool busy() const { return busy_; }
    bool channelOpen() const { return session_.isOpen(); }

    // Opens the channel, checks for the bootloader and reads the identification
    // (and with ReadConfig the configuration) into the controls. A failed open
    // or a device that is no bootloader ends the operation; a failed byte
    // read only lands in FailedReads. Leaves the channel open in every case.
    void ReadDeviceInfo(bool ReadConfig);
    // Puts the identification and configuration displays back to their blank state.
    void ClearDeviceInfo();
    // Enables or disables the operation controls; enabling re-runs chkResetClick.
    void EnableControls(bool enable);
    // Empties the status pane and closes the channel.
    void CloseDevice();

    // The operations. Each shows its failure in a message box (none when
    // stopped on request) and returns what happened; a call while an
    // operation runs is ignored and returns success.
    ShownResult Read(const ReadRequest& request);
    ShownResult Erase(const EraseRequest& request = {});
    ShownResult Write(const WriteRequest& request);
    ShownResult Start(const StartRequest& request);

    // The window's buttons: the request built from the controls.
    ShownResult ButReadClick();
    ShownResult ButEraseClick();
    ShownResult ButWriteClick();
    ShownResult ButRunClick();

    // The configuration bytes as the controls hold them (Write Fuses).
    ConfigRequest configFromControls() const;

private:
    ShownResult runFrame(bool resetsProgress, const std::function<void()>& body);
    void showStatus(const QString& text);
    void pollPause(int us);
    void progressTotal(int total);
    void progressCompleted(int completed);
    // Ends the body with the result and the text to show.
    [[noreturn]] void fail(const OpResult& result, const QString& text) const;
    [[noreturn]] void fail(ErrorKind kind, OpStep step, const QString& text, std::uint32_t address = 0) const;
    // Ends the body when an engine step did not succeed: cancelled, or a
    // memory block's failure with its text and the lock note.
    void check(const OpResult& result, const char* blockText = nullptr) const;
    void openDevice();
    ByteOutcome readByte(ConfigId id);
    static int shown(const ByteOutcome& r);
    void readIdentification();
    void readConfiguration();
    void eraseChip();
    void readMemory(MemKind kind);
    void writeFlash(const TBuffer& image, bool flashAll);
    void writeEeprom(const TBuffer& image);
    // Before anything changes on the device: can the configuration be written?
    void checkConfig(const ConfigRequest& config, bool erases) const;
    // The fuse step of WRITE.
    void writeConfig(const ConfigRequest& config);
    std::optional<std::uint8_t> fieldByte(Ctl field, const char* name) const;

    MemoryImages& images_;
    OpsView& view_;
    ChipSession session_;
    bool busy_ = false;
    bool securityRead_ = true;
    // Controls that show a configuration byte whose read failed, with the
    // text they showed then: a fuse step refuses to write it unless the user
    // has typed another value since (the HSB: until it is read again).
    std::map<Ctl, QString> unread_;
    // Configuration fields neither read from the chip nor changed by the user
    // since the controls were cleared: the fuse step leaves their bytes alone.
    std::set<Ctl> untouched_;
};

} // namespace corvane
