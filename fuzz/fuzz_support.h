// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a folder of their own for the files they
// write, and a way to stop with a report when a property does not hold.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace corvane::fuzz {

// The process's scratch folder, removed when the process ends normally. In
// memory where the system offers it: the targets write files by the thousand.
inline const QString& scratchFolder() {
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/corvane-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/corvane-fuzz-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "no scratch folder: %s\n", qPrintable(dir.errorString()));
        std::abort();
    }
    static const QString path = dir.path();
    return path;
}

inline QString scratchFile(const QString& name) {
    return scratchFolder() + QLatin1Char('/') + name;
}

inline void writeFileOrAbort(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

// A property that must hold for every input: the fuzzer keeps the input
// that breaks it.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", what);
        std::abort();
    }
}

} // namespace corvane::fuzz
