// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/file_io.h"

#include "core/local_text.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace corvane {

bool loadableFileExists(const QString& fileName) {
    const QByteArray name = encodeFileName(fileName);
    if (name.isEmpty())
        return false;
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return errno != ENOENT && errno != ENOTDIR && errno != ENAMETOOLONG;
    return !S_ISDIR(st.st_mode);
}

QString dataBeyondImageText(std::uint64_t address, std::size_t length) {
    auto hex = [](std::uint64_t v) {
        return QString::number(v, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    };
    return QStringLiteral("Data does not fit into the memory: address %1 lies beyond its end (%2)")
        .arg(hex(address), hex(length - 1));
}

namespace {

qsizetype lastComponentStart(const QString& fileName) {
    return fileName.lastIndexOf(QLatin1Char('/')) + 1;
}

} // namespace

QString lowerFileExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < lastComponentStart(fileName))
        return QString();
    return fileName.mid(dot).toLower();
}

QString completeSaveName(const QString& fileName, int filterIndex) {
    if (fileName.indexOf(QLatin1Char('.'), lastComponentStart(fileName)) >= 0)
        return fileName;
    return fileName + (filterIndex == 2 ? QStringLiteral(".bin") : QStringLiteral(".hex"));
}

FileFormat saveFormatFor(const QString& completedName, int filterIndex) {
    const QString extension = lowerFileExtension(completedName);
    if (extension == QLatin1String(".hex"))
        return FileFormat::IntelHex;
    if (extension == QLatin1String(".bin"))
        return FileFormat::Binary;
    return filterIndex == 2 ? FileFormat::Binary : FileFormat::IntelHex;
}

QString replaceFileExtension(const QString& fileName, const QString& extension) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < lastComponentStart(fileName))
        return fileName;
    return fileName.left(dot) + extension;
}

TFileIo::TFileIo(FileHost& host, MessagePresenter& presenter) : Host(host), Presenter(presenter) {}

