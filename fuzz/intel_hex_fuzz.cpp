// SPDX-License-Identifier: GPL-3.0-or-later
// Intel HEX text: the reader either refuses it with a file content error or
// gives a 64 KB image, and writing that image and reading it back gives the
// same image again.

#include "image/intel_hex.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    TBuffer image;
    try {
        ReadIntelHex(text, image);
    } catch (const EDateiError&) {
        return 0;
    }
    if (image.size() != IntelHexReader::kAddressSpace)
        std::abort();

    const QByteArray written = WriteIntelHex(image);
    TBuffer again;
    try {
        ReadIntelHex(written, again);
    } catch (const EDateiError& e) {
        std::fprintf(stderr, "written text refused: %s\n", qPrintable(e.message()));
        std::abort();
    }
    if (again != image) {
        std::fprintf(stderr, "round trip changed the image\n");
        std::abort();
    }
    return 0;
}
