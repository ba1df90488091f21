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
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), tools_.path());
        return runProgram(QStringLiteral("/bin/sh"),
                          {QStringLiteral(CORVANE_PACKAGING_DIR "/debian/") + script, action}, environment);
    }

    QString logPath() const { return tools_.filePath(QStringLiteral("calls.log")); }

    QStringList calls() const {
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static bool udevRuns() { return QFileInfo(QStringLiteral("/run/udev")).isDir(); }

    QTemporaryDir tools_;
};

TEST_F(MaintainerScript, PostinstSucceedsWithoutUdev) {
    const RunResult result = runScript(QStringLiteral("postinst"), QStringLiteral("configure"));
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
}

TEST_F(MaintainerScript, PostinstReloadsRulesAndRetriggersTheBootloaderButToleratesFailure) {
    provideFailingUdevadm();
    const RunResult result = runScript(QStringLiteral("postinst"), QStringLiteral("configure"));
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
    if (!udevRuns()) {
        EXPECT_TRUE(calls().isEmpty()) << "udevadm called although udev does not run here";
        return;
    }
    ASSERT_EQ(calls().size(), 2);
    EXPECT_EQ(calls()[0], QStringLiteral("control --reload-rules"));
    EXPECT_TRUE(calls()[1].startsWith(QStringLiteral("trigger "))) << qPrintable(calls()[1]);
    EXPECT_TRUE(calls()[1].contains(QStringLiteral("idVendor=03eb"))) << qPrintable(calls()[1]);
}

TEST_F(MaintainerScript, PostinstDoesNothingWhenAnUpgradeIsRolledBack) {
    provideFailingUdevadm();
    const RunResult result = runScript(QStringLiteral("postinst"), QStringLiteral("abort-upgrade"));
    EXPECT_EQ(result.exitCode, 0) << qPrintable(result.output);
    EXPECT_TRUE(calls().isEmpty());
}

TEST_F(MaintainerScript, PostrmReloadsRulesOnRemovalAndPurgeOnly) {
    provideFailingUdevadm();
    for (const QString& action :
         {QStringLiteral("remove"), QStringLiteral("purge"), QStringLiteral("upgrade")}) {
        const RunResult result = runScript(QStringLiteral("postrm"), action);
        EXPECT_EQ(result.exitCode, 0) << qPrintable(action) << ": " << qPrintable(result.output);
    }
    EXPECT_EQ(calls().size(), udevRuns() ? 2 : 0);
    for (const QString& call : calls())
        EXPECT_EQ(call, QStringLiteral("control --reload-rules"));
}

TEST_F(MaintainerScript, ScriptsAreExecutableAsThePackageFormatRequires) {
    for (const QString& script : {QStringLiteral("postinst"), QStringLiteral("postrm")}) {
        EXPECT_TRUE(QFileInfo(QStringLiteral(CORVANE_PACKAGING_DIR "/debian/") + script).isExecutable())
            << qPrintable(script);
    }
}

} // namespace
} // namespace corvane::packaging_test
