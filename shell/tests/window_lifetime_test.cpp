// SPDX-License-Identifier: GPL-3.0-or-later
// The window's life: closing it ends the program (the debug log shown or
// not), a close during an operation asks whether to stop it, the pauses of an
// operation take no input, and the raw command line decides whether CONFIG is
// written.

#include "ops/operations.h"
#include "shell/debug_window.h"
#include "shell/main_window.h"
#include "shell/tests/recording_presenter.h"
#include "shell/tests/temp_files.h"
#include "sim/bench.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace corvane;

namespace {

// A shown window on the simulated bench with its settings in a folder of
// its own, started as the program starts it.
struct ShownWindow {
    QTemporaryDir dir;
    sim::SimBench bench;
    sim::SimChip& chip = bench.insert(0);
    TMain w;
    TDebug debug;
    RecordingPresenter presenter;

    explicit ShownWindow(int rawArguments = 2) {
        w.Ini.setFileName(dir.filePath("corvane.ini"));
        w.RawArgumentCount = rawArguments;
        w.setMessagePresenter(&presenter);
        w.setDebugWindow(&debug);
        w.useDeviceLink(std::make_unique<sim::SimLink>(bench));
        w.show();
        EXPECT_TRUE(QTest::qWaitFor([this] { return w.isReady(); }));
    }

    // Only FLASH is written, every byte of it 0x00.
    void prepareFlashWrite() {
        w.chkEEP->setChecked(false);
        w.chkFuses->setChecked(false);
        w.chkFlashAll->setChecked(true);
        std::fill(w.FlashImage().begin(), w.FlashImage().end(), 0x00);
        w.RefreshFlashView();
    }
    std::size_t zeroBytesOnChip() const {
        return static_cast<std::size_t>(std::count(chip.flash().begin(), chip.flash().end(), 0x00));
    }
};

// Runs the application's own message loop, as the program does, with start
// queued in it; false when the loop did not end by itself (a window or a
// lock kept it running), which the guard then ends.
bool messageLoopEnds(const std::function<void()>& start) {
    QTimer::singleShot(0, qApp, start);
    bool guardFired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, [&guardFired] {
        guardFired = true;
        QCoreApplication::exit(1);
    });
    guard.start(30000);
    const int status = QCoreApplication::exec();
    return !guardFired && status == 0;
}

// Calls act once, from the message loop, as soon as when() holds.
struct WhenThen {
    QTimer poll;
    bool done = false;
    WhenThen(const std::function<bool()>& when, const std::function<void()>& act) {
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [this, when, act] {
            if (done || !when())
                return;
            done = true;
            act();
        });
        poll.start();
    }
};

} // namespace

// ------------------------------------------------------------ closing

TEST(WindowLifetime, ClosingTheMainWindowEndsTheProgramAlsoWithTheDebugLogShown) {
    ShownWindow t;
    t.debug.show();
    EXPECT_TRUE(messageLoopEnds([&] { t.w.close(); }));
    EXPECT_FALSE(t.debug.isVisible());
}

TEST(WindowLifetime, ACloseDuringWriteThatStopsEndsTheWriteQuietlyAndTheProgram) {
    ShownWindow t;
    t.prepareFlashWrite();
    t.presenter.answer = MessageResult::Yes;
    WhenThen closeMidway([&] { return t.w.operationInProgress() && t.zeroBytesOnChip() > 0; },
                         [&] { t.w.close(); });
    EXPECT_TRUE(messageLoopEnds([&] { t.w.ButWrite->click(); }));

    ASSERT_EQ(t.presenter.boxes.size(), 1u) << "the question only, no error box";
    EXPECT_EQ(t.presenter.boxes[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(t.presenter.boxes[0].buttons, MessageButton::Yes | MessageButton::No);
    EXPECT_LT(t.zeroBytesOnChip(), t.chip.flash().size()) << "the write stopped part-way";
    EXPECT_FALSE(t.w.operationInProgress());
    EXPECT_FALSE(t.w.Usb().isOpen());
    EXPECT_FALSE(t.w.isVisible());
}

TEST(WindowLifetime, ACloseDuringWriteThatIsDeclinedLetsTheWriteFinishAndTheWindowStay) {
    ShownWindow t;
    t.prepareFlashWrite();
    t.presenter.answer = MessageResult::No;
    WhenThen closeMidway([&] { return t.w.operationInProgress() && t.zeroBytesOnChip() > 0; },
                         [&] { t.w.close(); });
    t.w.ButWrite->click();
    ASSERT_TRUE(closeMidway.done);
    ASSERT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_EQ(t.zeroBytesOnChip(), t.chip.flash().size());
    EXPECT_FALSE(t.w.Usb().isOpen());
    QCoreApplication::processEvents();
    EXPECT_TRUE(t.w.isVisible());
    EXPECT_TRUE(t.w.ButWrite->isEnabled());

    // Once idle, a close asks nothing.
    t.w.close();
    EXPECT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_FALSE(t.w.isVisible());
}

// ------------------------------------------------------------ command line

// Qt's own options count as arguments although the application object takes
// them out of its argument list.
TEST(WindowLifetime, TheRawArgumentCountDecidesWhetherCloseWritesConfig) {
    for (const int raw : {1, 3}) {
        ShownWindow t(raw);
        t.w.close();
        EXPECT_EQ(readFile(t.w.Ini.fileName()).contains("[CONFIG]"), raw == 1) << raw << " arguments";
    }
}

// ------------------------------------------------------------ waits and input

// The pause before the fuses are written handles what is pending once; an
// edit the user makes while it waits changes nothing that is written and is
// not lost either.
TEST(WindowLifetime, AnEditDuringTheFusePauseDoesNotReachTheWrite) {
    ShownWindow t;
    t.w.chkFlash->setChecked(false);
    t.w.chkEEP->setChecked(false);
    t.w.chkFuses->setChecked(true);
    t.w.EdSBV->setText(QStringLiteral("$12"));
    WhenThen edit([&] { return t.w.PanStat->text() == QStringLiteral("Writing Fuses..."); },
                  [&] {
                      t.w.EdSBV->selectAll();
                      QTest::keyClicks(t.w.EdSBV, QStringLiteral("$34"));
                  });
    t.w.ButWrite->click();
    ASSERT_TRUE(edit.done);
    EXPECT_TRUE(t.presenter.boxes.empty());
    EXPECT_EQ(t.chip.configBytes().SBV, 0x12);
    EXPECT_EQ(t.w.EdSBV->text(), QStringLiteral("$34"));
}
