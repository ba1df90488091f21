// SPDX-License-Identifier: GPL-3.0-or-later
// The window's device link: while a request waits on its worker, the calling
// thread's events run; requests never overlap and keep their order; a quit
// of the event loop does not cut a request short.

#include "shell/responsive_link.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

using namespace corvane;

namespace {

// Requests wait at a gate until the test opens it (after ten seconds they
// fail instead, and the test with them); each answers bytes counting up from
// its Value. What overlapped and the order of the requests are recorded.
class GatedLink : public DeviceLink {
public:
    bool open(int) override { return true; }
    bool isOpen() const override { return false; }
    bool getDeviceDescriptor(DeviceDescriptor&) override { return true; }
    void close() override {}
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        overlapped = overlapped || ++active_ > 1;
        std::unique_lock lock(mutex_);
        order.push_back(setup.Value);
        entered_.notify_all();
        const bool opened = gate_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
        for (std::uint16_t i = 0; i < length; ++i)
            data[i] = static_cast<std::uint8_t>(setup.Value + i);
        --active_;
        return opened;
    }

    void openGate() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        gate_.notify_all();
    }
    // From another thread than the caller's: until a request is at the gate.
    bool waitForRequest() {
        std::unique_lock lock(mutex_);
        return entered_.wait_for(lock, std::chrono::seconds(10), [this] { return !order.empty(); });
    }

    std::vector<std::uint16_t> order; // guarded by mutex_ while requests run
    std::atomic<bool> overlapped{false};

private:
    std::atomic<int> active_{0};
    std::mutex mutex_;
    std::condition_variable gate_, entered_;
    bool open_ = false;
};

TClassRequest upload(std::uint16_t value) {
    TClassRequest r;
    r.Direction = 1;
    r.Value = value;
    return r;
}

} // namespace

TEST(ResponsiveLink, EventsRunWhileARequestWaitsAndRequestsNeverOverlap) {
    GatedLink inner;
    ResponsiveLink link(inner);
    std::array<std::uint8_t, 2> first{}, second{};
    bool secondDone = false;
    int waitingSeen = 0;
    // While the first request waits, this runs; the second request it makes
    // runs after the first, and the gate opens from a later event.
    QTimer::singleShot(0, [&] {
        waitingSeen = link.callsWaiting();
        QTimer::singleShot(0, [&] { inner.openGate(); });
        secondDone = link.classRequest(upload(2), second.data(), 2);
    });
    EXPECT_TRUE(link.classRequest(upload(1), first.data(), 2));
    EXPECT_TRUE(secondDone);
    EXPECT_EQ(waitingSeen, 1);
    EXPECT_EQ(first, (std::array<std::uint8_t, 2>{1, 2}));
    EXPECT_EQ(second, (std::array<std::uint8_t, 2>{2, 3}));
    EXPECT_EQ(inner.order, (std::vector<std::uint16_t>{1, 2}));
    EXPECT_FALSE(inner.overlapped);
    EXPECT_EQ(link.callsWaiting(), 0);
}

// The application quits while a request waits: the call still returns only
// with the request's own answer, which comes after the quit.
TEST(ResponsiveLink, AQuitDuringARequestWaitsForItsAnswer) {
    GatedLink inner;
    auto link = std::make_unique<ResponsiveLink>(inner);
    std::uint8_t byte = 0;
    bool result = false;
    std::promise<void> quit;
    std::thread opener([&inner, quitDone = quit.get_future()] {
        if (inner.waitForRequest() &&
            quitDone.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
            inner.openGate();
    });
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&quit] {
            QCoreApplication::exit(0);
            quit.set_value();
        });
        result = link->classRequest(upload(9), &byte, 1);
    });
    QCoreApplication::exec();
    opener.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(byte, 9);
    link.reset(); // the worker ends
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
