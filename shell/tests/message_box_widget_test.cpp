#include "shell/message_box_widget.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace corvane;

namespace {

// Runs check on the modal box as soon as it is shown, then clicks the
// button with the given caption.
void whenBoxShows(const QString& caption, std::function<void(QMessageBox&)> check = {}) {
    QTimer::singleShot(0, [caption, check] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (check)
            check(*box);
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().remove(QLatin1Char('&')) == caption) {
                b->click();
                return;
            }
        }
        box->reject();
        ADD_FAILURE() << "no button " << caption.toStdString();
    });
}

QStringList captions(const QMessageBox& box) {
    QStringList out;
    for (QAbstractButton* b : box.buttons())
        out << b->text().remove(QLatin1Char('&'));
    return out;
}

} // namespace

TEST(MessageBoxWidget, ErrorBoxWithAbortShowsStopSignAbbrechenAndLineBreaks) {
    auto box = buildMessageBox(QStringLiteral("USB-ERROR"),
                               QStringLiteral("Flash-Memory Read Error!\r(Device is locked)"),
                               MessageKind::Error, MessageButton::Abort);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("USB-ERROR"));
    EXPECT_EQ(box->text(), QStringLiteral("Flash-Memory Read Error!\n(Device is locked)"));
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(captions(*box), QStringList{QStringLiteral("Abbrechen")});
    EXPECT_EQ(messageResultFor(*box, box->buttons().front()), MessageResult::Abort);
    // Escape and the close box answer with the only button.
    EXPECT_EQ(messageResultFor(*box, nullptr), MessageResult::Abort);
}

TEST(MessageBoxWidget, EveryButtonBitHasItsCaptionAndResult) {
    struct Case {
        MessageButtons bit;
        const char* caption;
        int result;
    };
    const Case cases[] = {
        {MessageButton::Yes, "Ja", 6},
        {MessageButton::No, "Nein", 7},
        {MessageButton::Ok, "OK", 1},
        {MessageButton::Cancel, "Abbrechen", 2},
        {MessageButton::Abort, "Abbrechen", 3},
        {MessageButton::Retry, "Wiederholen", 4},
        {MessageButton::Ignore, "Ignorieren", 5},
        {MessageButton::All, "Alle", 8},
        {MessageButton::Help, "Hilfe", 9},
    };
    for (const Case& c : cases) {
        auto box = buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), MessageKind::Custom, c.bit);
        ASSERT_EQ(box->buttons().size(), 1) << c.caption;
        EXPECT_EQ(captions(*box).front(), QString::fromUtf8(c.caption));
        EXPECT_EQ(messageResultFor(*box, box->buttons().front()), c.result) << c.caption;
        EXPECT_EQ(messageButtonCaption(c.bit), QString::fromUtf8(c.caption));
    }
}

TEST(MessageBoxWidget, IconsByKindAndOkAloneForAnEmptySet) {
    const std::pair<MessageKind, QMessageBox::Icon> icons[] = {
        {MessageKind::Warning, QMessageBox::Warning},
        {MessageKind::Error, QMessageBox::Critical},
        {MessageKind::Information, QMessageBox::Information},
        {MessageKind::Confirmation, QMessageBox::Question},
        {MessageKind::Custom, QMessageBox::NoIcon},
    };
    for (const auto& [kind, icon] : icons) {
        auto box = buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), kind, 0);
        EXPECT_EQ(box->icon(), icon);
        EXPECT_EQ(captions(*box), QStringList{QStringLiteral("OK")});
    }
}

TEST(MessageBoxWidget, EscapeAnswersLikeCancelElseAbortElseNo) {
    auto box = buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), MessageKind::Confirmation,
                               MessageButton::Yes | MessageButton::No | MessageButton::Cancel);
    EXPECT_EQ(messageResultFor(*box, nullptr), MessageResult::Cancel);
    auto yesNo = buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), MessageKind::Confirmation,
                                 MessageButton::Yes | MessageButton::No);
    EXPECT_EQ(messageResultFor(*yesNo, nullptr), MessageResult::No);
    // Yes and Retry: no button answers Escape, the box stays until one is clicked.
    auto none = buildMessageBox(QStringLiteral("c"), QStringLiteral("t"), MessageKind::Confirmation,
                                MessageButton::Yes | MessageButton::Retry);
    EXPECT_EQ(messageResultFor(*none, nullptr), MessageResult::None);
    QStringList shown = captions(*none);
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("Ja"), QStringLiteral("Wiederholen")}));
}

TEST(MessageBoxWidget, TextIsShownLiterallyNotAsMarkup) {
    auto box = buildMessageBox(QStringLiteral("File-Error"), QStringLiteral("<b>a&b</b>.hex"),
                               MessageKind::Error, MessageButton::Abort);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), QStringLiteral("<b>a&b</b>.hex"));
}

TEST(MessageBoxWidget, PresenterShowsTheModalBoxAndReturnsTheClickedButtonsCode) {
    WidgetMessagePresenter presenter;
    QString seenTitle;
    QString seenText;
    whenBoxShows(QStringLiteral("Abbrechen"), [&](QMessageBox& box) {
        seenTitle = box.windowTitle();
        seenText = box.text();
    });
    // An empty caption shows the application title.
    const int result = ShowMessageBox(presenter, QString(), QStringLiteral("one\rtwo\rthree"),
                                      MessageKind::Error, MessageButton::Abort);
    EXPECT_EQ(result, MessageResult::Abort);
    EXPECT_EQ(seenTitle, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(seenText.count(QLatin1Char('\n')), 2);

    whenBoxShows(QStringLiteral("Nein"));
    EXPECT_EQ(presenter.showMessageBox(QStringLiteral("Frage"), QStringLiteral("?"),
                                       MessageKind::Confirmation, MessageButton::Yes | MessageButton::No,
                                       false),
              MessageResult::No);
}
