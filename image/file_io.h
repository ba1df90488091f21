// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file module: loads a file into one of the two memory images and saves a
// hex view's data into a file, as Intel HEX (".hex") or raw binary (".bin").
// Every expected failure ends in one message box; callers only learn success.

#include "core/message_box.h"
#include "image/disk_file.h"
#include "image/file_error.h"
#include "image/intel_hex.h"
#include "image/memory_images.h"

#include <QString>
#include <functional>
#include <optional>

namespace corvane {

// What the file module needs from the main window.
class FileHost {
public:
    virtual ~FileHost() = default;

    // Load: the image that a loaded file replaces (its length is kept).
    virtual TBuffer& image(MemKind kind) = 0;
    // Load: show the loaded file's name in that memory's name field.
    virtual void setFileNameField(MemKind kind, const QString& fileName) = 0;
    // Load: put the image into its hex view (refresh).
    virtual void refreshView(MemKind kind) = 0;
    // Load: give the input focus to the hex view.
    virtual void focusView(MemKind kind) = 0;

    // Save: the hex view's whole current data.
    virtual TBuffer viewData(MemKind kind) const = 0;
    // Save: the save dialog's file type, 1 = Hex-Files, 2 = Bin-Files.
    virtual int saveFilterIndex() const = 0;
    // Save: the name as completed with its extension, back into the save dialog.
    virtual void setSaveFileName(const QString& fileName) = 0;
};

enum class FileFormat { IntelHex, Binary };

// Whether a load should go ahead: false for a name that names nothing, or a
// folder. Where the system cannot tell (no access), the open reports why.
bool loadableFileExists(const QString& fileName);
// The message for data that does not fit: the first such address and the
// memory's size, both in hexadecimal.
QString dataBeyondImageText(std::uint64_t address, std::size_t length);

// Extension of a name in lower case: its last path component from the last
// dot on, the dot included; empty without a dot.
QString lowerFileExtension(const QString& fileName);
// The save name: with the filter's default extension appended when its last
// path component has no dot.
QString completeSaveName(const QString& fileName, int filterIndex);
// The save format: by the extension for ".hex" and ".bin", else by the filter.
FileFormat saveFormatFor(const QString& completedName, int filterIndex);
// The name with its extension replaced by extension (".bin"); a name
// without an extension stays as it is.
QString replaceFileExtension(const QString& fileName, const QString& extension);

class TFileIo {
public:
    TFileIo(FileHost& host, MessagePresenter& presenter);

    // Lets the window process pending messages; called between the lines of
    // an Intel HEX file.
    std::function<void()> ProcessMessages;
    // Told when a load or save starts (true) and ends (false), so that the
    // window can keep other file commands from starting meanwhile.
    std::function<void(bool busy)> BusyChanged;

    // Replaces the image from the file; false after a message box, with the
    // image, its view and its name field unchanged. Also false, without a
    // message, while another load or save is under way. Data beyond the
    // image's length is dropped, or with RefuseDataBeyondImage refused as bad
    // file content naming its first address. A HEX file whose data extended
    // address records all moved past the image is refused in either case.
    bool LoadFile(const QString& fileName, MemKind kind);
    bool RefuseDataBeyondImage = false;
    // Writes the hex view's data into the file; false after a message box.
    // A failed save leaves any old file of that name as it was.
    bool SaveFile(const QString& fileName, MemKind kind);
    bool isBusy() const { return Busy; }

    // What the last LoadFile or SaveFile that failed found: the file could
    // not be reached (missing, no access, the disk), or its content is
    // unusable; and its message without the file's name.
    enum class Failure { None, Access, Content };
    Failure LastFailure = Failure::None;
    QString LastMessage;

    // Closes whichever file is open; a replaced file becomes visible here.
    void CloseFiles();

    // FileBuffer := the file's bytes, at most limit of them (all when negative).
    void ReadBinary(const QString& fileName, qint64 limit = -1);
    void WriteBinary(const QString& fileName);
    // FileBuffer := the 64 KB address space filled from the file.
    void ReadIntelHex(const QString& fileName, std::uint64_t limit = IntelHexReader::kAddressSpace);
    void WriteIntelHex(const QString& fileName);

    // After a read: the lowest address at or above its limit that the file
    // gives a byte other than 0xFF (erased) for; nothing when all data fits.
    std::optional<std::uint64_t> FirstAddressBeyond;
    // After a HEX read: all its data lies there, moved by extended addresses.
    bool DataOnlyMovedBeyond = false;

    TBuffer FileBuffer;
    bool BinFileOpen = false;
    bool HexFileOpen = false;
    QString CurrentLine;
    int LineNumber = 0;

private:
    void discardFiles() noexcept;
    void noteFailure(Failure kind, const QString& message);
    void showError(const QString& caption, const QString& fileName, const QString& message);

    FileHost& Host;
    MessagePresenter& Presenter;
    TDiskFile BinFile;
    TDiskFile HexFile;
    bool Busy = false;
};

} // namespace corvane
