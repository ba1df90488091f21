// SPDX-License-Identifier: GPL-3.0-or-later
// S-record text: the reader either refuses it with a file content error or
// gives an image of the asked length with the addresses it defines, and
// writing that image and reading it back gives the same image again. Each
// input is also tried with the counts and checksums of its record lines
// made right, so that mutated records get past those tests.

#include "core/hex_digit.h"
#include "fuzz_support.h"
#include "image/srecord.h"

namespace {

using namespace corvane;

constexpr std::size_t kLength = 0x8000;

// The text with the count and the checksum of every record line ("S", a
// digit and an even number of hexadecimal digits) set to fit the line.
QByteArray withRightChecksums(QByteArray text) {
    static const char kDigits[] = "0123456789ABCDEF";
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != 0x1A)
            ++end;
        const qsizetype length = end - start;
        bool record = length >= 6 && length % 2 == 0 && text[start] == 'S' &&
                      hexDigitValue(text[start + 1]) >= 0 && hexDigitValue(text[start + 1]) <= 9;
        for (qsizetype i = start + 2; record && i < end; ++i)
            record = hexDigitValue(text[i]) >= 0;
        if (record && length <= 2 * 255 + 4) {
            const unsigned count = unsigned(length - 4) / 2;
            text[start + 2] = kDigits[count >> 4];
            text[start + 3] = kDigits[count & 0xF];
            unsigned sum = 0;
            for (qsizetype i = start + 2; i < end - 2; i += 2)
                sum += unsigned(hexDigitValue(text[i]) * 16 + hexDigitValue(text[i + 1]));
            const unsigned checksum = ~sum & 0xFF;
            text[end - 2] = kDigits[checksum >> 4];
            text[end - 1] = kDigits[checksum & 0xF];
        }
        start = end + 1;
    }
    return text;
}

TBuffer read(const QByteArray& text, std::vector<bool>& defined) {
    TextLineReader source(chunksOf(text));
    TBuffer image;
    defined.assign(kLength, false);
    SRecordReader reader(image, kLength);
    reader.trackDefined(defined);
    reader.read(source);
    return image;
}

void readAndRoundTrip(const QByteArray& text) {
    std::vector<bool> defined;
    TBuffer image;
    try {
        image = read(text, defined);
    } catch (const EDateiError&) {
        return;
    }
    fuzz::require(image.size() == kLength, "the image has the asked length");
    for (std::size_t a = 0; a < kLength; ++a)
        fuzz::require(defined[a] || image[a] == kErased, "a byte the file does not give is erased");
    TBuffer again;
    try {
        again = read(sRecordText(image), defined);
    } catch (const EDateiError&) {
        fuzz::require(false, "the written text reads");
    }
    fuzz::require(again == image, "write and read back give the same image");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    readAndRoundTrip(text);
    const QByteArray repaired = withRightChecksums(text);
    if (repaired != text)
        readAndRoundTrip(repaired);
    return 0;
}
