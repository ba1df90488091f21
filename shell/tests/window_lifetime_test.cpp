// SPDX-License-Identifier: GPL-3.0-or-later
// The window's life: a run with Qt's own options counts as a run with
// arguments, closing the main window ends the program even with the debug log
// shown, and a close while an operation runs asks whether to stop it.
//
// The program here is started as "<test> -style Fusion", so that Qt takes its
// own options out of the arguments as it does for the real program.

#include "link/protocol.h"
#include "shell/application.h"
#include "shell/debug_window.h"
#include "shell/main_window.h"
#include "shell/tests/recording_presenter.h"
#include "shell/tests/temp_files.h"
#include "shell/window_ops.h"
#include "sim/bench.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

using namespace corvane;

namespace {

struct LifetimeTest : ::testing::Test {
    QTemporaryDir dir;
    QString ini = dir.filePath("corvane.ini");
    std::unique_ptr<TMain> w = std::make_unique<TMain>();
    TDebug debug;
    RecordingPresenter presenter;

    void SetUp() override {
        w->Ini.setFileName(ini);
        w->setDebugWindow(&debug);
        w->setMessagePresenter(&presenter);
        w->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->isReady(); }, 3000));
    }
};

} // namespace

TEST_F(LifetimeTest, QtsOwnOptionsCountAsArgumentsSoConfigStaysUnwritten) {
    EXPECT_EQ(QCoreApplication::arguments().size(), 1) << "Qt took -style Fusion";
    EXPECT_EQ(CorvaneApplication::instance()->rawArgumentCount(), 3);
    EXPECT_TRUE(w->SettingsReadOnly);
    w->close();
    EXPECT_FALSE(readFile(ini).contains("[CONFIG]"));
}

