// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/device_backend.h"

#include "link/libusb_link.h"
#include "sim/bench.h"

#include <filesystem>

namespace corvane::cli {

namespace {

// The bench and its in-process link, owned together; the bench stores its
// chips when it goes.
class SimulatedBackend : public DeviceBackend {
public:
    explicit SimulatedBackend(std::unique_ptr<sim::SimBench> bench)
        : bench_(std::move(bench)), link_(*bench_) {}
    DeviceLink& link() override { return link_; }

private:
    std::unique_ptr<sim::SimBench> bench_;
    sim::SimLink link_;
};

class UsbBackend : public DeviceBackend {
public:
    DeviceLink& link() override { return link_; }

private:
    LibusbLink link_;
};

} // namespace

std::unique_ptr<DeviceBackend> DeviceBackend::simulated(const QString& folder) {
    std::unique_ptr<sim::SimBench> bench =
        folder.isEmpty() ? sim::SimBench::fromEnvironment()
                         : sim::SimBench::fromFolder(std::filesystem::path(folder.toStdString()));
    return std::make_unique<SimulatedBackend>(std::move(bench));
}

std::unique_ptr<DeviceBackend> DeviceBackend::usb() {
    return std::make_unique<UsbBackend>();
}

} // namespace corvane::cli
