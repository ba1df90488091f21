// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loading a memory image from a file and saving one, for programs without a
// window: the same formats and checks as the window's file module, with a
// typed answer instead of a message box.

#include "image/memory_images.h"

#include <QString>

namespace corvane {

struct FileResult {
    enum class Problem { None, Access, Content };
    Problem problem = Problem::None;
    QString message; // "NAME: what is wrong", one line; empty on success
    QString name;    // the file read or written (a saved name completed with ".hex")

    bool ok() const { return problem == Problem::None; }
};

// Replaces image (its length is kept) with the file's content; image is
// unchanged on failure. Data beyond the image is refused as bad content
// naming its first address, unless truncate drops it.
FileResult loadImageFile(const QString& fileName, TBuffer& image, bool truncate);

// Writes image into the file (a name without an extension gets ".hex"); an
// old file of that name stays as it was on failure.
FileResult saveImageFile(const QString& fileName, const TBuffer& image);

} // namespace corvane
