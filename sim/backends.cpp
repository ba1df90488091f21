// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/backends.h"

#include "link/libusb_link.h"
#include "sim/bench.h"

#include <filesystem>

namespace corvane {

namespace {

// Made before the link that forwards to it; the link closes before the
// bench stores its chips.
struct BenchAndLink {
    explicit BenchAndLink(std::unique_ptr<sim::SimBench> owned) : bench(std::move(owned)), link(*bench) {}
    std::unique_ptr<sim::SimBench> bench;
    sim::SimLink link;
};

// The bench and its in-process link, owned together.
class SimulatedBenchLink : private BenchAndLink, public ForwardingLink {
public:
    explicit SimulatedBenchLink(std::unique_ptr<sim::SimBench> bench)
        : BenchAndLink(std::move(bench)), ForwardingLink(link) {}
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
