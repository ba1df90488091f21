// SPDX-License-Identifier: GPL-3.0-or-later
// The built corvane-cli started on the simulated bench kept in a temporary
// folder, which is also its working folder, and the files handed to it.

#pragma once

#include "image/memory_images.h"
#include "sim/bench.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <signal.h>

namespace corvane::cli {

struct ToolRun {
    int status = -1;
    QString out, err;
};

// Points the tool at the bench in folder. Through libusb, the tool's USB
// backend reaches the same bench with the libusb stand-in preloaded.
inline QProcessEnvironment benchEnvironment(const QString& folder, bool throughLibusb = false) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVANE_SIM_DIR", folder);
    env.remove("CORVANE_SIM_CONFIG");
    env.remove("LD_PRELOAD");
    if (throughLibusb)
        env.insert("LD_PRELOAD", CORVANE_STANDIN_PATH);
    return env;
}

// A started program; finish() waits for it.
class ToolProcess {
public:
    ToolProcess(const QString& folder, const QString& program, const QStringList& arguments,
                const QProcessEnvironment& env)
        : what_(arguments.join(' ')) {
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(folder);
        process_.start(program, arguments);
    }
    // corvane-cli in-process on the bench (--simulate) or through libusb.
    ToolProcess(const QString& folder, QStringList arguments, bool throughLibusb = false)
        : ToolProcess(folder, CORVANE_CLI_PATH,
                      throughLibusb ? arguments : QStringList{"--simulate"} + arguments,
                      benchEnvironment(folder, throughLibusb)) {}

    // Reads stderr as it comes until done(text so far) holds; false when the
    // program ends or a minute passes first.
    bool waitForError(const std::function<bool(const QString&)>& done) {
        process_.setReadChannel(QProcess::StandardError);
        for (int i = 0; i < 600; ++i) {
            if (process_.waitForReadyRead(100) || process_.bytesAvailable() > 0) {
                if (done(QString::fromUtf8(process_.readAllStandardError())))
                    return true;
            }
            if (process_.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }

    ToolRun finish() {
        if (!process_.waitForFinished(60000)) {
            process_.kill();
            process_.waitForFinished();
            ADD_FAILURE() << "corvane-cli did not finish: " << what_.toStdString();
            return {};
        }
        return {process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1,
                QString::fromUtf8(process_.readAllStandardOutput()),
                QString::fromUtf8(process_.readAllStandardError())};
    }

private:
    QProcess process_;
    QString what_;
};

inline QByteArray bytesOf(const TBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// The state folder and its files.
class ToolFolder : public ::testing::Test {
protected:
    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray readFile(const QString& name) const {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The chips as the tool left them in the folder.
    std::unique_ptr<sim::SimBench> stored(const QString& folder = {}) const {
        return sim::SimBench::fromFolder((folder.isEmpty() ? dir.path() : folder).toStdString());
    }

    QTemporaryDir dir;
};

} // namespace corvane::cli
