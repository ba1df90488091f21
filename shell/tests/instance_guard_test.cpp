// SPDX-License-Identifier: GPL-3.0-or-later
// The single-copy guard, in process and with real copies of the program.

#include "shell/instance_guard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace corvane;

namespace {

// A key of its own for every test, so no test meets another or a copy the
// user is running.
QString freshKey() {
    return QStringLiteral("CORVANE-TEST-") + QUuid::createUuid().toString(QUuid::Id128);
}

// The program, copied into a folder of its own so that anything it writes
// beside itself can be seen.
struct ProgramCopy {
    QTemporaryDir dir;
    QString exe = dir.filePath(QStringLiteral("corvane"));
    ProgramCopy() {
        QFile::copy(QStringLiteral(CORVANE_EXE), exe);
        QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot); }

    void start(QProcess& process, const QString& key, const QStringList& args = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("CORVANE_INSTANCE_KEY"), key);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(exe, args);
    }
};

} // namespace

TEST(InstanceGuard, DefaultKeyIsTheUpperCaseFileNameAndTheUser) {
    EXPECT_EQ(InstanceGuard::defaultKey(QStringLiteral("/opt/tools/Corvane.bin")),
              QStringLiteral("CORVANE.BIN-%1").arg(::getuid()));
}

TEST(InstanceGuard, SecondGuardIsRefusedAsksTheFirstToRaiseAndGetsTheLockOnceTheFirstEnds) {
    const QString key = freshKey();
    {
        InstanceGuard first(key);
        ASSERT_TRUE(first.tryBecomeFirst());
        QSignalSpy raised(&first, &InstanceGuard::raiseRequested);
        InstanceGuard second(key);
        EXPECT_FALSE(second.tryBecomeFirst());
        EXPECT_TRUE(raised.wait(3000));
        EXPECT_EQ(raised.count(), 1);
    }
    InstanceGuard next(key);
    EXPECT_TRUE(next.tryBecomeFirst());
}

TEST(InstanceGuardProcesses, SecondCopyEndsAtOnceWritingNothingAndADeadFirstCopysLockIsTakenOver) {
    const QString key = freshKey();
    ProgramCopy copy;
    QProcess first;
    copy.start(first, key, {QStringLiteral("--no-settings-write")});
    InstanceGuard probe(key);
    const auto exists = [](const QString& path) {
        return QTest::qWaitFor([&] { return QFileInfo::exists(path); }, 10000);
    };
    ASSERT_TRUE(exists(probe.lockFilePath())) << first.readAll().toStdString();
    ASSERT_TRUE(exists(probe.serverName()));

    const QStringList before = copy.entries();
    QProcess second;
    copy.start(second, key);
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second copy must end by itself";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(copy.entries(), before) << "no settings file or anything else written";
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill(); // a copy that dies leaves a stale lock behind ...
    first.waitForFinished(5000);
    EXPECT_TRUE(probe.tryBecomeFirst()) << "... which the next copy takes over";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
