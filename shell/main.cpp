// SPDX-License-Identifier: GPL-3.0-or-later
// Program entry: the single-copy guard first, then the long-lived objects in
// their order, then the message loop.

#include "shell/application.h"
#include "shell/debug_window.h"
#include "shell/instance_guard.h"
#include "shell/main_window.h"
#include "shell/start_options.h"

#include <QTimer>

#include <chrono>
#include <cstdio>
#include <exception>
#include <optional>

namespace {

qint64 nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// For the start-up benchmark: with CORVANE_STARTUP_PROBE set, the run prints
// the milliseconds from the variable's time stamp (nanoseconds since the
// epoch, taken by whoever launched the program; when it holds no number, from
// the entry into main) to Ready on stderr, and ends.
void armStartupProbe(corvane::TMain& window, qint64 mainEntered) {
    bool launchedKnown = false;
    const qint64 launched = qEnvironmentVariable("CORVANE_STARTUP_PROBE").toLongLong(&launchedKnown);
    const qint64 from = launchedKnown ? launched : mainEntered;
    auto* poll = new QTimer(&window);
    poll->setTimerType(Qt::PreciseTimer);
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, from] {
        if (!window.isReady())
            return;
        poll->stop();
        std::fprintf(stderr, "ready after %.1f ms\n", double(nowNs() - from) / 1e6);
        QCoreApplication::exit(0);
    });
    poll->start();
}

} // namespace

int main(int argc, char** argv) {
    const qint64 mainEntered = nowNs();
    // --help and --version need no display: answered before the application
    // object looks for a window system.
    if (const std::optional<int> answered = corvane::answerStartOptions(argc, argv, stdout))
        return *answered;
    corvane::CorvaneApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane"));
    QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));

    // A second copy asks the running one to come to the front and ends
    // before it creates any window or touches the settings.
    corvane::InstanceGuard guard;
    if (!guard.tryBecomeFirst())
        return 0;

    corvane::TMain mainWindow; // 1: the main window
    corvane::TDebug debug;     // 2: the debug log, hidden
    mainWindow.setDebugWindow(&debug);
    // 3, 4: the file module and the device link belong to the main window.
    // The device link's backend: "--simulate [folder]" chooses the simulated
    // bench, anything else the USB devices.
    try {
        mainWindow.useDeviceLink(corvane::TMain::makeDeviceLink(QCoreApplication::arguments()));
    } catch (const std::exception& e) {
        // A bench file that cannot be read: say so; the window runs without a device.
        corvane::reportUncaughtError(QStringLiteral("Simulated bench: ") + QString::fromStdString(e.what()));
    }

    QObject::connect(&guard, &corvane::InstanceGuard::raiseRequested, &mainWindow,
                     &corvane::TMain::BringToFront);
    if (qEnvironmentVariableIsSet("CORVANE_STARTUP_PROBE"))
        armStartupProbe(mainWindow, mainEntered);
    mainWindow.show();
    return app.exec();
}
