// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/message_box_widget.h"

#include "shell/fonts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>

#include <array>

namespace corvane {

namespace {

struct ButtonKind {
    MessageButtons bit;
    int result;
    QMessageBox::ButtonRole role;
    const char* caption;
};

constexpr std::array<ButtonKind, 9> kButtons{{
    {MessageButton::Yes, MessageResult::Yes, QMessageBox::YesRole, "&Ja"},
    {MessageButton::No, MessageResult::No, QMessageBox::NoRole, "&Nein"},
    {MessageButton::Ok, MessageResult::Ok, QMessageBox::AcceptRole, "OK"},
    {MessageButton::Cancel, MessageResult::Cancel, QMessageBox::RejectRole, "Abbrechen"},
    {MessageButton::Abort, MessageResult::Abort, QMessageBox::RejectRole, "Abbrechen"},
    {MessageButton::Retry, MessageResult::Retry, QMessageBox::AcceptRole, "&Wiederholen"},
    {MessageButton::Ignore, MessageResult::Ignore, QMessageBox::AcceptRole, "&Ignorieren"},
    {MessageButton::All, MessageResult::All, QMessageBox::AcceptRole, "&Alle"},
    {MessageButton::Help, MessageResult::Help, QMessageBox::HelpRole, "&Hilfe"},
}};

constexpr char kResultProperty[] = "corvaneMessageResult";

QMessageBox::Icon iconFor(MessageKind kind) {
    switch (kind) {
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Confirmation:
        return QMessageBox::Question;
    case MessageKind::Custom:
        break;
    }
    return QMessageBox::NoIcon;
}

// "\r\n" and "\r" start new lines.
QString withLineBreaks(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

QString messageButtonCaption(MessageButtons button) {
    for (const ButtonKind& entry : kButtons) {
        if (entry.bit == button)
            return QString::fromUtf8(entry.caption).remove(QLatin1Char('&'));
    }
    return {};
}

std::unique_ptr<QMessageBox> buildMessageBox(const QString& caption, const QString& text, MessageKind kind,
                                             MessageButtons buttons, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(caption);
    box->setTextFormat(Qt::PlainText);
    box->setText(withLineBreaks(text));
    box->setIcon(iconFor(kind));
    box->setFont(sansFont(8));
    if ((buttons & 0x04FF) == 0)
        buttons = MessageButton::Ok;

    QAbstractButton* escape = nullptr;
    int escapeRank = 0;
    for (const ButtonKind& entry : kButtons) {
        if (!(buttons & entry.bit))
            continue;
        QPushButton* b = box->addButton(QString::fromUtf8(entry.caption), entry.role);
        b->setProperty(kResultProperty, entry.result);
        if (box->buttons().size() == ((buttons & MessageButton::DefaultSecond) ? 2 : 1))
            box->setDefaultButton(b);
        // Escape and the close box answer like cancel, else abort, else no,
        // else OK; a box with none of these answers with its only button.
        const int rank = entry.bit == MessageButton::Cancel  ? 4
                         : entry.bit == MessageButton::Abort ? 3
                         : entry.bit == MessageButton::No    ? 2
                         : entry.bit == MessageButton::Ok    ? 1
                                                             : 0;
        if (rank > escapeRank) {
            escape = b;
            escapeRank = rank;
        }
    }
    if (!escape && box->buttons().size() == 1)
        escape = box->buttons().front();
    if (escape)
        box->setEscapeButton(escape);
    // A box no wider than its short text would have its caption elided by
    // the window manager ("USB... ROR"): the box is made wide enough for it.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(titleBarWidthFor(caption, box->font()), 0, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
}

int titleBarWidthFor(const QString& caption, const QFont& font) {
    // Title bars use a bold font, often somewhat larger than the window's.
    QFont title = font;
    title.setBold(true);
    if (title.pointSizeF() > 0 && title.pointSizeF() < 10)
        title.setPointSizeF(10);
    const QFontMetrics metrics(title);
    const int button = metrics.height() + 8;
    return metrics.horizontalAdvance(caption) + 4 * button + 24;
}

int messageResultFor(const QMessageBox& box, const QAbstractButton* button) {
    if (!button)
        button = box.escapeButton();
    if (!button)
        return MessageResult::None;
    const QVariant v = button->property(kResultProperty);
    return v.isValid() ? v.toInt() : MessageResult::None;
}

int WidgetMessagePresenter::showMessageBox(const QString& caption, const QString& text, MessageKind kind,
                                           MessageButtons buttons, bool beep) {
    if (beep)
        QApplication::beep();
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    auto box = buildMessageBox(caption, text, kind, buttons, parent);
    box->exec();
    return messageResultFor(*box, box->clickedButton());
}

} // namespace corvane