namespace {

// Marks the module busy for one load or save and tells the window.
class BusyScope {
public:
    BusyScope(bool& busy, const std::function<void(bool)>& changed) : Busy(busy), Changed(changed) {
        Busy = true;
        if (Changed)
            Changed(true);
    }
    ~BusyScope() {
        Busy = false;
        if (Changed)
            Changed(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& Busy;
    const std::function<void(bool)>& Changed;
};

} // namespace

void TFileIo::showError(const QString& caption, const QString& fileName, const QString& message) {
    ShowMessageBox(Presenter, caption,
                   QStringLiteral("File: ") + escapeControlChars(fileName) + QLatin1Char('\r') + message,
                   MessageKind::Error, MessageButton::Abort, true);
}

bool TFileIo::LoadFile(const QString& fileName, MemKind kind) {
    if (Busy)
        return false;
    BusyScope busy(Busy, BusyChanged);
    BinFileOpen = false;
    HexFileOpen = false;
    LastFailure = Failure::None;
    LastMessage.clear();
    bool result = false;
    try {
        if (!loadableFileExists(fileName)) {
            // Shown as a content error, as the window always has; a missing
            // file is one the program could not reach.
            LastFailure = Failure::Access;
            throw EDateiError(QStringLiteral("Error #2\rFile not found"));
        }
        const QString extension = lowerFileExtension(fileName);
        const std::size_t length = Host.image(kind).size();
        if (extension == QLatin1String(".bin"))
            ReadBinary(fileName, qint64(length));
        else if (extension == QLatin1String(".hex"))
            ReadIntelHex(fileName, length);
        else
            throw EDateiError(QStringLiteral("Unknown file extension!"));
        CloseFiles();
        // Data that extended address records moved wholly past the image is
        // refused even where data beyond it is otherwise dropped: the file was
        // made for other addresses and would load as an erased image.
        if (FirstAddressBeyond && (RefuseDataBeyondImage || DataOnlyMovedBeyond))
            throw EDateiError(dataBeyondImageText(*FirstAddressBeyond, length));

        TBuffer& image = Host.image(kind);
        std::fill(image.begin(), image.end(), kErased);
        std::copy_n(FileBuffer.begin(), std::min(image.size(), FileBuffer.size()), image.begin());
        Host.setFileNameField(kind, fileName);
        Host.refreshView(kind);
        Host.focusView(kind);
        result = true;
    } catch (const EDateiError& e) {
        discardFiles();
        noteFailure(Failure::Content, e.message());
        showError(QStringLiteral("File-Error"), fileName, e.message());
    } catch (const EFileIoError& e) {
        discardFiles();
        noteFailure(Failure::Access, e.message());
        showError(QStringLiteral("IO-Error"), fileName, e.message());
    } catch (...) {
        discardFiles();
        FileBuffer.clear();
        throw;
    }
    discardFiles();
    FileBuffer.clear();
    return result;
}

bool TFileIo::SaveFile(const QString& fileName, MemKind kind) {
    if (Busy)
        return false;
    BusyScope busy(Busy, BusyChanged);
    BinFileOpen = false;
    HexFileOpen = false;
    LastFailure = Failure::None;
    LastMessage.clear();
    bool result = false;
    const int filterIndex = Host.saveFilterIndex();
    const QString completed = completeSaveName(fileName, filterIndex);
    Host.setSaveFileName(completed);
    const FileFormat format = saveFormatFor(completed, filterIndex);
    try {
        FileBuffer = Host.viewData(kind);
        if (format == FileFormat::IntelHex)
            WriteIntelHex(completed);
        else
            WriteBinary(completed);
        CloseFiles();
        result = true;
    } catch (const EFileIoError& e) {
        discardFiles();
        noteFailure(Failure::Access, e.message());
        showError(QStringLiteral("IO-Error"), completed, e.message());
    } catch (...) {
        discardFiles();
        FileBuffer.clear();
        throw;
    }
    FileBuffer.clear();
    return result;
}

void TFileIo::noteFailure(Failure kind, const QString& message) {
    if (LastFailure == Failure::None)
        LastFailure = kind;
    LastMessage = message;
}

void TFileIo::CloseFiles() {
    if (BinFileOpen) {
        BinFileOpen = false;
        BinFile.close();
    }
    if (HexFileOpen) {
        HexFileOpen = false;
        HexFile.close();
    }
}

void TFileIo::discardFiles() noexcept {
    BinFile.discard();
    HexFile.discard();
    BinFileOpen = false;
    HexFileOpen = false;
}

void TFileIo::ReadBinary(const QString& fileName, qint64 limit) {
    FileBuffer.clear();
    FirstAddressBeyond.reset();
    DataOnlyMovedBeyond = false;
    BinFile.openRead(fileName);
    BinFileOpen = true;
    const std::int64_t size = BinFile.size();
    const std::int64_t wanted = limit >= 0 ? std::min<std::int64_t>(size, limit) : size;
    FileBuffer.resize(std::size_t(wanted));
    const qsizetype got = BinFile.read(reinterpret_cast<char*>(FileBuffer.data()), qsizetype(wanted));
    if (got < wanted)
        throw EFileIoError(IoErrorNumber::ReadPastEnd);
    // The rest is only looked through for data (bytes other than 0xFF).
    std::vector<char> chunk(std::size_t{64} * 1024);
    std::uint64_t offset = std::uint64_t(wanted);
    while (offset < std::uint64_t(size)) {
        const qsizetype n = BinFile.read(chunk.data(), qsizetype(chunk.size()));
        if (n <= 0)
            break;
        const auto data =
            std::find_if(chunk.begin(), chunk.begin() + n, [](char c) { return c != char(kErased); });
        if (data != chunk.begin() + n) {
            FirstAddressBeyond = offset + std::uint64_t(data - chunk.begin());
            break;
        }
        offset += std::uint64_t(n);
    }
}

void TFileIo::WriteBinary(const QString& fileName) {
    BinFile.openReplace(fileName);
    BinFileOpen = true;
    BinFile.write(reinterpret_cast<const char*>(FileBuffer.data()), qsizetype(FileBuffer.size()));
}

void TFileIo::ReadIntelHex(const QString& fileName, std::uint64_t limit) {
    FirstAddressBeyond.reset();
    DataOnlyMovedBeyond = false;
    IntelHexReader reader(FileBuffer);
    reader.start(limit);
    LineNumber = reader.LineNumber;
    CurrentLine.clear();
    HexFile.openRead(fileName);
    HexFileOpen = true;
    TextLineReader source([this](char* data, qsizetype size) { return HexFile.read(data, size); });
    try {
        reader.read(source, ProcessMessages);
    } catch (...) {
        LineNumber = reader.LineNumber;
        CurrentLine = reader.currentLine();
        throw;
    }
    LineNumber = reader.LineNumber;
    CurrentLine = reader.currentLine();
    FirstAddressBeyond = reader.firstAddressBeyond();
    DataOnlyMovedBeyond = reader.dataOnlyMovedBeyond();
}

void TFileIo::WriteIntelHex(const QString& fileName) {
    HexFile.openReplace(fileName);
    HexFileOpen = true;
    IntelHexWriter writer(FileBuffer, [this](const QByteArray& line) {
        HexFile.write(line);
        HexFile.write("\r\n", 2);
    });
    writer.WriteIntelHex();
}

} // namespace corvane
