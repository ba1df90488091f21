// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/application.h"

#include "core/app_info.h"

#include <exception>

namespace corvane {

CorvaneApplication::CorvaneApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
