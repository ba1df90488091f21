// SPDX-License-Identifier: GPL-3.0-or-later
// SimLink: the device link to the bench in the same process.

#include "sim/bench.h"

namespace corvane::sim {

namespace {

std::string transferErrorText(TransferError e) {
    switch (e) {
    case TransferError::None:
        return "no error";
    case TransferError::Stall:
        return "the device stalled the request";
    case TransferError::NoDevice:
        return "the device is no longer on the bus";
    case TransferError::Timeout:
        return "the request timed out";
    case TransferError::Io:
        break;
    }
    return "the transfer failed";
}

RequestFailure failureOf(TransferError e) {
    switch (e) {
    case TransferError::None:
        return RequestFailure::None;
    case TransferError::Stall:
        return RequestFailure::Refused;
    case TransferError::Timeout:
        return RequestFailure::TimedOut;
    case TransferError::NoDevice:
        return RequestFailure::Gone;
    case TransferError::Io:
        break;
    }
    return RequestFailure::Other;
}

constexpr unsigned kSimTimeoutMs = 5000;

} // namespace

SimLink::~SimLink() {
    close();
}

bool SimLink::refuse(OpenFailure why, std::string text) {
    openFailure_ = why;
    error_ = std::move(text);
    return false;
}

bool SimLink::open(int deviceNumber) {
    close();
    error_.clear();
    openFailure_ = OpenFailure::None;
    const std::string slot = "simulated slot " + std::to_string(deviceNumber);
    const SimChip* c = bench_.chip(deviceNumber);
    if (!c)
        return refuse(OpenFailure::NotFound, bench_.vacancy(deviceNumber));
    if (c->config().refuseOpen)
        return refuse(OpenFailure::AccessDenied, "access to " + slot + " refused");
    switch (bench_.claim(deviceNumber)) {
    case SimBench::Claim::Granted:
        break;
    case SimBench::Claim::Busy:
        return refuse(OpenFailure::Busy, slot + " is in use by another link or program");
    case SimBench::Claim::Failed:
        return refuse(OpenFailure::NotFound, bench_.lastError());
    }
    if (!c->attached()) {
        bench_.release(deviceNumber);
        return refuse(OpenFailure::NotFound, "the chip in " + slot + " is not on the bus");
    }
    slot_ = deviceNumber;
    return true;
}

bool SimLink::getDeviceDescriptor(DeviceDescriptor& out) {
    if (slot_ < 0) {
        error_ = "no device is open";
        return false;
    }
    DeviceDescriptor d{};
    const auto r = bench_.control(slot_, {0x80, 0x06, 0x0100, 0, static_cast<std::uint16_t>(d.size())},
                                  d.data(), kSimTimeoutMs);
    if (!r.ok()) {
        error_ = "device descriptor: " + transferErrorText(r.error);
        return false;
    }
    if (r.transferred < static_cast<int>(d.size())) {
        error_ = "device descriptor: short answer of " + std::to_string(r.transferred) + " bytes";
        return false;
    }
    out = d;
    return true;
}

bool SimLink::classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) {
    failure_ = RequestFailure::Other;
    if (slot_ < 0) {
        error_ = "no device is open";
        return false;
    }
    const UsbSetup s{setup.bmRequestType(), setup.Request, setup.Value, setup.Index, length};
    const auto r = bench_.control(slot_, s, data, kSimTimeoutMs);
    failure_ = failureOf(r.error);
    if (!r.ok()) {
        error_ = "class request " + std::to_string(setup.Request) + ": " + transferErrorText(r.error);
        return false;
    }
    if (setup.Direction == 1 && r.transferred < length) {
        failure_ = RequestFailure::Other;
        error_ = "class request " + std::to_string(setup.Request) + ": short answer of " +
                 std::to_string(r.transferred) + " of " + std::to_string(length) + " bytes";
        return false;
    }
    return true;
}

void SimLink::close() {
    if (slot_ < 0)
        return;
    bench_.release(slot_);
    slot_ = -1;
}

} // namespace corvane::sim
