// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/responsive_link.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>

#include <exception>

namespace corvane {

struct ResponsiveLink::Job {
    std::function<void()> work;
    QEventLoop* loop = nullptr; // told to quit when the job has finished
    bool finished = false;
    std::exception_ptr error;
};

ResponsiveLink::ResponsiveLink(DeviceLink& inner) : inner_(inner), worker_([this] { serve(); }) {}

ResponsiveLink::~ResponsiveLink() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    worker_.join(); // after the jobs already handed over
}

void ResponsiveLink::serve() {
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
            if (jobs_.empty())
                return;
            job = jobs_.front();
            jobs_.pop_front();
        }
        try {
            job->work();
        } catch (...) {
            job->error = std::current_exception();
        }
        State after{inner_.isOpen(), inner_.lastError(), inner_.lastOpenFailure(),
                    inner_.lastRequestFailure()};
        {
            // The caller sees finished only after the wake-up is posted, so
            // its loop still exists when the event is posted to it.
            const std::lock_guard lock(mutex_);
            state_ = std::move(after);
            job->finished = true;
            if (job->loop)
                QCoreApplication::postEvent(job->loop, new QEvent(QEvent::Quit));
        }
        done_.notify_all();
    }
}

void ResponsiveLink::run(const std::function<void()>& work, bool withEvents) {
    auto job = std::make_shared<Job>();
    job->work = work;
    // Events are processed only by the thread the application runs in.
    const QCoreApplication* app = QCoreApplication::instance();
    std::unique_ptr<QEventLoop> loop;
    if (withEvents && app && QThread::currentThread() == app->thread()) {
        loop = std::make_unique<QEventLoop>();
        job->loop = loop.get();
    }
    ++waiting_;
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(job);
    }
    wake_.notify_one();
    if (loop)
        loop->exec(); // ends when the job has finished, or when the application quits
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&job] { return job->finished; });
    }
    --waiting_;
    if (job->error)
        std::rethrow_exception(job->error);
}

bool ResponsiveLink::open(int deviceNumber) {
    bool result = false;
    run([&] { result = inner_.open(deviceNumber); }, true);
    return result;
}

bool ResponsiveLink::getDeviceDescriptor(DeviceDescriptor& out) {
    bool result = false;
    run([&] { result = inner_.getDeviceDescriptor(out); }, true);
    return result;
}

bool ResponsiveLink::classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) {
    bool result = false;
    run([&] { result = inner_.classRequest(setup, data, length); }, true);
    return result;
}

void ResponsiveLink::close() {
    run([this] { inner_.close(); }, false);
}

// While a call waits, the worker may be inside the inner link: the answers
// are those it gave after the last call. Otherwise the worker is idle and
// the inner link answers itself.
bool ResponsiveLink::isOpen() const {
    if (waiting_ > 0) {
        const std::lock_guard lock(mutex_);
        return state_.open;
    }
    return inner_.isOpen();
}

std::string ResponsiveLink::lastError() const {
    if (waiting_ > 0) {
        const std::lock_guard lock(mutex_);
        return state_.error;
    }
    return inner_.lastError();
}

OpenFailure ResponsiveLink::lastOpenFailure() const {
    if (waiting_ > 0) {
        const std::lock_guard lock(mutex_);
        return state_.openFailure;
    }
    return inner_.lastOpenFailure();
}

RequestFailure ResponsiveLink::lastRequestFailure() const {
    if (waiting_ > 0) {
        const std::lock_guard lock(mutex_);
        return state_.failure;
    }
    return inner_.lastRequestFailure();
}

} // namespace corvane
