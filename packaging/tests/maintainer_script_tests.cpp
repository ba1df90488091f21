// The package's maintainer scripts must reload udev where it runs and never
// fail an install or removal where it does not.

#include "packaging/tests/install_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace corvane::packaging_test {
namespace {

class MaintainerScript : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tools_.isValid()); }

    // Puts an udevadm on the search path that records its arguments and fails.
    void provideFailingUdevadm() {
        const QString path = tools_.filePath(QStringLiteral("udevadm"));
        QFile fake(path);
        ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
        fake.write(QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\nexit 1\n").arg(logPath()).toUtf8());
        fake.close();
        ASSERT_TRUE(fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther));
    }

    // Runs a script with only the tools folder on the search path.
    RunResult runScript(const QString& script, const QString& action) {
        return runProgram(QStringLiteral("/bin/sh"), {scriptPath(script), action}, toolsOnlyEnvironment());
    }

    // Runs a script in a private mount namespace whose /run is fresh, with or
    // without the /run/udev folder that tells that udev is running. Skips the
    // test where namespaces are not permitted (not root).
    RunResult runScriptWithUdev(bool udevRunning, const QString& script, const QString& action) {
        const QString prepare = udevRunning ? QStringLiteral("/bin/mkdir /run/udev && ") : QString();
        const QString command = QStringLiteral("/bin/mount -t tmpfs corvane-test /run && ") + prepare +
                                QStringLiteral("exec /bin/sh \"$0\" \"$1\"");
        const QStringList arguments{QStringLiteral("-m"), QStringLiteral("/bin/sh"),
                                    QStringLiteral("-c"), command,
                                    scriptPath(script),   action};
        const RunResult probe =
            runProgram(QStringLiteral("/usr/bin/unshare"),
                       {QStringLiteral("-m"), QStringLiteral("/bin/mount"), QStringLiteral("-t"),
                        QStringLiteral("tmpfs"), QStringLiteral("probe"), QStringLiteral("/run")});
        if (probe.exitCode != 0)
            return {-2, probe.output};
        return runProgram(QStringLiteral("/usr/bin/unshare"), arguments, toolsOnlyEnvironment());
    }

    static QString scriptPath(const QString& script) {
        return QStringLiteral(CORVANE_PACKAGING_DIR "/debian/") + script;
    }

    QProcessEnvironment toolsOnlyEnvironment() const {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), tools_.path());
        return environment;
    }

    QString logPath() const { return tools_.filePath(QStringLiteral("calls.log")); }

    QStringList calls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir tools_;
};

TEST_F(MaintainerScript, PostinstSucceedsWithoutUdev) {
    const RunResult result = runScript(QStringLiteral("postinst"), QStringLiteral("configure"));
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
}

#define SKIP_WITHOUT_NAMESPACES(result)                                                                      \
    if ((result).exitCode == -2)                                                                             \
    GTEST_SKIP() << "no private mount namespace: " << qPrintable((result).output)

TEST_F(MaintainerScript, PostinstReloadsRulesAndRetriggersTheBootloaderButToleratesFailure) {
    provideFailingUdevadm();
    const RunResult result = runScriptWithUdev(true, QStringLiteral("postinst"), QStringLiteral("configure"));
    SKIP_WITHOUT_NAMESPACES(result);
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
    ASSERT_EQ(calls().size(), 2);
    EXPECT_EQ(calls()[0], QStringLiteral("control --reload-rules"));
    EXPECT_TRUE(calls()[1].startsWith(QStringLiteral("trigger "))) << qPrintable(calls()[1]);
    EXPECT_TRUE(calls()[1].contains(QStringLiteral("idVendor=03eb"))) << qPrintable(calls()[1]);
}

TEST_F(MaintainerScript, PostinstLeavesUdevadmAloneWhereUdevDoesNotRun) {
    // A container or chroot has the tool but no daemon to talk to.
    provideFailingUdevadm();
    const RunResult result =
        runScriptWithUdev(false, QStringLiteral("postinst"), QStringLiteral("configure"));
    SKIP_WITHOUT_NAMESPACES(result);
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(MaintainerScript, PostinstDoesNothingWhenAnUpgradeIsRolledBack) {
    provideFailingUdevadm();
    const RunResult result =
        runScriptWithUdev(true, QStringLiteral("postinst"), QStringLiteral("abort-upgrade"));
    SKIP_WITHOUT_NAMESPACES(result);
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(MaintainerScript, PostrmReloadsRulesOnRemovalAndPurgeOnly) {
    provideFailingUdevadm();
    for (const QString& action :
         {QStringLiteral("remove"), QStringLiteral("purge"), QStringLiteral("upgrade")}) {
        const RunResult result = runScriptWithUdev(true, QStringLiteral("postrm"), action);
        SKIP_WITHOUT_NAMESPACES(result);
        EXPECT_EQ(result.exitCode, 0) << qPrintable(action) << ": " << qPrintable(result.output);
    }
    ASSERT_EQ(calls().size(), 2);
    for (const QString& call : calls())
        EXPECT_EQ(call, QStringLiteral("control --reload-rules"));
}

TEST_F(MaintainerScript, PostrmSucceedsWithoutUdev) {
    const RunResult result = runScript(QStringLiteral("postrm"), QStringLiteral("purge"));
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
}

TEST_F(MaintainerScript, ScriptsAreExecutableAsThePackageFormatRequires) {
    for (const QString& script : {QStringLiteral("postinst"), QStringLiteral("postrm")}) {
        EXPECT_TRUE(QFileInfo(QStringLiteral(CORVANE_PACKAGING_DIR "/debian/") + script).isExecutable())
            << qPrintable(script);
    }
}

} // namespace
} // namespace corvane::packaging_test
