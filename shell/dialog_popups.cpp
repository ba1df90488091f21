// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dialog_popups.h"

#include <QCompleter>
#include <QDialog>
#include <QEvent>
#include <QPointer>

#include <utility>
#include <vector>

namespace corvane {

namespace {

class PopupGuard : public QObject {
public:
    explicit PopupGuard(QDialog* dialog) : QObject(dialog), dialog_(dialog) {
        dialog->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == dialog_) {
            if (event->type() == QEvent::Hide)
                detach();
            else if (event->type() == QEvent::Show)
                attach();
        }
        return false;
    }

private:
    // A completer without a field shows nothing (its popup is hidden with it).
    void detach() {
        for (QCompleter* completer : dialog_->findChildren<QCompleter*>()) {
            if (QWidget* field = completer->widget()) {
                detached_.emplace_back(completer, field);
                completer->setWidget(nullptr);
            }
        }
    }

    // The fields take their completers back (a field also does so itself
    // when it gets the focus).
    void attach() {
        for (auto& [completer, field] : detached_) {
            if (completer && field && !completer->widget())
                completer->setWidget(field);
        }
        detached_.clear();
    }

    QDialog* dialog_;
    std::vector<std::pair<QPointer<QCompleter>, QPointer<QWidget>>> detached_;
};

} // namespace

void keepPopupsWithDialog(QDialog* dialog) {
    new PopupGuard(dialog);
}

} // namespace corvane
