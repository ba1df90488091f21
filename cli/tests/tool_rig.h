// SPDX-License-Identifier: GPL-3.0-or-later
// The built corvane-cli started on the simulated bench kept in a temporary
// folder, which is also its working folder, and the files handed to it.

#pragma once

#include "image/memory_images.h"
#include "sim/bench.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
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

// A started program, its output gathered as it comes; finish() waits for it.
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
    ~ToolProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Until stderr (or stdout) holds text count times; false when the
    // program ends first, or a minute passes.
    bool waitForError(const QString& text, int count = 1) { return waitFor(err_, text, count); }
    bool waitForOutput(const QString& text, int count = 1) { return waitFor(out_, text, count); }
    QString error() const { return err_; }
    void signal(int number) const { ::kill(pid_t(process_.processId()), number); }

    ToolRun finish() {
        if (!process_.waitForFinished(60000)) {
            process_.kill();
            process_.waitForFinished();
            ADD_FAILURE() << "corvane-cli did not finish: " << what_.toStdString();
            return {};
        }
        gather();
        return {process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1, out_, err_};
    }

private:
    void gather() {
        out_ += QString::fromUtf8(process_.readAllStandardOutput());
        err_ += QString::fromUtf8(process_.readAllStandardError());
    }
    bool waitFor(const QString& where, const QString& text, int count) {
        for (int i = 0; i < 600; ++i) {
            gather();
            if (where.count(text) >= count)
                return true;
            if (process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(100);
        }
        return false;
    }

    QProcess process_;
    QString what_;
    QString out_, err_;
};

// The JSON document the tool printed, and its devices by number.
inline QJsonObject json(const ToolRun& run) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    return doc.object();
}
inline std::map<int, QJsonObject> byDevice(const QJsonObject& o) {
    std::map<int, QJsonObject> devices;
    for (const QJsonValue& v : o["devices"].toArray())
        devices[v.toObject()["device"].toInt()] = v.toObject();
    return devices;
}

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
