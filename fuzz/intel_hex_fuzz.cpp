// SPDX-License-Identifier: GPL-3.0-or-later
// Intel HEX text: the reader either refuses it with a file content error or
// gives a 64 KB image, and writing that image and reading it back gives the
// same image again. Each input is also tried with the counts and checksums
// of its record lines made right, so that mutated records get past those
// tests to the code behind them.

#include "core/hex_digit.h"
#include "fuzz_support.h"
#include "image/intel_hex.h"

namespace {

using namespace corvane;

// The text with the count and the checksum of every record line (":"
// followed by an odd number of hexadecimal digits) set to fit the line.
QByteArray withRightChecksums(QByteArray text) {
    static const char kDigits[] = "0123456789ABCDEF";
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != 0x1A)
            ++end;
        const qsizetype length = end - start;
        bool record = length >= 11 && length % 2 == 1 && text[start] == ':';
        for (qsizetype i = start + 1; record && i < end; ++i)
            record = hexDigitValue(text[i]) >= 0;
        if (record && length <= 2 * 255 + 11) {
            const unsigned count = unsigned(length - 11) / 2;
            text[start + 1] = kDigits[count >> 4];
            text[start + 2] = kDigits[count & 0xF];
            unsigned sum = 0;
            for (qsizetype i = start + 1; i < end - 2; i += 2)
                sum += unsigned(hexDigitValue(text[i]) * 16 + hexDigitValue(text[i + 1]));
            const unsigned checksum = (256 - (sum & 0xFF)) & 0xFF;
            text[end - 2] = kDigits[checksum >> 4];
            text[end - 1] = kDigits[checksum & 0xF];
        }
        start = end + 1;
    }
    return text;
}

void readAndRoundTrip(const QByteArray& text) {
    TBuffer image;
    try {
        ReadIntelHex(text, image);
    } catch (const EDateiError&) {
        return;
    }
    fuzz::require(image.size() == IntelHexReader::kAddressSpace, "the image spans 64 KB");
    TBuffer again;
    try {
        ReadIntelHex(WriteIntelHex(image), again);
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
