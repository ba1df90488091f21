// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file of the file module, opened either for reading or for replacing.
// Every failure raises EFileIoError with the number mapped from the operating
// system's error code.
//
// Replacing writes into a temporary file beside the target and swaps it in on
// close, so a failed save never destroys the file it was to replace. (The
// error number of the failing call is needed for the message, which is why
// this is done with the system calls rather than a higher-level save class.)

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace corvane {

class TDiskFile {
public:
    TDiskFile() = default;
    ~TDiskFile() { discard(); }
    TDiskFile(const TDiskFile&) = delete;
    TDiskFile& operator=(const TDiskFile&) = delete;

    // Opens an existing file for reading. Only plain files can be read.
    void openRead(const QString& fileName);
    // Size of the file opened for reading.
    std::int64_t size() const;
    // Reads up to size bytes; fewer only at the end of the file.
    qsizetype read(char* data, qsizetype size);

    // Starts replacing (or creating) the file. Nothing is visible under the
    // name until close() succeeds. A device such as /dev/null is written
    // directly.
    void openReplace(const QString& fileName);
    void write(const char* data, qsizetype size);
    void write(const QByteArray& data) { write(data.constData(), data.size()); }

    // Takes over an open descriptor (standard input or output, a pipe, a
    // terminal, a device) to read or write it as a stream: nothing is
    // swapped in, and close() closes the descriptor.
    void adoptStream(int fd, bool writing);

    bool isOpen() const { return Fd >= 0; }

    // Finishes the file: a replacement is flushed and swapped in.
    void close();
    // Closes without raising; an unfinished replacement is thrown away and
    // the old file stays as it was.
    void discard() noexcept;

private:
    void flush();
    void resetState() noexcept;

    int Fd = -1;
    bool Writing = false;
    QByteArray Target;   // name to swap the temporary file in as (encoded)
    QByteArray TempName; // empty when writing directly
    QByteArray Pending;  // written data not yet handed to the system
    unsigned ModeToKeep = 0;
    bool KeepOwner = false;
    bool ReplacesExisting = false; // the swap replaces a file that exists
    unsigned OwnerUid = 0, OwnerGid = 0;
};

} // namespace corvane
