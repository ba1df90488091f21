// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the installed program the way a user does: from a prefix it may not
// write to, as an ordinary user, on an X display, closed through the window's
// close button.

#include "packaging/tests/install_support.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace corvane::packaging_test {
namespace {

class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buildList(CORVANE_PROGRAMS).contains("corvane"))
            GTEST_SKIP() << "no GUI in this build";
        ASSERT_TRUE(QFileInfo(CORVANE_XVFB_RUN).isExecutable())
            << "xvfb-run is missing (Debian package xvfb)";
        ASSERT_TRUE(stage_.isValid() && home_.isValid() && QDir(home_.path()).mkpath("tmp"));
        const RunResult install = installBuild(stage_.path());
        ASSERT_EQ(install.exitCode, 0) << qPrintable(install.output);
        ASSERT_TRUE(QFile::copy(CORVANE_CLOSE_WINDOW, home("tmp/close_window")));

        // The prefix is read-only for the user who runs the program: root runs
        // it as nobody, anyone else loses the write permission on the prefix.
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                              QFile::ReadOther | QFile::ExeOther;
        ASSERT_TRUE(QFile::setPermissions(stage_.filePath("bin"), readOnly) &&
                    QFile::setPermissions(stage_.path(), readOnly));
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            ASSERT_NE(nobody, nullptr);
            runAs_ = {"/usr/sbin/runuser", "-u", "nobody", "--"};
            ASSERT_EQ(::chown(qPrintable(home_.path()), nobody->pw_uid, nobody->pw_gid), 0);
            for (QDirIterator it(home_.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                ASSERT_EQ(::chown(qPrintable(it.next()), nobody->pw_uid, nobody->pw_gid), 0);
        }
    }

    void TearDown() override {
        // Give the prefix back its write permission so that it can be removed.
        QFile::setPermissions(stage_.filePath("bin"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(stage_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString home(const QString& relative) const { return home_.filePath(relative); }

    // Starts the installed program without arguments, waits for its window,
    // closes it and waits for the program to end.
    RunResult runAndClose() {
        const QString script = "\"$0\" & program=$!\n"
                               "\"$1\" \"$2\" 20000 1500; closed=$?\n"
                               "wait $program; ended=$?\n"
                               "echo \"close helper: $closed, program: $ended\"\n"
                               "[ $closed -eq 0 ] && [ $ended -eq 0 ]\n";
        QStringList command =
            runAs_ + QStringList{"/usr/bin/env", "-i", "HOME=" + home_.path(), "TMPDIR=" + home("tmp")};
        command += QStringList{"PATH=/usr/bin:/bin", "QT_QPA_PLATFORM=xcb",
                               "CORVANE_INSTANCE_KEY=corvane-installed-program-test"};
        // A sanitizer build's program keeps the suite's settings (leak suppressions).
        for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(name))
                command << QLatin1String(name) + QLatin1Char('=') + qEnvironmentVariable(name);
        }
        command +=
            QStringList{CORVANE_XVFB_RUN, "-a", "-s", "-screen 0 1024x768x24", "/bin/sh", "-c", script};
        command += QStringList{stage_.filePath("bin/corvane"), home("tmp/close_window"), "Corvane v1.3"};
        return runProgram(command.takeFirst(), command);
    }

    QString settingsText() const { return readText(home(".config/corvane/corvane.ini")); }

    QTemporaryDir stage_;
    QTemporaryDir home_;
    QStringList runAs_;
};

TEST_F(InstalledProgram, KeepsItsSettingsInTheUsersConfigFolderAndShowsItsIcon) {
    const RunResult first = runAndClose();
    ASSERT_EQ(first.exitCode, 0) << qPrintable(first.output);
    const QString written = settingsText();
    EXPECT_TRUE(written.contains("[CONFIG]") && written.contains("Device=0")) << "settings:\n"
                                                                              << qPrintable(written);
    EXPECT_FALSE(QFileInfo::exists(stage_.filePath("bin/corvane.ini")));

    // The window shows the application's icon in its own size.
    EXPECT_TRUE(first.output.contains("window icon: 256x256")) << qPrintable(first.output);

    // Settings chosen in an earlier run come back: the program reads them at
    // start and writes what its controls hold at close.
    QFile settings(home(".config/corvane/corvane.ini"));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write("[CONFIG]\r\nFlashActive=0\r\nEEPActive=1\r\nAutoErase=1\r\nFlashAll=0\r\nDevice="
                   "5\r\nController=1\r\n");
    settings.close();
    const RunResult second = runAndClose();
    ASSERT_EQ(second.exitCode, 0) << qPrintable(second.output);
    const QString kept = settingsText();
    for (const char* line : {"FlashActive=0", "AutoErase=1", "Device=5", "Controller=1"})
        EXPECT_TRUE(kept.contains(line)) << line << " lost:\n" << qPrintable(kept);
}

} // namespace
} // namespace corvane::packaging_test
