// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's message boxes: a MessagePresenter that shows a modal
// QMessageBox centred over the main window.

#include "core/message_box.h"

#include <QMessageBox>
#include <QPointer>

#include <memory>

namespace corvane {

// Builds the box for one call: caption, text (each "\r" a line break, shown
// as plain text), icon by kind, one button per bit of buttons in the order
// yes, no, OK, cancel, abort, retry, ignore, all, help (OK alone for an empty
// set). Each button carries its result code.
std::unique_ptr<QMessageBox> buildMessageBox(const QString& caption, const QString& text, MessageKind kind,
                                             MessageButtons buttons, QWidget* parent = nullptr);

// The width a window needs for its caption in a title bar: the caption in a
// bold title font (10 pt at least) and room for the window manager's icon
// and three buttons. Message boxes are at least this wide.
int titleBarWidthFor(const QString& caption, const QFont& font);

// Result code of a button of a box made by buildMessageBox; the escape
// button's code when button is null; MessageResult::None for a foreign one.
int messageResultFor(const QMessageBox& box, const QAbstractButton* button);

// German caption of a single button bit ("Abbrechen" for abort).
QString messageButtonCaption(MessageButtons button);

class WidgetMessagePresenter : public MessagePresenter {
public:
    explicit WidgetMessagePresenter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    // Beeps (if asked), shows the box modally and returns the result code.
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override;

private:
    QPointer<QWidget> parent_;
};

} // namespace corvane
