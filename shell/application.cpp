// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/application.h"

#include "core/app_info.h"

#include <exception>

namespace corvane {

namespace {
int rawCountAtStart = 0;
} // namespace

int& CorvaneApplication::noteRawCount(int& argc) {
    rawCountAtStart = argc;
    return argc;
}

CorvaneApplication::CorvaneApplication(int& argc, char** argv)
    : QApplication(noteRawCount(argc), argv), rawArgc_(rawCountAtStart) {}

bool startedWithArguments() {
    if (const CorvaneApplication* app = CorvaneApplication::instance())
        return app->rawArgumentCount() > 1;
    return QCoreApplication::arguments().size() > 1;
}

CorvaneApplication* CorvaneApplication::instance() {
    return qobject_cast<CorvaneApplication*>(QCoreApplication::instance());
}

bool CorvaneApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showGeneralError(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showGeneralError(QStringLiteral("Unbekannte Ausnahme"));
    }
    return false;
}

void CorvaneApplication::showGeneralError(const QString& message) {
    MessagePresenter& presenter = presenter_ ? *presenter_ : widgetPresenter_;
    ShowMessageBox(presenter, titleText(), generalErrorText(message), MessageKind::Error, MessageButton::Ok);
}

void reportUncaughtError(const QString& message) {
    if (CorvaneApplication* app = CorvaneApplication::instance())
        app->showGeneralError(message);
    else
        qWarning("%s", qPrintable(generalErrorText(message)));
}

} // namespace corvane
