// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/link_source.h"

#include "core/local_text.h"
#include "link/libusb_link.h"
#include "sim/bench.h"

#include <filesystem>

namespace corvane::cli {

namespace {

class SimulatedSource : public LinkSource {
public:
    explicit SimulatedSource(std::unique_ptr<sim::SimBench> bench) : bench_(std::move(bench)) {}
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<sim::SimLink>(*bench_); }

private:
    std::unique_ptr<sim::SimBench> bench_;
};

// A link that passes everything on to one that another owns.
class LentLink : public DeviceLink {
public:
    explicit LentLink(DeviceLink& to) : to_(to) {}
    bool open(int deviceNumber) override { return to_.open(deviceNumber); }
    bool isOpen() const override { return to_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return to_.getDeviceDescriptor(out); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return to_.classRequest(setup, data, length);
    }
    void close() override { to_.close(); }
    std::string lastError() const override { return to_.lastError(); }
    OpenFailure lastOpenFailure() const override { return to_.lastOpenFailure(); }
    RequestFailure lastRequestFailure() const override { return to_.lastRequestFailure(); }
    std::optional<std::vector<AttachedDevice>> listDevices() override { return to_.listDevices(); }

private:
    DeviceLink& to_;
};

class BorrowedSource : public LinkSource {
public:
    explicit BorrowedSource(DeviceLink& link) : link_(link) {}
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<LentLink>(link_); }
    bool concurrent() const override { return false; }

private:
    DeviceLink& link_;
};

class UsbSource : public LinkSource {
public:
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<LibusbLink>(); }
};

} // namespace

std::unique_ptr<LinkSource> LinkSource::simulated(const QString& folder) {
    std::unique_ptr<sim::SimBench> bench =
        folder.isEmpty()
            ? sim::SimBench::fromEnvironment()
            : sim::SimBench::fromFolder(std::filesystem::path(encodeFileName(folder).toStdString()));
    return std::make_unique<SimulatedSource>(std::move(bench));
}

std::unique_ptr<LinkSource> LinkSource::usb() {
    return std::make_unique<UsbSource>();
}

std::unique_ptr<LinkSource> LinkSource::borrowed(DeviceLink& link) {
    return std::make_unique<BorrowedSource>(link);
}

} // namespace corvane::cli
