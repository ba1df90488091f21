// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Intel HEX codec: reads record lines into a 64 KB byte space and writes the
// non-erased stretches of a buffer as data records. It knows nothing of files
// or windows; the file module feeds it lines and takes its output lines.

#include "image/file_error.h"
#include "image/memory_images.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace corvane {

// Splits a byte stream into text lines. A line ends at CR (an LF right after it
// belongs to the line end) or at a lone LF; a last line without a line end is a
// line too; a Ctrl-Z byte ends the text. Lines longer than kKeptLineLength
// keep only their start, but their full length is reported.
class TextLineReader {
public:
    static constexpr qsizetype kKeptLineLength = 1024;

    // Fills the given space with up to size bytes and returns how many; 0 at
    // the end of the stream. May throw (an I/O error of the stream).
    using ChunkReader = std::function<qsizetype(char* data, qsizetype size)>;

    explicit TextLineReader(ChunkReader read);

    // The next line without its line end; false when no line is left.
    // fullLength is the line's length before any cut.
    bool nextLine(QByteArray& line, qsizetype& fullLength);

private:
    bool fill();

    ChunkReader Read;
    QByteArray Chunk;
    qsizetype Pos = 0;
    bool Ended = false;
    bool SkipLineFeed = false;
};

// A stream over text in memory, handing it out in pieces of at most chunk bytes.
TextLineReader::ChunkReader chunksOf(QByteArray text,
                                     qsizetype chunk = std::numeric_limits<qsizetype>::max());

// Reads Intel HEX record lines into a buffer of 0x10000 bytes (erased to 0xFF).
// Data records land at their address plus the base that the latest extended
// segment (02) or extended linear (04) address record set; bytes whose full
// address lies outside the buffer are dropped.
//
// Text that is not Intel HEX is refused: a line that is no record may be a
// comment (tabs and form feeds included), but one holding other control
// characters (binary data) is an "Illegal Char", and a text with neither a
// data record nor the end record (empty, or records nowhere) is not an image.
// The end record alone is an empty image. A UTF-8 byte-order mark before the
// first line is skipped.
class IntelHexReader {
public:
    static constexpr std::size_t kAddressSpace = 0x10000;

    explicit IntelHexReader(TBuffer& buffer) : FileBuffer(buffer) {}

    // Resets the buffer and the line counter for a new file. Data at or above
    // keptLength is looked out for (see firstAddressBeyond).
    void start(std::uint64_t keptLength = kAddressSpace);

    // Reads all lines of the source up to the end record or the end of the
    // text. processMessages runs before every line (may be empty). Raises
    // EDateiError for a bad line, or for a text without any record.
    void read(TextLineReader& source, const std::function<void()>& processMessages = {});

    // Checks and decodes one line (without its line end). fullLength is its
    // length before any cut. Returns false for the end record, after which
    // nothing more is to be read. Raises EDateiError for a bad record.
    bool readLine(const QByteArray& line, qsizetype fullLength);
    bool readLine(const QByteArray& line) { return readLine(line, line.size()); }

    // Raises EDateiError: reason + " - line #" + LineNumber + "\r" + CurrentLine.
    [[noreturn]] void RaiseLineError(const QString& reason) const;

    int LineNumber = 1; // 1-based number of the line being read
    // That line, without its line end ("..." marks a line cut for the
    // message), control characters and bytes that are not UTF-8 as \xNN.
    QString currentLine() const;

    // The lowest full address at or above the kept length where a data record
    // put a byte other than 0xFF; nothing when there is none.
    std::optional<std::uint64_t> firstAddressBeyond() const { return FirstBeyond; }
    // True when no byte other than 0xFF lands below the kept length while an
    // extended address record moved some past it: a file made for other
    // addresses, which would load as an erased image.
    bool dataOnlyMovedBeyond() const { return MovedBeyond && !DataKept; }

    // When set: each address below its size that a data record gives a byte
    // for (0xFF bytes included) is marked true. What is read stays the same.
    std::vector<bool>* Defined = nullptr;

private:
    // A data record's bytes at the base address plus address.
    void storeData(std::uint32_t address, const std::uint8_t* data, unsigned count);

    QByteArray CurrentLineBytes;
    bool CurrentLineCut = false;

    TBuffer& FileBuffer;
    std::uint32_t BaseAddress = 0;
    std::uint64_t KeptLength = kAddressSpace;
    std::optional<std::uint64_t> FirstBeyond;
    bool RecordSeen = false;
    bool DataKept = false;    // a byte other than 0xFF below the kept length
    bool MovedBeyond = false; // one at or above it, placed there by a base address
    bool MarkSkipped = false; // the first line's byte-order mark
};

// Builds one data record of count bytes of buffer from address on (without its
// line end): ":" count, the low 16 bits of address, "00", the data, checksum.
QByteArray FormatHexRecord(const TBuffer& buffer, std::size_t address, std::size_t count);

// Writes Intel HEX lines (without line ends) through a sink.
class IntelHexWriter {
public:
    using LineSink = std::function<void(const QByteArray& line)>;

    IntelHexWriter(const TBuffer& buffer, LineSink sink) : FileBuffer(buffer), Sink(std::move(sink)) {}

    // Every stretch of the buffer that is not erased, then the end record. A
    // stretch ends at two or more 0xFF bytes in a row; a single 0xFF between
    // data stays inside it.
    void WriteIntelHex();

    // Cuts count bytes from start into records of 16 bytes counted from start;
    // the last one carries the rest. Records never cross a 64 KB boundary,
    // and data at 0x10000 and above is preceded by an extended linear address
    // record, so buffers up to 64 KB give data records only.
    void WriteHexBlock(std::size_t start, std::size_t count);

private:
    void writeRecord(std::size_t address, std::size_t count);

    const TBuffer& FileBuffer;
    LineSink Sink;
    std::uint32_t UpperAddress = 0;
};

// The whole buffer as Intel HEX text with CR LF line ends.
QByteArray WriteIntelHex(const TBuffer& buffer);

// Reads Intel HEX text into buffer (0x10000 bytes). Raises EDateiError.
void ReadIntelHex(const QByteArray& text, TBuffer& buffer);

} // namespace corvane