TEST_F(LifetimeTest, ClosingTheMainWindowWithTheDebugLogShownEndsTheProgramAndStoresTheLists) {
    const QString file = dir.filePath("a.hex");
    w->FlashMru.add(file);
    QTest::keyClick(w.get(), Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(debug.isVisible());
    QTimer::singleShot(0, w.get(), [this] { w->close(); });
    // Only a program that does not end runs into this.
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the message loop ended with the window";
    EXPECT_FALSE(debug.isVisible());
    w.reset(); // as the program's end does
    EXPECT_TRUE(readFile(ini).contains("[FLASHLOAD]\r\nH0=" + file.toUtf8() + "\r\n"));
}

// ------------------------------------------------------------ closing during an operation

namespace {

struct OperationClose : LifetimeTest {
    sim::SimBench bench;
    sim::SimChip& chip = bench.insert(0);

    void SetUp() override {
        LifetimeTest::SetUp();
        w->useDeviceLink(std::make_unique<sim::SimLink>(bench));
        w->chkEEP->setChecked(false);
        w->chkFuses->setChecked(false);
        w->chkFlashAll->setChecked(true);
        std::fill(w->FlashImage().begin(), w->FlashImage().end(), 0x5A);
        w->RefreshFlashView();
    }

    // The user closes the window once the FLASH write has begun.
    void closeWhileWriting() {
        auto* poll = new QTimer(w.get());
        QObject::connect(poll, &QTimer::timeout, w.get(), [this, poll] {
            if (w->PanStat->text() == "Writing Flash-Memory..." && w->PBar->completed() >= 2) {
                poll->stop();
                w->close();
            }
        });
        poll->start(0);
    }
    std::size_t bytesWritten() const {
        return std::size_t(std::count(chip.flash().begin(), chip.flash().end(), 0x5A));
    }
};

} // namespace

TEST_F(OperationClose, DecliningKeepsTheOperationAndTheWindow) {
    presenter.answer = MessageResult::No;
    closeWhileWriting();
    w->ButWriteClick();
    QCoreApplication::processEvents();
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(bytesWritten(), chip.flash().size()) << "the write went on to its end";
    EXPECT_TRUE(w->isVisible());
    // Once the operation has ended, a close needs no question.
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(presenter.boxes.size(), 1u);
}

// ------------------------------------------------------------ a long request

namespace {

// The simulated chip, with the status request after a chip erase held until
// the test lets it go: a request that takes long, as on a real chip (or ten
// seconds pass, and the test fails instead of hanging).
class HeldErase : public DeviceLink {
public:
    explicit HeldErase(sim::SimBench& bench) : chip_(bench) {}

    bool open(int n) override { return chip_.open(n); }
    bool isOpen() const override { return chip_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return chip_.getDeviceDescriptor(out); }
    void close() override { chip_.close(); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        const int now = ++active_;
        overlapped_ = overlapped_ || now > 1;
        if (setup.Request == DFU_DNLOAD && length >= 3 && data[0] == WRITE_COMMAND &&
            data[1] == wire::kWriteErase && data[2] == wire::kChipErase)
            eraseSent_ = true;
        else if (setup.Request == DFU_GETSTATUS && eraseSent_.exchange(false))
            hold();
        const bool result = chip_.classRequest(setup, data, length);
        --active_;
        return result;
    }

    bool holding() const { return holding_; }
    bool overlapped() const { return overlapped_; }
    void release() {
        const std::lock_guard lock(mutex_);
        released_ = true;
        gate_.notify_all();
    }

private:
    void hold() {
        std::unique_lock lock(mutex_);
        holding_ = true;
        gate_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
        holding_ = false;
    }

    sim::SimLink chip_;
    std::atomic<int> active_{0};
    std::atomic<bool> overlapped_{false};
    std::atomic<bool> eraseSent_{false};
    std::atomic<bool> holding_{false};
    std::mutex mutex_;
    std::condition_variable gate_;
    bool released_ = false;
};

} // namespace

// While the erase's status request waits, the window answers: the close asks
// its question at once, input starts nothing, and the stop ends the
// operation once the erase is done, with the channel closed.
TEST_F(OperationClose, ACloseDuringALongRequestIsAskedAtOnceAndStopsAfterIt) {
    auto held = std::make_unique<HeldErase>(bench);
    HeldErase* erase = held.get();
    w->useDeviceLink(std::move(held));
    w->chkAutoErase->setChecked(true);
    std::fill(chip.flash().begin(), chip.flash().end(), 0x11);
    presenter.answer = MessageResult::Yes;
    bool askedWhileHeld = false;
    presenter.whileShown = [&] { askedWhileHeld = erase->holding(); };
    bool inputStartedNothing = false;
    auto* poll = new QTimer(w.get());
    QObject::connect(poll, &QTimer::timeout, w.get(), [&] {
        if (!erase->holding())
            return;
        poll->stop();
        w->ButRead->click(); // locked
        w->ButReadClick();   // ignored while WRITE runs
        inputStartedNothing = presenter.boxes.empty();
        w->close();
        erase->release();
    });
    poll->start(0);
    w->ButWriteClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 5000));
    EXPECT_TRUE(askedWhileHeld) << "the question came while the request waited";
    EXPECT_TRUE(inputStartedNothing);
    ASSERT_EQ(presenter.boxes.size(), 1u) << "the question only, no error box";
    EXPECT_EQ(presenter.boxes[0].kind, MessageKind::Confirmation);
    // Enter answers Nein: the operation goes on.
    EXPECT_EQ(presenter.boxes[0].buttons,
              MessageButton::Yes | MessageButton::No | MessageButton::DefaultSecond);
    EXPECT_FALSE(erase->overlapped());
    EXPECT_FALSE(w->Ops().channelOpen());
    EXPECT_FALSE(w->operationRunning());
    EXPECT_EQ(std::count(chip.flash().begin(), chip.flash().end(), 0xFF), std::ptrdiff_t(chip.flash().size()))
        << "the erase ran to its end";
    EXPECT_EQ(bytesWritten(), 0u) << "stopped before the first block";
    EXPECT_TRUE(w->PanStat->text().isEmpty());
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    std::vector<char*> args(argv, argv + argc);
    char style[] = "-style";
    char fusion[] = "Fusion";
    args.insert(args.begin() + 1, {style, fusion});
    int count = int(args.size());
    args.push_back(nullptr);
    CorvaneApplication app(count, args.data());
    return RUN_ALL_TESTS();
}
