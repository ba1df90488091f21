// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Motorola S-record codec: reads record lines into a memory image and writes
// an image's used stretches as records. Like the Intel HEX codec it knows
// nothing of files; it is fed lines and hands out lines.
//
// A record is "S", its type digit, a count of the bytes that follow (address,
// data and checksum), the address (2 bytes for S0, S1, S5, S9; 3 for S2, S6,
// S8; 4 for S3, S7), the data and the checksum: the ones' complement of the
// low byte of the sum of count, address and data.

#include "image/intel_hex.h"
#include "image/memory_images.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace corvane {

// Reads S-record lines into a buffer of a given length (erased to 0xFF).
// S0 (a header) is read and ignored; S1, S2 and S3 give data at their
// addresses, bytes at or above the length are dropped but looked out for;
// S5 and S6 hold the count of data records before them, which must match;
// S7, S8 and S9 end the records (their start address is ignored), and what
// follows them is not read. S4 and other types are refused.
//
// A record line begins with "S" (or "s") and a digit. As in Intel HEX text,
// any other line may be a comment, unless it holds control characters
// (binary data); a text with neither a data record nor a terminator is not
// an image. A UTF-8 byte-order mark before the first line is skipped.
class SRecordReader {
public:
    SRecordReader(TBuffer& buffer, std::size_t length);

    // Marks, from now on, each address below marks.size() that a data
    // record gives a byte for (0xFF bytes included).
    void trackDefined(std::vector<bool>& marks) { defined_ = &marks; }

    // Reads all lines up to a terminator or the end of the text. Raises
    // EDateiError for a bad line, or for a text without any record.
    void read(TextLineReader& source);

    // Checks and decodes one line (without its line end); fullLength is its
    // length before any cut. Returns false for a terminator. Raises
    // EDateiError "reason - line #N\rLINE" for a bad record.
    bool readLine(const QByteArray& line, qsizetype fullLength);
    bool readLine(const QByteArray& line) { return readLine(line, line.size()); }

    // The 1-based number of the line being read.
    int lineNumber() const { return lineNumber_; }
    // The lowest address at or above the length where a data record put a
    // byte other than 0xFF; nothing when there is none.
    std::optional<std::uint64_t> firstAddressBeyond() const { return firstBeyond_; }
    // True when no byte other than 0xFF lands inside the buffer while some
    // lie at 0x10000 or above: a file made for other addresses, which would
    // load as an erased image.
    bool dataOnlyFarBeyond() const { return farBeyond_ && !dataKept_; }

private:
    [[noreturn]] void raiseLineError(const QString& reason) const;
    void storeData(std::uint32_t address, const std::uint8_t* data, unsigned count);

    TBuffer& buffer_;
    std::vector<bool>* defined_ = nullptr;
    int lineNumber_ = 1;
    QByteArray line_; // the current line, for messages
    bool lineCut_ = false;
    std::uint32_t dataRecords_ = 0;
    std::optional<std::uint64_t> firstBeyond_;
    bool recordSeen_ = false;
    bool dataKept_ = false;
    bool farBeyond_ = false;
    bool markSkipped_ = false;
};

// Writes an image as S-record lines (without line ends): an S0 header, the
// stretches that are not erased (cut as the Intel HEX writer cuts them: a
// single 0xFF between data, or at address 0 before data, stays inside a
// stretch) in records of up to 16
// data bytes, an S5 count of the data records (S6 above 0xFFFF, none above
// 0xFFFFFF) and a terminator with start address 0. The addresses are 16 bits
// (S1, S9) while the data ends at or below 0xFFFF, else 24 (S2, S8) or 32
// bits (S3, S7).
void writeSRecords(const TBuffer& buffer, const std::function<void(const QByteArray& line)>& sink);

// The whole buffer as S-record text with CR LF line ends.
QByteArray sRecordText(const TBuffer& buffer);

} // namespace corvane
