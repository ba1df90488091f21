// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for the install tests: running programs and staging an install of
// the build folder.

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <signal.h>
#include <unistd.h>

namespace corvane::packaging_test {

struct RunResult {
    int exitCode = -1; // -1 when the program could not start, crashed or timed out
    QString output;    // standard output and standard error, interleaved
};

inline RunResult
runProgram(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Its own process group, so that a timeout ends everything it started.
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start(program, arguments);
    if (!process.waitForStarted(60000))
        return {-1, process.errorString()};
    const bool finished = process.waitForFinished(60000);
    if (!finished) {
        ::kill(-static_cast<pid_t>(process.processId()), SIGKILL);
        process.kill();
        process.waitForFinished();
    }
    const QString output = QString::fromLocal8Bit(process.readAll()) + (finished ? "" : "\n[timed out]");
    return {finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, output};
}

// `cmake --install` of the build folder into prefix; with destDir set, the
// prefix is taken below destDir as a package build does.
inline RunResult installBuild(const QString& prefix, const QString& destDir = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DESTDIR");
    if (!destDir.isEmpty())
        environment.insert("DESTDIR", destDir);
    return runProgram(CORVANE_CMAKE, {"--install", CORVANE_BUILD_DIR, "--prefix", prefix}, environment);
}

// Every file (and symbolic link) below root, relative to root, sorted.
inline QStringList filesBelow(const QString& root) {
    QStringList files;
    for (QDirIterator it(root, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();)
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The file's contents; empty when it cannot be read.
inline QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A comma-separated list handed in by the build.
inline QStringList buildList(const char* text) {
    return QString(text).split(',', Qt::SkipEmptyParts);
}

} // namespace corvane::packaging_test
