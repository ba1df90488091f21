// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CorvaneApplication: the application object. An exception that escapes an
// event handler ends in the general error box (title, stop sign, OK, the
// message with a final point as generalErrorText makes it) and the program
// goes on.

#include "core/message_box.h"
#include "shell/message_box_widget.h"

#include <QApplication>

namespace corvane {

class CorvaneApplication : public QApplication {
    Q_OBJECT
public:
    CorvaneApplication(int& argc, char** argv);

    // How many arguments the program was started with, the program's name and
    // Qt's own options included.
    int rawArgumentCount() const { return rawArgc_; }

    bool notify(QObject* receiver, QEvent* event) override;

    // Where the general error box goes (tests record it); null restores the
    // window's own message box.
    void setErrorPresenter(MessagePresenter* presenter) { presenter_ = presenter; }

    // Shows the general error box for message.
    void showGeneralError(const QString& message);

    static CorvaneApplication* instance();

private:
    // Notes argc before QApplication takes its own options out of it.
    static int& noteRawCount(int& argc);
    int rawArgc_;
    WidgetMessagePresenter widgetPresenter_;
    MessagePresenter* presenter_ = nullptr;
};

// Whether the program was started with any argument at all, Qt's own
// options included (such a run leaves the CONFIG settings unwritten).
bool startedWithArguments();

// Shows the general error box through the running CorvaneApplication, or
// writes the message to stderr when there is none.
void reportUncaughtError(const QString& message);

} // namespace corvane
