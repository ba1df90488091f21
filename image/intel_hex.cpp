// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/intel_hex.h"

#include "core/hex_digit.h"
#include "core/local_text.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr qsizetype kChunkSize = 64 * 1024;
constexpr std::size_t kRecordBytes = 16;

int hexDigit(char c) {
    return hexDigitValue(c);
}

// Control characters have no place in a text file; a tab or a form feed (a
// page break) may stand in a comment.
bool isControlChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\f') || u == 0x7F;
}

// The UTF-8 byte-order mark some editors put before the first line.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr qsizetype kByteOrderMarkLength = 3;

const char kUpperDigits[] = "0123456789ABCDEF";

void appendHexByte(QByteArray& out, unsigned value) {
    out.append(kUpperDigits[(value >> 4) & 0xF]);
    out.append(kUpperDigits[value & 0xF]);
}

} // namespace

// ---------------------------------------------------------------- lines

TextLineReader::TextLineReader(ChunkReader read) : Read(std::move(read)) {}

TextLineReader::ChunkReader chunksOf(QByteArray text, qsizetype chunk) {
    return [text = std::move(text), chunk, offset = qsizetype(0)](char* data, qsizetype size) mutable {
        const qsizetype n = std::min({size, chunk, text.size() - offset});
        std::copy_n(text.constData() + offset, n, data);
        offset += n;
        return n;
    };
}

bool TextLineReader::fill() {
    if (Ended)
        return false;
    Chunk.resize(kChunkSize);
    const qsizetype got = Read(Chunk.data(), kChunkSize);
    if (got <= 0) {
        Chunk.clear();
        Ended = true;
        return false;
    }
    Chunk.truncate(got);
    Pos = 0;
    return true;
}

bool TextLineReader::nextLine(QByteArray& line, qsizetype& fullLength) {
    line.resize(0); // keeps the capacity for the next line
    fullLength = 0;
    bool any = false; // a character or a line end was seen for this line
    for (;;) {
        if (Pos >= Chunk.size() && !fill())
            return any;
        const char* const data = Chunk.constData();
        const qsizetype size = Chunk.size();
        if (SkipLineFeed) {
            SkipLineFeed = false;
            if (data[Pos] == '\n') {
                ++Pos;
                continue;
            }
        }
        // Take the run of ordinary characters up to the next line end or Ctrl-Z at once.
        qsizetype end = Pos;
        while (end < size && data[end] != '\r' && data[end] != '\n' && data[end] != kCtrlZ)
            ++end;
        if (end > Pos) {
            any = true;
            const qsizetype keep = std::min(end - Pos, std::max<qsizetype>(0, kKeptLineLength - fullLength));
            if (keep > 0)
                line.append(data + Pos, keep);
            fullLength += end - Pos;
            Pos = end;
        }
        if (Pos >= size)
            continue;
        const char c = data[Pos];
        if (c == kCtrlZ) {
            Ended = true;
            Chunk.clear();
            Pos = 0;
            return any;
        }
        ++Pos;
        if (c == '\r')
            SkipLineFeed = true;
        return true;
    }
}

// ---------------------------------------------------------------- reader

void IntelHexReader::start(std::uint64_t keptLength) {
    FileBuffer.assign(kAddressSpace, kErased);
    LineNumber = 1;
    CurrentLineBytes.clear();
    CurrentLineCut = false;
    BaseAddress = 0;
    KeptLength = keptLength;
    FirstBeyond.reset();
    RecordSeen = false;
    DataKept = false;
    MovedBeyond = false;
    MarkSkipped = false;
}

void IntelHexReader::read(TextLineReader& source, const std::function<void()>& processMessages) {
    QByteArray line;
    qsizetype length = 0;
    for (;;) {
        if (processMessages)
            processMessages();
        if (!source.nextLine(line, length))
            break;
        if (!readLine(line, length))
            return; // the end record
    }
    if (!RecordSeen)
        throw EDateiError(QStringLiteral("No Intel HEX records"));
}

QString IntelHexReader::currentLine() const {
    QString text = escapeControlChars(decodeFileName(CurrentLineBytes));
    if (CurrentLineCut)
        text += QStringLiteral("...");
    return text;
}

void IntelHexReader::RaiseLineError(const QString& reason) const {
    throw EDateiError(reason + QStringLiteral(" - line #") + QString::number(LineNumber) + QLatin1Char('\r') +
                      currentLine());
}

