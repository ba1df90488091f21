// SPDX-License-Identifier: GPL-3.0-or-later
// --help and --version: answered on standard output before the program needs
// a display, with the real program started where no display exists.

#include "shell/start_options.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

using namespace corvane;

TEST(StartOptions, TheFirstInformationOptionAnywhereCounts) {
    const char* help[] = {"corvane", "-style", "Fusion", "--help", "--version"};
    EXPECT_EQ(startAnswerFor(5, help), StartAnswer::Help);
    const char* other[] = {"corvane", "--simulate", "--helpful"};
    EXPECT_EQ(startAnswerFor(3, other), StartAnswer::None);
}

TEST(StartOptions, HelpAndVersionAnswerWithoutADisplayAndEndWithStatusZero) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name)); // the application object would abort
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        SCOPED_TRACE(option.toStdString());
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(CORVANE_EXE), {option});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
                  option == QLatin1String("--help") ? windowHelpText() : QStringLiteral("Corvane v1.3\n"));
        EXPECT_EQ(process.readAllStandardError(), QByteArray());
    }
}
