#include "shell/application.h"

#include "recording_presenter.h"

#include <QEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace corvane;

namespace {

const QEvent::Type kThrowEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
const QEvent::Type kCountEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Throws the message it is given from its event handler.
class Thrower : public QObject {
public:
    std::string message;
    int counted = 0;
    bool event(QEvent* e) override {
        if (e->type() == kThrowEvent)
            throw std::runtime_error(message);
        if (e->type() == kCountEvent) {
            ++counted;
            return true;
        }
        return QObject::event(e);
    }
};

struct GeneralErrorFixture : ::testing::Test {
    RecordingPresenter recorder;
    CorvaneApplication* app = CorvaneApplication::instance();
    void SetUp() override {
        ASSERT_NE(app, nullptr);
        app->setErrorPresenter(&recorder);
    }
    void TearDown() override { app->setErrorPresenter(nullptr); }

    QString boxTextFor(const std::string& message) {
        Thrower t;
        t.message = message;
        recorder.boxes.clear();
        QCoreApplication::postEvent(&t, new QEvent(kThrowEvent));
        QCoreApplication::sendPostedEvents(&t);
        EXPECT_EQ(recorder.boxes.size(), 1u);
        return recorder.boxes.empty() ? QString() : recorder.boxes.front().text;
    }
};

} // namespace

TEST_F(GeneralErrorFixture, UncaughtErrorShowsTitledStopBoxWithOkAndProgramGoesOn) {
    Thrower t;
    t.message = "nach /opt/corvane/corvane.ini kann nicht geschrieben werden";
    QCoreApplication::postEvent(&t, new QEvent(kThrowEvent));
    QCoreApplication::postEvent(&t, new QEvent(kCountEvent));
    QCoreApplication::sendPostedEvents(&t);

    ASSERT_EQ(recorder.boxes.size(), 1u);
    const RecordedBox& box = recorder.boxes.front();
    EXPECT_EQ(box.caption, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(box.text, QStringLiteral("nach /opt/corvane/corvane.ini kann nicht geschrieben werden."));
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.buttons, MessageButton::Ok);
    EXPECT_EQ(t.counted, 1) << "events after the failing one are still delivered";
}

TEST_F(GeneralErrorFixture, FinalPointOnlyAfterCharactersAboveThePoint) {
    EXPECT_EQ(boxTextFor("Disk full!"), QStringLiteral("Disk full!"));
    EXPECT_EQ(boxTextFor("Fehler (5)"), QStringLiteral("Fehler (5)"));
    EXPECT_EQ(boxTextFor("Done."), QStringLiteral("Done."));
    EXPECT_EQ(boxTextFor("Error 42"), QStringLiteral("Error 42."));
    EXPECT_EQ(boxTextFor("ends in a dash -"), QStringLiteral("ends in a dash -"));
    EXPECT_EQ(boxTextFor("path/"), QStringLiteral("path/."));
    EXPECT_EQ(boxTextFor(""), QString());
}

TEST_F(GeneralErrorFixture, ErrorFromAButtonsClickHandlerReachesTheBox) {
    QPushButton button(QStringLiteral("Go"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        throw std::runtime_error("Bad value");
    });
    button.resize(80, 30);
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes.front().text, QStringLiteral("Bad value."));
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2) << "the button still works afterwards";
}

TEST(GeneralErrorBox, WithoutARecorderTheRealModalBoxAppears) {
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        ASSERT_EQ(box->buttons().size(), 1);
        box->buttons().front()->click();
    });
    Thrower t;
    t.message = "Ungueltiger Wert";
    QCoreApplication::postEvent(&t, new QEvent(kThrowEvent));
    QCoreApplication::sendPostedEvents(&t);
    EXPECT_EQ(title, QStringLiteral("Corvane v1.3"));
    EXPECT_EQ(text, QStringLiteral("Ungueltiger Wert."));
}
