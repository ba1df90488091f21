// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/image_file.h"

#include "core/local_text.h"
#include "image/disk_file.h"
#include "image/file_error.h"
#include "image/file_io.h"
#include "image/intel_hex.h"
#include "image/srecord.h"
#include "image/stream_names.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace corvane {

namespace {

// The name as messages show it.
QString shownName(const QString& fileName, bool reading) {
    if (isStandardStreamName(fileName))
        return reading ? QStringLiteral("standard input") : QStringLiteral("standard output");
    return escapeControlChars(fileName);
}

FileResult failure(FileResult::Problem problem, const QString& fileName, const QString& shown,
                   QString message) {
    message.replace(QLatin1Char('\r'), QStringLiteral(": "));
    return {problem, shown + QStringLiteral(": ") + message, fileName};
}

// A copy of one of the program's descriptors, taken over by file.
void adoptDescriptor(TDiskFile& file, int fd, bool writing) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        throw EFileIoError::fromErrno(errno);
    file.adoptStream(copy, writing);
}

// A name of something that exists and is neither a regular file nor a folder.
bool namesDeviceOrFifo(const QByteArray& name) {
    struct stat st {};
    return ::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// Opens a device or a FIFO for writing, waiting for a FIFO's reader.
void openStreamForWriting(TDiskFile& file, const QByteArray& name) {
    int fd = -1;
    do
        fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw EFileIoError::fromErrno(errno);
    file.adoptStream(fd, true);
}

Ranges rangesOf(const std::vector<bool>& marks) {
    Ranges ranges;
    std::size_t i = 0;
    while (i < marks.size()) {
        if (!marks[i]) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < marks.size() && marks[i])
            ++i;
        ranges.push_back({std::uint32_t(start), std::uint32_t(i - start)});
    }
    return ranges;
}

// A file's content as an image of a given length.
struct Decoded {
    TBuffer bytes;
    std::vector<bool> defined; // the addresses the file gives
    std::optional<std::uint64_t> firstBeyond;
    bool onlyBeyond = false; // all data lies far beyond: refused even where dropped otherwise
};

