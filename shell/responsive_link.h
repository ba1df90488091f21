// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ResponsiveLink: the device link as the window uses it. A request can take
// long (the status request after a chip erase answers when the erase has
// ended, 2.6 s; a slow device answers late): each call of the wrapped link
// runs on a worker thread of its own while the window's thread waits in an
// event loop, so the window keeps painting and answering (a close asks its
// question at once). Calls run one at a time in the order they were made, so
// two requests never overlap; a call made while another waits (from an event
// handler) runs after it. What the window lets input start meanwhile is its
// own business: its operation controls are locked.
//
// If the event loop is told to end (the application quits), the wait goes
// on without events until the request is done. The link waits for a running
// request before it goes, so the worker never outlives what it uses.

#include "link/device_link.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace corvane {

class ResponsiveLink : public DeviceLink {
public:
    // inner must outlive this link.
    explicit ResponsiveLink(DeviceLink& inner);
    ~ResponsiveLink() override;
    ResponsiveLink(const ResponsiveLink&) = delete;
    ResponsiveLink& operator=(const ResponsiveLink&) = delete;

    bool open(int deviceNumber) override;
    bool isOpen() const override;
    bool getDeviceDescriptor(DeviceDescriptor& out) override;
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override;
    // Quick: waits without letting the window run (it is also called while
    // the window is being destroyed).
    void close() override;

    std::string lastError() const override;
    OpenFailure lastOpenFailure() const override;
    RequestFailure lastRequestFailure() const override;

    // Calls of this link under way on the calling thread (nested ones
    // included): while one waits, the window's event handlers run.
    int callsWaiting() const { return waiting_; }

private:
    struct Job;
    // What the inner link said after the last call, for the questions asked
    // while a call is under way.
    struct State {
        bool open = false;
        std::string error;
        OpenFailure openFailure = OpenFailure::None;
        RequestFailure failure = RequestFailure::Other;
    };

    void run(const std::function<void()>& work, bool withEvents);
    void serve();

    DeviceLink& inner_;
    int waiting_ = 0; // only the calling thread changes it
    mutable std::mutex mutex_;
    std::condition_variable wake_; // the worker: a job arrived, or the end
    std::condition_variable done_; // the callers: a job has finished
    std::deque<std::shared_ptr<Job>> jobs_;
    State state_;
    bool ending_ = false;
    std::thread worker_; // last: started when everything else exists
};

} // namespace corvane
