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

class BorrowedSource : public LinkSource {
public:
    explicit BorrowedSource(DeviceLink& link) : link_(link) {}
    std::unique_ptr<DeviceLink> newLink() override { return std::make_unique<ForwardingLink>(link_); }
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
