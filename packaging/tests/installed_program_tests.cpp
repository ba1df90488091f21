// Runs the installed program the way a user does: from a prefix it may not
// write to, as an ordinary user, on an X display, closed through the window's
// close button. It must keep its settings in the user's configuration folder
// and show its icon.

#include "packaging/tests/install_support.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace corvane::packaging_test {
namespace {

const QString Title = QStringLiteral("Corvane v1.3");

class InstalledProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buildList(CORVANE_PROGRAMS).contains(QStringLiteral("corvane")))
            GTEST_SKIP() << "no GUI in this build";
        ASSERT_TRUE(QFileInfo(QStringLiteral(CORVANE_XVFB_RUN)).isExecutable())
            << "xvfb-run is missing (Debian package xvfb)";
        ASSERT_TRUE(stage_.isValid() && home_.isValid());

        const RunResult install = installBuild(stage_.path());
        ASSERT_EQ(install.exitCode, 0) << qPrintable(install.output);
        QDir(home_.path()).mkpath(QStringLiteral("tmp"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(CORVANE_CLOSE_WINDOW), helper()));

        // The stage is read-only for the user who runs the program: root runs
        // it as nobody, anyone else loses the write permission on the prefix.
        const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        for (const QString& dir : {stage_.path(), stage_.filePath(QStringLiteral("bin"))})
            ASSERT_TRUE(QFile::setPermissions(dir, readOnly));
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            ASSERT_NE(nobody, nullptr);
            runAs_ = QStringLiteral("nobody");
            ASSERT_TRUE(QFile::setPermissions(home_.path(), readOnly | QFile::WriteOwner));
            QDirIterator it(home_.path(), QDir::AllEntries | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            ASSERT_EQ(::chown(qPrintable(home_.path()), nobody->pw_uid, nobody->pw_gid), 0);
            while (it.hasNext())
                ASSERT_EQ(::chown(qPrintable(it.next()), nobody->pw_uid, nobody->pw_gid), 0);
        }
    }

    void TearDown() override {
        // Give the stage back its write permission so it can be removed.
        QFile::setPermissions(stage_.filePath(QStringLiteral("bin")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::setPermissions(stage_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QString helper() const { return home_.filePath(QStringLiteral("tmp/close_window")); }
    QString iconDump() const { return home_.filePath(QStringLiteral("tmp/icon")); }
    QString settingsPath() const { return home_.filePath(QStringLiteral(".config/corvane/corvane.ini")); }

    // Starts the installed program without arguments, waits for its window,
    // closes it and waits for the program to end.
    RunResult runAndClose() {
        const QString script = QStringLiteral("\"$0\" & program=$!\n"
                                              "\"$1\" \"$2\" 20000 1500 \"$3\"; closed=$?\n"
                                              "wait $program; ended=$?\n"
                                              "echo \"close helper: $closed, program: $ended\"\n"
                                              "[ $closed -eq 0 ] && [ $ended -eq 0 ]\n");
        QStringList command{QStringLiteral("/usr/bin/env"),
                            QStringLiteral("-i"),
                            QStringLiteral("PATH=/usr/bin:/bin"),
                            QStringLiteral("HOME=") + home_.path(),
                            QStringLiteral("TMPDIR=") + home_.filePath(QStringLiteral("tmp")),
                            QStringLiteral("QT_QPA_PLATFORM=xcb"),
                            QStringLiteral("CORVANE_INSTANCE_KEY=corvane-installed-program-test"),
                            QStringLiteral(CORVANE_XVFB_RUN),
                            QStringLiteral("-a"),
                            QStringLiteral("-s"),
                            QStringLiteral("-screen 0 1024x768x24"),
                            QStringLiteral("/bin/sh"),
                            QStringLiteral("-c"),
                            script,
                            stage_.filePath(QStringLiteral("bin/corvane")),
                            helper(),
                            Title,
                            iconDump()};
        if (!runAs_.isEmpty())
            command = QStringList{QStringLiteral("-u"), runAs_, QStringLiteral("--")} + command;
        const QString program = runAs_.isEmpty() ? command.takeFirst() : QStringLiteral("/usr/sbin/runuser");
        return runProgram(program, command, QProcessEnvironment::systemEnvironment(), 60000);
    }

    QString settingsText() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

    bool writeSettings(const QByteArray& text) {
        QFile file(settingsPath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        return file.write(text) == text.size();
    }

    QTemporaryDir stage_;
    QTemporaryDir home_;
    QString runAs_;
};

TEST_F(InstalledProgram, KeepsItsSettingsInTheUsersConfigFolder) {
    const RunResult first = runAndClose();
    ASSERT_EQ(first.exitCode, 0) << qPrintable(first.output);

    const QString written = settingsText();
    ASSERT_FALSE(written.isEmpty()) << "no settings file at " << qPrintable(settingsPath());
    EXPECT_TRUE(written.contains(QStringLiteral("[CONFIG]"))) << qPrintable(written);
    EXPECT_TRUE(written.contains(QStringLiteral("Device=0"))) << qPrintable(written);
    EXPECT_FALSE(QFileInfo::exists(stage_.filePath(QStringLiteral("bin/corvane.ini"))));

    // Settings chosen in an earlier run come back: the program reads them at
    // start and writes what its controls hold at close.
    ASSERT_TRUE(writeSettings("[CONFIG]\r\nFlashActive=0\r\nEEPActive=1\r\nAutoErase=1\r\nFlashAll=0\r\n"
                              "Device=5\r\nController=1\r\n"));
    const RunResult second = runAndClose();
    ASSERT_EQ(second.exitCode, 0) << qPrintable(second.output);
    const QString kept = settingsText();
    for (const char* line : {"FlashActive=0", "AutoErase=1", "Device=5", "Controller=1"})
        EXPECT_TRUE(kept.contains(QLatin1String(line))) << line << " lost:\n" << qPrintable(kept);
}

TEST_F(InstalledProgram, WindowShowsTheApplicationIcon) {
    const RunResult run = runAndClose();
    ASSERT_EQ(run.exitCode, 0) << qPrintable(run.output);

    QFile dump(iconDump());
    ASSERT_TRUE(dump.open(QIODevice::ReadOnly)) << "the window has no icon: " << qPrintable(run.output);
    const QByteArray data = dump.readAll();
    ASSERT_GE(data.size(), 8);
    const auto* words = reinterpret_cast<const quint32*>(data.constData());
    const int width = static_cast<int>(words[0]);
    const int height = static_cast<int>(words[1]);
    ASSERT_EQ(data.size(), 8 + 4 * qsizetype(width) * height);
    const QImage shown(reinterpret_cast<const uchar*>(words + 2), width, height, QImage::Format_ARGB32);

    const QImage icon =
        QImage(stage_.filePath(QStringLiteral("share/icons/hicolor/256x256/apps/corvane.png")))
            .scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(icon.isNull());
    // Same picture, allowing for the rounding of a different scaling path.
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb a = shown.pixel(x, y), b = icon.pixel(x, y);
            if (qAbs(qRed(a) - qRed(b)) > 16 || qAbs(qGreen(a) - qGreen(b)) > 16 ||
                qAbs(qBlue(a) - qBlue(b)) > 16 || qAbs(qAlpha(a) - qAlpha(b)) > 16)
                ++differing;
        }
    EXPECT_LT(differing, width * height / 50) << width << "x" << height;
}

} // namespace
} // namespace corvane::packaging_test
