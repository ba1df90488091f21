// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One run of the tool: the memory images, the device link module, the
// programming operations and the file module, wired to the terminal. The
// commands drive the operations as the window's buttons do and turn what they
// report into an exit status.

#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "cli/terminal_view.h"
#include "image/file_io.h"
#include "link/usb.h"
#include "ops/operations.h"

#include <QString>
#include <cstdio>

namespace corvane::cli {

class Session : public FileHost {
public:
    Session(DeviceLink& link, TerminalView& view, std::FILE* out, const CommandLine& options);

    // The commands; each returns the exit status.
    int list();
    int info();
    int read();
    int erase();
    int write();
    int config();
    int run();
    int convert();

    MemoryImages Images;
    TUsb Usb;
    TOperations Ops;
    TFileIo Files;

    // --- FileHost: the images stand in for the window's hex views.
    TBuffer& image(MemKind kind) override { return Images.image(kind); }
    void setFileNameField(MemKind, const QString&) override {}
    void refreshView(MemKind) override {}
    void focusView(MemKind) override {}
    TBuffer viewData(MemKind kind) const override { return Images.image(kind); }
    // Saved names without an extension become Intel HEX files.
    int saveFilterIndex() const override { return 1; }
    void setSaveFileName(const QString& fileName) override { savedName_ = fileName; }

    // What the last operation reported.
    const OpResult& lastResult() const { return last_; }
    // After the identification has been read: ExitOk when the chip is the
    // controller named by --controller (or none was named, or --force).
    int checkController();
    // After a failure without --controller: when the chip reports itself as
    // another type than the one assumed, says which --controller to give.
    void hintController();

private:
    // Keeps an operation's result; ExitOk, or the status for its kind of failure.
    int report(const OpResult& result);
    // Reads identification and configuration only (READ with neither memory).
    int readInfo();
    // readInfo, and every byte must have been read; then the chip must be the
    // controller named by --controller (unless --force).
    int readAllInfo();
    // Runs readInfo and checkController when --controller was given.
    int checkControllerFirst();
    int load(const QString& fileName, MemKind kind);
    int save(const QString& fileName, MemKind kind);
    void printInfo();
    // An identification byte as the window's label shows it; "--" when unread.
    QString byteText(ConfigByte where) const;
    void print(const QString& text);

    TerminalView& view_;
    std::FILE* out_;
    const CommandLine& options_;
    QString savedName_;
    OpResult last_;
    int device_ = 0;
};

// The exit status for an operation's kind of failure.
int exitStatusFor(ErrorKind kind);

} // namespace corvane::cli
