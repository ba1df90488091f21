// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb backend of the device link.

#include "link/libusb_link.h"

#include <libusb.h>

#include <algorithm>
#include <memory>
#include <tuple>

namespace corvane {

namespace {

struct Candidate {
    libusb_device* device;
    AttachedDevice info;
};

struct DeviceListDeleter {
    void operator()(libusb_device** list) const { libusb_free_device_list(list, 1); }
};
using DeviceList = std::unique_ptr<libusb_device*, DeviceListDeleter>;

// Why opening or claiming a device failed.
OpenFailure openFailureOf(int libusbError) {
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return OpenFailure::AccessDenied;
    case LIBUSB_ERROR_BUSY:
        return OpenFailure::Busy;
    default:
        return OpenFailure::NotFound;
    }
}

} // namespace

LibusbLink::LibusbLink() = default;

LibusbLink::~LibusbLink() {
    close();
    if (context_)
        libusb_exit(context_);
}

void LibusbLink::fail(const std::string& what, int libusbError) {
    error_ = what + ": " + libusb_error_name(libusbError);
}

bool LibusbLink::ensureContext() {
    if (context_)
        return true;
    const int r = libusb_init(&context_);
    if (r < 0) {
        context_ = nullptr;
        fail("libusb_init", r);
        return false;
    }
    return true;
}

// The attached devices of our vendor in device-number order; list keeps
// them alive. Empty with error_ set when libusb fails.
static std::vector<Candidate> bootloaders(libusb_context* context, DeviceList& list, std::string& error,
                                          bool& failed) {
    std::vector<Candidate> found;
    libusb_device** raw = nullptr;
    const ssize_t count = libusb_get_device_list(context, &raw);
    failed = count < 0;
    if (failed) {
        error = std::string("libusb_get_device_list: ") + libusb_error_name(static_cast<int>(count));
        return found;
    }
    list.reset(raw);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(raw[i], &d) < 0 || d.idVendor != kBootVendor)
            continue;
        Candidate c{raw[i], {}};
        c.info.bus = libusb_get_bus_number(raw[i]);
        c.info.address = libusb_get_device_address(raw[i]);
        std::uint8_t ports[7];
        const int n = libusb_get_port_numbers(raw[i], ports, sizeof ports);
        if (n > 0)
            c.info.ports.assign(ports, ports + n);
        c.info.vendorId = d.idVendor;
        c.info.productId = d.idProduct;
        found.push_back(std::move(c));
    }
    std::sort(found.begin(), found.end(), [](const Candidate& x, const Candidate& y) {
        return std::tie(x.info.bus, x.info.ports) < std::tie(y.info.bus, y.info.ports);
    });
    for (std::size_t i = 0; i < found.size(); ++i)
        found[i].info.number = static_cast<int>(i);
    return found;
}

std::optional<std::vector<AttachedDevice>> LibusbLink::listDevices() {
    if (!ensureContext())
        return std::nullopt;
    DeviceList list;
    bool failed = false;
    std::vector<AttachedDevice> out;
    for (auto& c : bootloaders(context_, list, error_, failed))
        out.push_back(std::move(c.info));
    if (failed)
        return std::nullopt;
    return out;
}

bool LibusbLink::open(int deviceNumber) {
    close();
    error_.clear();
    openFailure_ = OpenFailure::None;
    if (!ensureContext()) {
        openFailure_ = OpenFailure::NotFound;
        return false;
    }
    DeviceList list;
    bool failed = false;
    const auto found = bootloaders(context_, list, error_, failed);
    if (failed) {
        openFailure_ = OpenFailure::NotFound;
        return false;
    }
    if (deviceNumber < 0 || static_cast<std::size_t>(deviceNumber) >= found.size()) {
        error_ = "no device number " + std::to_string(deviceNumber) + ": " + std::to_string(found.size()) +
                 " device(s) of vendor 03EB attached";
        openFailure_ = OpenFailure::NotFound;
        return false;
    }

    libusb_device_handle* h = nullptr;
    int r = libusb_open(found[deviceNumber].device, &h);
    if (r < 0) {
        fail("libusb_open", r);
        openFailure_ = openFailureOf(r);
        return false;
    }
    // Let libusb detach a bound kernel driver on claim and give it back on
    // release; where it cannot, detach by hand.
    if (libusb_set_auto_detach_kernel_driver(h, 1) != LIBUSB_SUCCESS &&
        libusb_kernel_driver_active(h, kInterface) == 1)
        libusb_detach_kernel_driver(h, kInterface);
    r = libusb_claim_interface(h, kInterface);
    if (r < 0) {
        fail("libusb_claim_interface", r);
        openFailure_ = openFailureOf(r);
        libusb_close(h);
        return false;
    }
    handle_ = h;
    claimed_ = true;
    return true;
}

bool LibusbLink::getDeviceDescriptor(DeviceDescriptor& out) {
    if (!handle_) {
        error_ = "no device is open";
        return false;
    }
    // Read from the device itself, as the driver does, not libusb's copy
    // from enumeration.
    DeviceDescriptor d{};
    const int r = libusb_control_transfer(handle_, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                          LIBUSB_DT_DEVICE << 8, 0, d.data(), d.size(), kTimeoutMs);
    if (r < 0) {
        fail("device descriptor", r);
        return false;
    }
    if (r < static_cast<int>(d.size())) {
        error_ = "device descriptor: short answer of " + std::to_string(r) + " bytes";
        return false;
    }
    out = d;
    return true;
}

bool LibusbLink::classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) {
    failure_ = RequestFailure::Other;
    if (!handle_) {
        error_ = "no device is open";
        return false;
    }
    // The request record names interface 4, which the bootloader ignores.
    // Linux refuses a request to an interface the device lacks or that this
    // program has not claimed, so the request goes to the interface claimed.
    const int r = libusb_control_transfer(handle_, setup.bmRequestType(), setup.Request, setup.Value,
                                          kInterface, data, length, kTimeoutMs);
    if (r < 0) {
        failure_ = r == LIBUSB_ERROR_TIMEOUT     ? RequestFailure::TimedOut
                   : r == LIBUSB_ERROR_PIPE      ? RequestFailure::Refused
                   : r == LIBUSB_ERROR_NO_DEVICE ? RequestFailure::Gone
                                                 : RequestFailure::Other;
        fail("class request " + std::to_string(setup.Request), r);
        return false;
    }
    if (setup.Direction == 1 && r < length) {
        error_ = "class request " + std::to_string(setup.Request) + ": short answer of " + std::to_string(r) +
                 " of " + std::to_string(length) + " bytes";
        return false;
    }
    failure_ = RequestFailure::None;
    return true;
}

void LibusbLink::close() {
    if (!handle_)
        return;
    if (claimed_)
        libusb_release_interface(handle_, kInterface);
    libusb_close(handle_);
    handle_ = nullptr;
    claimed_ = false;
}

} // namespace corvane
