// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/backends.h"

#include "link/libusb_link.h"
#include "sim/bench.h"

#include <filesystem>

namespace corvane {

namespace {

// The bench and its in-process link, owned together.
class SimulatedBenchLink : public DeviceLink {
public:
    explicit SimulatedBenchLink(std::unique_ptr<sim::SimBench> bench)
        : bench_(std::move(bench)), link_(*bench_) {}

    bool open(int deviceNumber) override { return link_.open(deviceNumber); }
    bool isOpen() const override { return link_.isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override { return link_.getDeviceDescriptor(out); }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return link_.classRequest(setup, data, length);
    }
    void close() override { link_.close(); }
    std::string lastError() const override { return link_.lastError(); }
    OpenFailure lastOpenFailure() const override { return link_.lastOpenFailure(); }
    RequestFailure lastRequestFailure() const override { return link_.lastRequestFailure(); }
    std::optional<std::vector<AttachedDevice>> listDevices() override { return link_.listDevices(); }

private:
    // Declared first: the link closes before the bench stores its chips.
    std::unique_ptr<sim::SimBench> bench_;
    sim::SimLink link_;
};

} // namespace

std::unique_ptr<DeviceLink> makeSimulatedLink(const std::string& folder) {
    std::unique_ptr<sim::SimBench> bench = folder.empty()
                                               ? sim::SimBench::fromEnvironment()
                                               : sim::SimBench::fromFolder(std::filesystem::path(folder));
    return std::make_unique<SimulatedBenchLink>(std::move(bench));
}

std::unique_ptr<DeviceLink> makeLibusbLink() {
    return std::make_unique<LibusbLink>();
}

std::unique_ptr<DeviceLink> makeDeviceLink(bool simulate, const std::string& folder) {
    return simulate ? makeSimulatedLink(folder) : makeLibusbLink();
}

} // namespace corvane