bool IntelHexReader::readLine(const QByteArray& line, qsizetype fullLength) {
    // A byte-order mark is no part of the first record.
    if (LineNumber == 1 && !MarkSkipped && line.startsWith(kByteOrderMark)) {
        MarkSkipped = true;
        return readLine(line.mid(kByteOrderMarkLength), fullLength - kByteOrderMarkLength);
    }
    // The text of the line is only built when a message needs it.
    CurrentLineBytes.resize(0);
    CurrentLineBytes.append(line);
    CurrentLineCut = fullLength > line.size();
    if (line.isEmpty() || line[0] != ':') {
        // A comment or a blank line; binary data is no text at all.
        if (std::any_of(line.begin(), line.end(), isControlChar))
            RaiseLineError(QStringLiteral("Illegal Char"));
        ++LineNumber;
        return true;
    }

    // Two hex digits at index i (0-based) as a byte, else "Illegal Char".
    const char* const text = line.constData();
    const qsizetype size = line.size();
    auto byteAt = [&](qsizetype i) -> unsigned {
        const int high = i < size ? hexDigit(text[i]) : -1;
        const int low = i + 1 < size ? hexDigit(text[i + 1]) : -1;
        if (high < 0 || low < 0)
            RaiseLineError(QStringLiteral("Illegal Char"));
        return unsigned(high * 16 + low);
    };

    if (fullLength % 2 == 0)
        RaiseLineError(QStringLiteral("Wrong length"));
    const unsigned count = byteAt(1);
    if ((fullLength - 1) / 2 != qsizetype(count) + 5)
        RaiseLineError(QStringLiteral("Wrong length"));
    // From here on the line is complete: at most 2 * 255 + 11 characters.
    const unsigned addressHigh = byteAt(3);
    const unsigned addressLow = byteAt(5);
    const unsigned type = byteAt(7);
    unsigned sum = addressHigh + count + addressLow + type;
    std::uint8_t data[255];
    for (unsigned i = 0; i < count; ++i) {
        data[i] = std::uint8_t(byteAt(9 + 2 * qsizetype(i)));
        sum += data[i];
    }
    const unsigned checksum = byteAt(9 + 2 * qsizetype(count));
    if (((sum + checksum) & 0xFF) != 0)
        RaiseLineError(QStringLiteral("Wrong Checksum"));

    const std::uint32_t address = (addressHigh << 8) | addressLow;
    switch (type) {
    case 0x00:
        RecordSeen = true;
        storeData(address, data, count);
        break;
    case 0x01:
        RecordSeen = true; // an empty image, but an image
        return false;
    case 0x02: // extended segment address: base = segment * 16
        if (count == 2)
            BaseAddress = ((std::uint32_t(data[0]) << 8) | data[1]) << 4;
        break;
    case 0x04: // extended linear address: the upper 16 bits
        if (count == 2)
            BaseAddress = ((std::uint32_t(data[0]) << 8) | data[1]) << 16;
        break;
    default: // start addresses and anything else carry nothing for the image
        break;
    }
    ++LineNumber;
    return true;
}

void IntelHexReader::storeData(std::uint32_t address, const std::uint8_t* data, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t full = std::uint64_t(BaseAddress) + address + i;
        if (full < FileBuffer.size())
            FileBuffer[std::size_t(full)] = data[i];
        if (Defined && full < Defined->size())
            (*Defined)[std::size_t(full)] = true;
        if (data[i] == kErased)
            continue;
        if (full < KeptLength) {
            DataKept = true;
            continue;
        }
        MovedBeyond = MovedBeyond || BaseAddress != 0;
        if (!FirstBeyond || full < *FirstBeyond)
            FirstBeyond = full;
    }
}

void ReadIntelHex(const QByteArray& text, TBuffer& buffer) {
    TextLineReader source(chunksOf(text));
    IntelHexReader reader(buffer);
    reader.start();
    reader.read(source);
}

// ---------------------------------------------------------------- writer

QByteArray FormatHexRecord(const TBuffer& buffer, std::size_t address, std::size_t count) {
    QByteArray line;
    line.reserve(qsizetype(11 + 2 * count));
    line.append(':');
    unsigned sum = unsigned(count) + ((address >> 8) & 0xFF) + (address & 0xFF);
    appendHexByte(line, unsigned(count));
    appendHexByte(line, unsigned(address >> 8));
    appendHexByte(line, unsigned(address));
    line.append("00");
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = buffer[address + i];
        sum += b;
        appendHexByte(line, b);
    }
    appendHexByte(line, (256 - (sum & 0xFF)) & 0xFF);
    return line;
}

void IntelHexWriter::writeRecord(std::size_t address, std::size_t count) {
    const auto upper = std::uint32_t(address >> 16);
    if (upper != UpperAddress) {
        UpperAddress = upper;
        QByteArray line(":02000004");
        appendHexByte(line, (upper >> 8) & 0xFF);
        appendHexByte(line, upper & 0xFF);
        const unsigned sum = 2 + 4 + ((upper >> 8) & 0xFF) + (upper & 0xFF);
        appendHexByte(line, (256 - (sum & 0xFF)) & 0xFF);
        Sink(line);
    }
    Sink(FormatHexRecord(FileBuffer, address, count));
}

void IntelHexWriter::WriteHexBlock(std::size_t start, std::size_t count) {
    while (count > 0) {
        std::size_t n = std::min(count, kRecordBytes);
        const std::size_t toBoundary = 0x10000 - (start & 0xFFFF);
        n = std::min(n, toBoundary);
        writeRecord(start, n);
        start += n;
        count -= n;
    }
}

void IntelHexWriter::WriteIntelHex() {
    std::size_t run = 0; // 0xFF bytes seen in a row
    std::size_t start = 0;
    std::size_t count = 0;
    for (std::size_t j = 0; j < FileBuffer.size(); ++j) {
        if (FileBuffer[j] == kErased) {
            ++run;
            if (run >= 2 && count > 0) {
                WriteHexBlock(start, count);
                count = 0;
            }
        } else {
            if (run == 1) {
                run = 0;
                ++count; // the single 0xFF before this byte joins the stretch
            }
            if (run >= 2) {
                run = 0;
                start = j;
            }
            ++count;
        }
    }
    if (count > 0)
        WriteHexBlock(start, count);
    Sink(QByteArrayLiteral(":00000001FF"));
}

QByteArray WriteIntelHex(const TBuffer& buffer) {
    QByteArray text;
    IntelHexWriter writer(buffer, [&](const QByteArray& line) {
        text.append(line);
        text.append("\r\n");
    });
    writer.WriteIntelHex();
    return text;
}

} // namespace corvane
