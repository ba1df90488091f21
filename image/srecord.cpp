// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/srecord.h"

#include "core/hex_digit.h"
#include "core/local_text.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

constexpr std::size_t kRecordBytes = 16;
constexpr std::uint64_t kSixteenBits = 0x10000;

// Control characters have no place in a text file; a tab or a form feed may
// stand in a comment.
bool isControlChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t' && c != '\f') || u == 0x7F;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr qsizetype kByteOrderMarkLength = 3;

// Bytes of the address field by record type; 0 for a type that does not exist.
constexpr std::array<unsigned, 10> kAddressBytes{2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

const char kUpperDigits[] = "0123456789ABCDEF";

void appendHexByte(QByteArray& out, unsigned value) {
    out.append(kUpperDigits[(value >> 4) & 0xF]);
    out.append(kUpperDigits[value & 0xF]);
}

} // namespace

// ---------------------------------------------------------------- reader

SRecordReader::SRecordReader(TBuffer& buffer, std::size_t length) : buffer_(buffer) {
    buffer_.assign(length, kErased);
}

void SRecordReader::read(TextLineReader& source) {
    QByteArray line;
    qsizetype length = 0;
    while (source.nextLine(line, length)) {
        if (!readLine(line, length))
            return; // the terminator
    }
    if (!recordSeen_)
        throw EDateiError(QStringLiteral("No S-record data"));
}

void SRecordReader::raiseLineError(const QString& reason) const {
    QString text = escapeControlChars(decodeFileName(line_));
    if (lineCut_)
        text += QStringLiteral("...");
    throw EDateiError(reason + QStringLiteral(" - line #") + QString::number(lineNumber_) +
                      QLatin1Char('\r') + text);
}

bool SRecordReader::readLine(const QByteArray& line, qsizetype fullLength) {
    if (lineNumber_ == 1 && !markSkipped_ && line.startsWith(kByteOrderMark)) {
        markSkipped_ = true;
        return readLine(line.mid(kByteOrderMarkLength), fullLength - kByteOrderMarkLength);
    }
    line_.resize(0);
    line_.append(line);
    lineCut_ = fullLength > line.size();
    // A record is "S" (or "s") and a digit; any other line is none.
    const bool record =
        line.size() >= 2 && (line[0] == 'S' || line[0] == 's') && line[1] >= '0' && line[1] <= '9';
    if (!record) {
        // A comment or a blank line; binary data is no text at all.
        if (std::any_of(line.begin(), line.end(), isControlChar))
            raiseLineError(QStringLiteral("Illegal Char"));
        ++lineNumber_;
        return true;
    }

    const char* const text = line.constData();
    const qsizetype size = line.size();
    const int type = text[1] - '0';
    if (kAddressBytes[std::size_t(type)] == 0)
        raiseLineError(QStringLiteral("Unknown record type"));
    const unsigned addressBytes = kAddressBytes[std::size_t(type)];

    // Two hex digits at index i (0-based) as a byte, else "Illegal Char".
    auto byteAt = [&](qsizetype i) -> unsigned {
        const int high = i < size ? hexDigitValue(text[i]) : -1;
        const int low = i + 1 < size ? hexDigitValue(text[i + 1]) : -1;
        if (high < 0 || low < 0)
            raiseLineError(QStringLiteral("Illegal Char"));
        return unsigned(high * 16 + low);
    };

    if (fullLength % 2 != 0 || fullLength < 4)
        raiseLineError(QStringLiteral("Wrong length"));
    const unsigned count = byteAt(2);
    if ((fullLength - 4) / 2 != qsizetype(count) || count < addressBytes + 1)
        raiseLineError(QStringLiteral("Wrong length"));
    // From here on the line is complete: at most 4 + 2 * 255 characters.
    unsigned sum = count;
    std::uint32_t address = 0;
    for (unsigned i = 0; i < addressBytes; ++i) {
        const unsigned b = byteAt(4 + 2 * qsizetype(i));
        sum += b;
        address = (address << 8) | b;
    }
    const unsigned dataCount = count - addressBytes - 1;
    std::array<std::uint8_t, 255> data{};
    for (unsigned i = 0; i < dataCount; ++i) {
        data[i] = std::uint8_t(byteAt(4 + 2 * qsizetype(addressBytes + i)));
        sum += data[i];
    }
    const unsigned checksum = byteAt(4 + 2 * qsizetype(count - 1));
    if (((sum + checksum) & 0xFF) != 0xFF)
        raiseLineError(QStringLiteral("Wrong Checksum"));

    switch (type) {
    case 0: // the header: a name or a comment of the file's maker
        break;
    case 1:
    case 2:
    case 3:
        recordSeen_ = true;
        ++dataRecords_;
        storeData(address, data.data(), dataCount);
        break;
    case 5:
    case 6:
        if (dataCount != 0)
            raiseLineError(QStringLiteral("Wrong length"));
        if (address != dataRecords_)
            raiseLineError(
                QStringLiteral("Wrong record count (file %1, read %2)").arg(address).arg(dataRecords_));
        break;
    default: // 7, 8, 9: the terminator with the start address
        if (dataCount != 0)
            raiseLineError(QStringLiteral("Wrong length"));
        recordSeen_ = true; // an empty image, but an image
        return false;
    }
    ++lineNumber_;
    return true;
}

