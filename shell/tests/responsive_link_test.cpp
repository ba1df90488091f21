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
#include <stdexcept>
#include <thread>
#include <vector>

using namespace corvane;

namespace {

// A link whose requests wait at a gate until the test opens it (or ten
// seconds pass: then the request fails, and the test with it, instead of
// hanging). It records what overlapped and in which order requests came.
class GatedLink : public DeviceLink {
public:
    bool open(int) override { return opened_ = true; }
    bool isOpen() const override { return opened_; }
    bool getDeviceDescriptor(DeviceDescriptor& out) override {
        out.fill(0x42);
        return true;
    }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        const int now = ++active_;
        maxActive_ = std::max(maxActive_.load(), now);
        {
            std::unique_lock lock(mutex_);
            order_.push_back(setup.Value);
            entered_ = true;
            entry_.notify_all();
            if (setup.Value == kThrows) {
                --active_;
                throw std::runtime_error("lost");
            }
            if (!gate_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; })) {
                --active_;
                return false;
            }
        }
        for (std::uint16_t i = 0; i < length; ++i)
            data[i] = static_cast<std::uint8_t>(setup.Value + i);
        --active_;
        return true;
    }
    void close() override { opened_ = false; }
    std::string lastError() const override { return "gated"; }

    void openGate() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        gate_.notify_all();
    }
    // Waits (on another thread than the caller's) until a request is at the gate.
    bool waitForEntry() {
        std::unique_lock lock(mutex_);
        return entry_.wait_for(lock, std::chrono::seconds(10), [this] { return entered_; });
    }
    std::vector<std::uint16_t> order() {
        const std::lock_guard lock(mutex_);
        return order_;
    }
    int maxActive() const { return maxActive_; }

    static constexpr std::uint16_t kThrows = 0xDEAD;

private:
    std::atomic<bool> opened_{false};
    std::atomic<int> active_{0};
    std::atomic<int> maxActive_{0};
    std::mutex mutex_;
    std::condition_variable gate_;
    std::condition_variable entry_;
    bool open_ = false;
    bool entered_ = false;
    std::vector<std::uint16_t> order_;
};

TClassRequest upload(std::uint16_t value) {
    TClassRequest r;
    r.Direction = 1;
    r.Request = 2;
    r.Value = value;
    return r;
}

} // namespace

TEST(ResponsiveLink, EventsRunWhileARequestWaitsAndRequestsNeverOverlap) {
    GatedLink inner;
    ResponsiveLink link(inner);
    std::array<std::uint8_t, 4> first{}, second{};
    bool secondResult = false;
    bool askedWhileWaiting = false;
    int waitingSeen = 0;
    // While the first request waits: the timer runs, the link says what it
    // knows, and a second request made from here runs after the first.
    QTimer::singleShot(0, [&] {
        waitingSeen = link.callsWaiting();
        askedWhileWaiting = link.lastError() == "" && !link.isOpen();
        QTimer::singleShot(0, [&] { inner.openGate(); });
        secondResult = link.classRequest(upload(2), second.data(), std::uint16_t(second.size()));
    });
    EXPECT_TRUE(link.classRequest(upload(1), first.data(), std::uint16_t(first.size())));
    EXPECT_TRUE(secondResult);
    EXPECT_EQ(waitingSeen, 1);
    EXPECT_TRUE(askedWhileWaiting) << "the answers of before the first call";
    EXPECT_EQ(first, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(second, (std::array<std::uint8_t, 4>{2, 3, 4, 5}));
    EXPECT_EQ(inner.order(), (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(inner.maxActive(), 1);
    EXPECT_EQ(link.callsWaiting(), 0);

    // The other calls go through too, and the answers come from the link again.
    DeviceDescriptor descriptor{};
    EXPECT_TRUE(link.open(3));
    EXPECT_TRUE(link.isOpen());
    EXPECT_TRUE(link.getDeviceDescriptor(descriptor));
    EXPECT_EQ(descriptor[17], 0x42);
    EXPECT_EQ(link.lastError(), "gated");
    link.close();
    EXPECT_FALSE(link.isOpen());
}

TEST(ResponsiveLink, AFailureInsideTheLinkReachesTheCaller) {
    GatedLink inner;
    ResponsiveLink link(inner);
    std::uint8_t byte = 0;
    EXPECT_THROW(link.classRequest(upload(GatedLink::kThrows), &byte, 1), std::runtime_error);
    inner.openGate();
    EXPECT_TRUE(link.classRequest(upload(7), &byte, 1)) << "the worker goes on";
    EXPECT_EQ(byte, 7);
}

// The application quits while a request waits: the call still returns only
// with the request's own answer, and the link can still be destroyed.
TEST(ResponsiveLink, AQuitDuringARequestWaitsForItsAnswer) {
    GatedLink inner;
    auto link = std::make_unique<ResponsiveLink>(inner);
    std::uint8_t byte = 0;
    bool result = false;
    // The answer comes only after the quit, from another thread: the caller
    // waits for it without its event loop.
    std::promise<void> quit;
    std::thread opener([&inner, quitDone = quit.get_future()] {
        if (inner.waitForEntry() && quitDone.wait_for(std::chrono::seconds(10)) == std::future_status::ready)
            inner.openGate();
    });
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&quit] {
            QCoreApplication::exit(0);
            quit.set_value();
        });
        result = link->classRequest(upload(9), &byte, 1);
        QCoreApplication::exit(0);
    });
    QCoreApplication::exec();
    opener.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(byte, 9);
    link.reset();
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