void readBinary(const TextLineReader::ChunkReader& read, Decoded& d) {
    const std::size_t length = d.bytes.size();
    std::size_t got = 0;
    while (got < length) {
        const qsizetype n = read(reinterpret_cast<char*>(d.bytes.data() + got), qsizetype(length - got));
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    std::fill_n(d.defined.begin(), got, true);
    if (got < length)
        return;
    // The rest is only looked through for data (bytes other than 0xFF).
    std::vector<char> chunk(std::size_t{64} * 1024);
    std::uint64_t offset = length;
    for (;;) {
        const qsizetype n = read(chunk.data(), qsizetype(chunk.size()));
        if (n <= 0)
            return;
        const auto data =
            std::find_if(chunk.begin(), chunk.begin() + n, [](char c) { return c != char(kErased); });
        if (data != chunk.begin() + n) {
            d.firstBeyond = offset + std::uint64_t(data - chunk.begin());
            return;
        }
        offset += std::uint64_t(n);
    }
}

Decoded decode(ImageFormat format, const TextLineReader::ChunkReader& read, std::size_t length) {
    Decoded d;
    d.bytes.assign(length, kErased);
    d.defined.assign(length, false);
    switch (format) {
    case ImageFormat::Binary:
        readBinary(read, d);
        break;
    case ImageFormat::IntelHex: {
        TBuffer space;
        IntelHexReader reader(space);
        reader.start(length);
        reader.Defined = &d.defined;
        TextLineReader source(read);
        reader.read(source);
        std::copy_n(space.begin(), std::min(length, space.size()), d.bytes.begin());
        d.firstBeyond = reader.firstAddressBeyond();
        d.onlyBeyond = reader.dataOnlyMovedBeyond();
        break;
    }
    case ImageFormat::SRecord: {
        SRecordReader reader(d.bytes, length);
        reader.trackDefined(d.defined);
        TextLineReader source(read);
        reader.read(source);
        d.firstBeyond = reader.firstAddressBeyond();
        d.onlyBeyond = reader.dataOnlyFarBeyond();
        break;
    }
    }
    return d;
}

void writeImage(ImageFormat format, const TBuffer& image, TDiskFile& file) {
    auto line = [&file](const QByteArray& text) {
        file.write(text);
        file.write("\r\n", 2);
    };
    switch (format) {
    case ImageFormat::Binary:
        file.write(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
        break;
    case ImageFormat::IntelHex: {
        IntelHexWriter writer(image, line);
        writer.WriteIntelHex();
        break;
    }
    case ImageFormat::SRecord:
        writeSRecords(image, line);
        break;
    }
}

} // namespace

std::optional<ImageFormat> formatForExtension(const QString& fileName) {
    const QString extension = lowerFileExtension(fileName);
    for (const char* e : {".hex", ".ihx", ".ihex"}) {
        if (extension == QLatin1String(e))
            return ImageFormat::IntelHex;
    }
    for (const char* e : {".srec", ".s19", ".s28", ".s37", ".mot"}) {
        if (extension == QLatin1String(e))
            return ImageFormat::SRecord;
    }
    if (extension == QLatin1String(".bin"))
        return ImageFormat::Binary;
    return std::nullopt;
}

FileResult loadImageFile(const QString& fileName, TBuffer& image, const LoadOptions& options,
                         Ranges* defined) {
    const QString shown = shownName(fileName, true);
    try {
        TDiskFile file;
        std::optional<ImageFormat> format = options.format;
        const std::optional<int> fd =
            isStandardStreamName(fileName) ? std::optional<int>(0) : descriptorNamed(fileName);
        if (fd) {
            // A stream: Intel HEX unless told otherwise.
            if (!format)
                format = formatForExtension(fileName).value_or(ImageFormat::IntelHex);
            adoptDescriptor(file, *fd, false);
        } else {
            if (!loadableFileExists(fileName))
                return failure(FileResult::Problem::Access, fileName, shown,
                               QStringLiteral("Error #2\rFile not found"));
            if (!format)
                format = formatForExtension(fileName);
            if (!format)
                throw EDateiError(QStringLiteral("Unknown file extension!"));
            file.openRead(fileName);
        }
        Decoded d = decode(
            *format, [&file](char* data, qsizetype size) { return file.read(data, size); }, image.size());
        file.close();
        if (d.firstBeyond && (!options.truncate || d.onlyBeyond))
            throw EDateiError(dataBeyondImageText(*d.firstBeyond, image.size()));
        image = std::move(d.bytes);
        if (defined)
            *defined = rangesOf(d.defined);
    } catch (const EDateiError& e) {
        return failure(FileResult::Problem::Content, fileName, shown, e.message());
    } catch (const EFileIoError& e) {
        return failure(FileResult::Problem::Access, fileName, shown, e.message());
    }
    return {FileResult::Problem::None, {}, fileName};
}

FileResult saveImageFile(const QString& fileName, const TBuffer& image, const SaveOptions& options) {
    QString target = fileName;
    try {
        TDiskFile file;
        const QByteArray encoded = encodeFileName(fileName);
        const std::optional<int> fd =
            isStandardStreamName(fileName) ? std::optional<int>(1) : descriptorNamed(fileName);
        if (fd) {
            adoptDescriptor(file, *fd, true);
        } else if (namesDeviceOrFifo(encoded)) {
            openStreamForWriting(file, encoded);
        } else {
            if (!options.format)
                target = completeSaveName(fileName, 1);
            file.openReplace(target);
        }
        const ImageFormat format = options.format.value_or(
            isStandardStreamName(target) ? ImageFormat::IntelHex
                                         : formatForExtension(target).value_or(ImageFormat::IntelHex));
        writeImage(format, image, file);
        file.close();
    } catch (const EFileIoError& e) {
        return failure(FileResult::Problem::Access, target, shownName(target, false), e.message());
    }
    return {FileResult::Problem::None, {}, target};
}

} // namespace corvane
