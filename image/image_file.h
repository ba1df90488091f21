// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loading a memory image from a file and saving one, for programs without a
// window, with a typed answer instead of a message box. The Intel HEX and
// binary formats are those of the window's file module, with the same
// checks and messages; S-records are known here as well, a format may be
// named instead of told by the extension, and files may be streams.

#include "core/address_range.h"
#include "image/memory_images.h"

#include <QString>
#include <optional>

namespace corvane {

struct FileResult {
    enum class Problem { None, Access, Content };
    Problem problem = Problem::None;
    QString message; // "NAME: what is wrong", one line; empty on success
    QString name;    // the file read or written (a saved name as completed with ".hex")

    bool ok() const { return problem == Problem::None; }
};

enum class ImageFormat { IntelHex, SRecord, Binary };

// The format a name's extension tells: ".hex", ".ihx", ".ihex" Intel HEX;
// ".srec", ".s19", ".s28", ".s37", ".mot" S-record; ".bin" binary; nothing
// for any other extension or none.
std::optional<ImageFormat> formatForExtension(const QString& fileName);

struct LoadOptions {
    // Drop data beyond the image instead of refusing the file.
    bool truncate = false;
    // The file's format whatever its extension; without it, the extension
    // tells, and "-" (standard input) is Intel HEX.
    std::optional<ImageFormat> format;
};

// Replaces image (its length is kept) with the file's content; image is
// unchanged on failure. Data beyond the image is refused as bad content
// naming its first address, unless truncate drops it. "-" reads standard
// input, and the name of one of the program's descriptors (such as
// /dev/stdin) reads that descriptor.
//
// defined, when given, receives the addresses the file gives bytes for, in
// order and joined where they touch: a binary file its first bytes (as many
// as the file has, up to the image's length), Intel HEX and S-records the
// addresses of their data records inside the image, 0xFF bytes included.
FileResult loadImageFile(const QString& fileName, TBuffer& image, const LoadOptions& options = {},
                         Ranges* defined = nullptr);

struct SaveOptions {
    // The file's format, the name taken as it is; without it, the extension
    // tells and any other name is Intel HEX, a regular file's name without
    // an extension completed with ".hex".
    std::optional<ImageFormat> format;
};

// Writes image into the file; an old file of that name stays as it was on
// failure (a temporary file is renamed over it). "-" writes standard
// output; the name of one of the program's descriptors (/dev/stdout), a
// device or a FIFO is opened and written as it is, never replaced and never
// given an extension.
FileResult saveImageFile(const QString& fileName, const TBuffer& image, const SaveOptions& options = {});

} // namespace corvane
