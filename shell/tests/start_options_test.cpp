// SPDX-License-Identifier: GPL-3.0-or-later
// --help and --version: answered on standard output before the program needs
// a display, with the real program started where no display exists.

#include "shell/start_options.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <vector>

using namespace corvane;

namespace {

struct AnswerCase {
    std::vector<const char*> arguments; // after the program's name
    StartAnswer answer;
};

class StartAnswers : public ::testing::TestWithParam<AnswerCase> {};

// The program without any display: no X11 or Wayland display, no platform
// chosen, so the application object would end the program at once.
QProcess& startWithoutDisplay(QProcess& process, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(CORVANE_EXE), arguments);
    return process;
}

} // namespace

TEST_P(StartAnswers, TheFirstInformationOptionCounts) {
    std::vector<const char*> argv{"corvane"};
    argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    EXPECT_EQ(startAnswerFor(int(argv.size()), argv.data()), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(StartOptions, StartAnswers,
                         ::testing::Values(AnswerCase{{}, StartAnswer::None},
                                           AnswerCase{{"--simulate", "/tmp/b"}, StartAnswer::None},
                                           AnswerCase{{"-style", "Fusion", "--help"}, StartAnswer::Help},
                                           AnswerCase{{"-h"}, StartAnswer::Help},
                                           AnswerCase{{"--version", "--help"}, StartAnswer::Version},
                                           AnswerCase{{"--helpful"}, StartAnswer::None}));

TEST(StartOptions, HelpAndVersionAnswerWithoutADisplayAndEndWithStatusZero) {
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        SCOPED_TRACE(option.toStdString());
        QProcess process;
        startWithoutDisplay(process, {option});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        EXPECT_EQ(out,
                  option == QLatin1String("--help") ? windowHelpText() : QStringLiteral("Corvane v1.3\n"));
        EXPECT_EQ(process.readAllStandardError(), QByteArray());
    }
}
