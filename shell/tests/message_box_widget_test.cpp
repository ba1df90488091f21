// SPDX-License-Identifier: GPL-3.0-or-later
// The program's message boxes: captions, icons, line breaks, result codes and
// the answer to Escape.

#include "shell/message_box_widget.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace corvane;

namespace {

QStringList captions(const QMessageBox& box) {
    QStringList out;
    for (QAbstractButton* b : box.buttons())
        out << b->text().remove(QLatin1Char('&'));
    return out;
}

std::unique_ptr<QMessageBox> boxWith(MessageButtons buttons) {
    return buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), MessageKind::Confirmation, buttons);
}

// Runs check on the modal box as soon as it is shown, then clicks the
// button with the given caption.
void whenBoxShows(const QString& caption, std::function<void(QMessageBox&)> check = {}) {
    QTimer::singleShot(0, [caption, check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (check)
            check(*box);
        const qsizetype at = captions(*box).indexOf(caption);
        if (at < 0) {
            box->reject();
            FAIL() << "no button " << caption.toStdString();
        }
        box->buttons().at(at)->click();
    });
}

} // namespace

TEST(MessageBoxWidget, ErrorBoxWithAbortShowsStopSignAbbrechenLineBreaksAndPlainText) {
    auto box =
        buildMessageBox(QStringLiteral("USB-ERROR"), QStringLiteral("<b>a&b</b> Read Error!\r(locked)"),
                        MessageKind::Error, MessageButton::Abort);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("USB-ERROR"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), QStringLiteral("<b>a&b</b> Read Error!\n(locked)"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(captions(*box), QStringList{QStringLiteral("Abbrechen")});
    EXPECT_EQ(messageResultFor(*box, box->buttons().front()), MessageResult::Abort);
    // Escape and the close box answer with the only button.
    EXPECT_EQ(messageResultFor(*box, nullptr), MessageResult::Abort);
}

TEST(MessageBoxWidget, EveryButtonBitGivesOneButtonWithItsOwnResult) {
    const std::pair<MessageButtons, int> bits[] = {
        {MessageButton::Yes, MessageResult::Yes},       {MessageButton::No, MessageResult::No},
        {MessageButton::Ok, MessageResult::Ok},         {MessageButton::Cancel, MessageResult::Cancel},
        {MessageButton::Abort, MessageResult::Abort},   {MessageButton::Retry, MessageResult::Retry},
        {MessageButton::Ignore, MessageResult::Ignore}, {MessageButton::All, MessageResult::All},
        {MessageButton::Help, MessageResult::Help}};
    MessageButtons all = 0;
    for (const auto& [bit, result] : bits) {
        auto box = boxWith(bit);
        ASSERT_EQ(box->buttons().size(), 1) << bit;
        EXPECT_EQ(messageResultFor(*box, box->buttons().front()), result) << bit;
        all |= bit;
    }
    QStringList shown = captions(*boxWith(all)); // in the order of the platform's style
    shown.sort();
    EXPECT_EQ(shown.join(' '), "Abbrechen Abbrechen Alle Hilfe Ignorieren Ja Nein OK Wiederholen");
    EXPECT_EQ(captions(*boxWith(0)), QStringList{"OK"}) << "an empty set shows OK alone";
}

TEST(MessageBoxWidget, EnterAnswersWithTheFirstButtonUnlessTheSecondIsMadeTheDefault) {
    using namespace MessageButton;
    const auto defaultCaption = [](MessageButtons buttons) {
        auto box = boxWith(buttons);
        return box->defaultButton() ? box->defaultButton()->text().remove(QLatin1Char('&')) : QString();
    };
    EXPECT_EQ(defaultCaption(Yes | No), QStringLiteral("Ja"));
    EXPECT_EQ(defaultCaption(Yes | No | DefaultSecond), QStringLiteral("Nein"));
    EXPECT_EQ(captions(*boxWith(Yes | No | DefaultSecond)).size(), 2) << "the flag adds no button";
}

TEST(MessageBoxWidget, EscapeAnswersLikeCancelElseAbortElseNo) {
    using namespace MessageButton;
    EXPECT_EQ(messageResultFor(*boxWith(Yes | No | Cancel | Abort), nullptr), MessageResult::Cancel);
    EXPECT_EQ(messageResultFor(*boxWith(Retry | Abort | No), nullptr), MessageResult::Abort);
    EXPECT_EQ(messageResultFor(*boxWith(Yes | No), nullptr), MessageResult::No);
    // Yes and Retry: no button answers Escape, the box stays until one is clicked.
    EXPECT_EQ(messageResultFor(*boxWith(Yes | Retry), nullptr), MessageResult::None);
}

// The window manager puts its icon and three buttons beside the caption and
// cuts a caption that does not fit ("USB... ROR" in a box as narrow as its
// text).
TEST(MessageBoxWidget, AShortBoxIsWideEnoughForItsCaptionInATitleBar) {
    for (const QString& caption :
         {QStringLiteral("USB-ERROR"), QStringLiteral("Input-Error, a longer one")}) {
        SCOPED_TRACE(caption.toStdString());
        auto box =
            buildMessageBox(caption, QStringLiteral("Gone!"), MessageKind::Error, MessageButton::Abort);
        box->show();
        QFont bold = box->font();
        bold.setBold(true);
        const QFontMetrics title(bold);
        EXPECT_GE(box->width(), title.horizontalAdvance(caption) + 4 * (title.height() + 8));
        EXPECT_GE(box->width(), titleBarWidthFor(caption, box->font()));
        box->hide();
    }
}

TEST(MessageBoxWidget, PresenterShowsTheModalBoxAndReturnsTheClickedButtonsCode) {
    WidgetMessagePresenter presenter;
    QString seenTitle, seenText;
    whenBoxShows(QStringLiteral("Abbrechen"), [&](QMessageBox& box) {
        seenTitle = box.windowTitle();
        seenText = box.text();
    });
    // An empty caption shows the application title.
    EXPECT_EQ(ShowMessageBox(presenter, QString(), QStringLiteral("one\rtwo\r\nthree"), MessageKind::Error,
                             MessageButton::Abort),
              MessageResult::Abort);
    EXPECT_EQ(seenTitle, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(seenText, QStringLiteral("one\ntwo\nthree"));

    whenBoxShows(QStringLiteral("Nein"));
    EXPECT_EQ(presenter.showMessageBox(QStringLiteral("Frage"), QStringLiteral("?"),
                                       MessageKind::Confirmation, MessageButton::Yes | MessageButton::No,
                                       false),
              MessageResult::No);
}
