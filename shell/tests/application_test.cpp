// SPDX-License-Identifier: GPL-3.0-or-later
// The general error box: an exception that escapes an event handler is shown
// and the program goes on.

#include "shell/application.h"

#include "shell/tests/recording_presenter.h"

#include <QAbstractButton>
#include <QEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace corvane;

namespace {

const QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kCountEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Throws its message from the event handler, then counts the events after it.
class Thrower : public QObject {
public:
    explicit Thrower(std::string text) : message(std::move(text)) {}
    std::string message;
    int counted = 0;
    bool event(QEvent* e) override {
        if (e->type() == kThrowEvent)
            throw std::runtime_error(message);
        if (e->type() == kCountEvent)
            return ++counted;
        return QObject::event(e);
    }
    void run() {
        QCoreApplication::postEvent(this, new QEvent(kThrowEvent));
        QCoreApplication::postEvent(this, new QEvent(kCountEvent));
        QCoreApplication::sendPostedEvents(this);
    }
};

struct GeneralErrorFixture : ::testing::Test {
    RecordingPresenter recorder;
    void SetUp() override { CorvaneApplication::instance()->setErrorPresenter(&recorder); }
    void TearDown() override { CorvaneApplication::instance()->setErrorPresenter(nullptr); }
};

} // namespace

TEST_F(GeneralErrorFixture, UncaughtErrorShowsTitledStopBoxWithOkAndProgramGoesOn) {
    Thrower t("nach /opt/corvane/corvane.ini kann nicht geschrieben werden");
    t.run();
    ASSERT_EQ(recorder.boxes.size(), 1u);
    const RecordedBox& box = recorder.boxes.front();
    EXPECT_EQ(box.caption, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(box.text, QStringLiteral("nach /opt/corvane/corvane.ini kann nicht geschrieben werden."));
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.buttons, MessageButton::Ok);
    EXPECT_EQ(t.counted, 1) << "events after the failing one are still delivered";
}

TEST(GeneralErrorBox, WithoutARecorderTheRealModalBoxAppears) {
    QString title, text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        ASSERT_EQ(box->buttons().size(), 1);
        box->buttons().front()->click();
    });
    Thrower t("Ungueltiger Wert");
    t.run();
    EXPECT_EQ(title, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(text, QStringLiteral("Ungueltiger Wert."));
    EXPECT_EQ(t.counted, 1);
}
