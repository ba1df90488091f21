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
    QString exe;
    ProgramCopy() {
        exe = dir.filePath(QStringLiteral("corvane"));
        QFile::copy(QStringLiteral(CORVANE_EXE), exe);
        QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    }
    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot); }
};

void startProgram(QProcess& process, const QString& exe, const QString& key, const QStringList& args = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("CORVANE_INSTANCE_KEY"), key);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(exe, args);
}

bool waitForFile(const QString& path, int ms) {
    return QTest::qWaitFor([&] { return QFileInfo::exists(path); }, ms);
}

} // namespace

TEST(InstanceGuard, DefaultKeyIsTheUpperCaseFileNameAndTheUser) {
    const QString key = InstanceGuard::defaultKey(QStringLiteral("/opt/tools/Corvane.bin"));
    EXPECT_TRUE(key.startsWith(QStringLiteral("CORVANE.BIN-"))) << key.toStdString();
    InstanceGuard fromEnv;
    qputenv("CORVANE_INSTANCE_KEY", "KEY-FROM-ENV");
    InstanceGuard overridden;
    qunsetenv("CORVANE_INSTANCE_KEY");
    EXPECT_EQ(overridden.key(), QStringLiteral("KEY-FROM-ENV"));
    EXPECT_NE(fromEnv.key(), overridden.key());
}

TEST(InstanceGuard, SecondGuardIsRefusedAndAsksTheFirstToRaise) {
    const QString key = freshKey();
    InstanceGuard first(key);
    ASSERT_TRUE(first.tryBecomeFirst());
    QSignalSpy raised(&first, &InstanceGuard::raiseRequested);

    InstanceGuard second(key);
    EXPECT_FALSE(second.tryBecomeFirst());
    EXPECT_FALSE(second.isFirst());
    EXPECT_TRUE(raised.wait(3000));
    EXPECT_EQ(raised.count(), 1);
}

TEST(InstanceGuard, LockIsFreeAgainWhenTheFirstCopyEnds) {
    const QString key = freshKey();
    {
        InstanceGuard first(key);
        ASSERT_TRUE(first.tryBecomeFirst());
    }
    InstanceGuard next(key);
    EXPECT_TRUE(next.tryBecomeFirst());
}

TEST(InstanceGuardProcesses, SecondCopyOfTheProgramEndsAtOnceWithoutTouchingAnything) {
    const QString key = freshKey();
    InstanceGuard running(key);
    ASSERT_TRUE(running.tryBecomeFirst());
    QSignalSpy raised(&running, &InstanceGuard::raiseRequested);

    ProgramCopy copy;
    const QStringList before = copy.entries();
    QProcess second;
    startProgram(second, copy.exe, key);
    ASSERT_TRUE(second.waitForStarted(5000));
    // The running copy is asked to come to the front while the second ends.
    EXPECT_TRUE(raised.wait(5000));
    ASSERT_TRUE(second.waitForFinished(5000)) << "the second copy must end by itself";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(copy.entries(), before) << "no settings file or anything else written";
}

TEST(InstanceGuardProcesses, TwoRealCopiesOnlyTheFirstKeepsRunning) {
    const QString key = freshKey();
    ProgramCopy copy;
    QProcess first;
    startProgram(first, copy.exe, key, {QStringLiteral("--no-settings-write")});
    ASSERT_TRUE(first.waitForStarted(5000));
    InstanceGuard probe(key);
    ASSERT_TRUE(waitForFile(probe.lockFilePath(), 10000)) << first.readAll().toStdString();
    ASSERT_TRUE(waitForFile(probe.serverName(), 10000));

    QProcess second;
    startProgram(second, copy.exe, key);
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill(); // a copy that dies leaves a stale lock behind ...
    first.waitForFinished(5000);
    InstanceGuard next(key);
    EXPECT_TRUE(next.tryBecomeFirst()) << "... which the next copy takes over";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
