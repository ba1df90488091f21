#pragma once
// Helpers for the install tests: running programs, staging an install of the
// build folder, and looking at what landed.

#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvane::packaging_test {

struct RunResult {
    int exitCode = -1; // -1 when the program could not start, crashed or timed out
    QString output;    // standard output and standard error, interleaved
};

RunResult runProgram(const QString& program, const QStringList& arguments,
                     const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
                     int timeoutMs = 60000);

// `cmake --install` of the build folder into prefix; with destDir set, the
// prefix is taken below destDir as a package build does.
RunResult installBuild(const QString& prefix, const QString& destDir = {});

// Every file (and symbolic link) below root, as paths relative to root, sorted.
QStringList filesBelow(const QString& root);

// A comma-separated list handed in by the build.
QStringList buildList(const char* text);

// Width and height from a PNG file's header; nothing if the file is not a PNG.
std::optional<QSize> pngSize(const QString& path);

} // namespace corvane::packaging_test
