// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names that stand for streams rather than files: "-" for standard
// input or output, and the names of the program's own open descriptors.

#include <QString>
#include <optional>

namespace corvane {

// "-": standard input where a file is read, standard output where one is written.
inline bool isStandardStreamName(const QString& fileName) {
    return fileName == QLatin1String("-");
}

// The descriptor of this program that the name stands for: "/dev/stdout",
// "/dev/stderr", "/dev/stdin", "/dev/fd/N", "/proc/self/fd/N" (also through
// symbolic links to them); nothing for any other name.
std::optional<int> descriptorNamed(const QString& fileName);

} // namespace corvane