void SRecordReader::storeData(std::uint32_t address, const std::uint8_t* data, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        const std::uint64_t full = std::uint64_t(address) + i;
        if (full < buffer_.size()) {
            buffer_[std::size_t(full)] = data[i];
            if (defined_ && full < defined_->size())
                (*defined_)[std::size_t(full)] = true;
        }
        if (data[i] == kErased)
            continue;
        if (full < buffer_.size()) {
            dataKept_ = true;
            continue;
        }
        farBeyond_ = farBeyond_ || full >= kSixteenBits;
        if (!firstBeyond_ || full < *firstBeyond_)
            firstBeyond_ = full;
    }
}

// ---------------------------------------------------------------- writer

namespace {

// One record: "S", type, count, the address in addressBytes, the data, checksum.
QByteArray formatRecord(int type, std::uint32_t address, unsigned addressBytes, const std::uint8_t* data,
                        std::size_t count) {
    QByteArray line;
    line.reserve(6 + 2 * (qsizetype(addressBytes) + qsizetype(count)));
    line.append('S');
    line.append(char('0' + type));
    const auto length = unsigned(addressBytes + count + 1);
    unsigned sum = length;
    appendHexByte(line, length);
    for (unsigned i = addressBytes; i-- > 0;) {
        const unsigned b = (address >> (8 * i)) & 0xFF;
        sum += b;
        appendHexByte(line, b);
    }
    for (std::size_t i = 0; i < count; ++i) {
        sum += data[i];
        appendHexByte(line, data[i]);
    }
    appendHexByte(line, ~sum & 0xFF);
    return line;
}

// The stretches that are not erased: a stretch ends at two or more 0xFF
// bytes in a row; a single 0xFF between data stays inside it.
std::vector<std::pair<std::size_t, std::size_t>> usedStretches(const TBuffer& buffer) {
    std::vector<std::pair<std::size_t, std::size_t>> stretches; // start, count
    std::size_t j = 0;
    while (j < buffer.size()) {
        if (buffer[j] == kErased) {
            ++j;
            continue;
        }
        // As in the Intel HEX writer, a single 0xFF at address 0 joins the
        // first stretch.
        const std::size_t start = j == 1 ? 0 : j;
        std::size_t end = j + 1; // one past the last byte that is not 0xFF
        for (j = end; j < buffer.size(); ++j) {
            if (buffer[j] != kErased)
                end = j + 1;
            else if (j + 1 >= buffer.size() || buffer[j + 1] == kErased)
                break;
        }
        stretches.emplace_back(start, end - start);
        j = end;
    }
    return stretches;
}

} // namespace

void writeSRecords(const TBuffer& buffer, const std::function<void(const QByteArray& line)>& sink) {
    const auto stretches = usedStretches(buffer);
    const std::uint64_t end = stretches.empty() ? 0 : stretches.back().first + stretches.back().second;
    const int dataType = end <= 0x10000 ? 1 : end <= 0x1000000 ? 2 : 3;
    const unsigned addressBytes = kAddressBytes[std::size_t(dataType)];
    sink(formatRecord(0, 0, 2, nullptr, 0));
    std::uint32_t records = 0;
    for (auto [start, count] : stretches) {
        while (count > 0) {
            const std::size_t n = std::min(count, kRecordBytes);
            sink(formatRecord(dataType, std::uint32_t(start), addressBytes, buffer.data() + start, n));
            ++records;
            start += n;
            count -= n;
        }
    }
    if (records <= 0xFFFF)
        sink(formatRecord(5, records, 2, nullptr, 0));
    else if (records <= 0xFFFFFF)
        sink(formatRecord(6, records, 3, nullptr, 0));
    sink(formatRecord(10 - dataType, 0, addressBytes, nullptr, 0));
}

QByteArray sRecordText(const TBuffer& buffer) {
    QByteArray text;
    writeSRecords(buffer, [&text](const QByteArray& line) {
        text.append(line);
        text.append("\r\n");
    });
    return text;
}

} // namespace corvane
