// Program entry: the single-copy guard first, then the long-lived objects in
// their order, then the message loop.

#include "shell/application.h"
#include "shell/debug_window.h"
#include "shell/instance_guard.h"
#include "shell/main_window.h"

#include <exception>

int main(int argc, char** argv) {
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
    mainWindow.show();
    return app.exec();
}
