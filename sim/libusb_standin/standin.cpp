// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the libusb-1.0 shared library that routes every call to the
// simulated bench named by the environment (CORVANE_SIM_DIR and
// CORVANE_SIM_CONFIG, see sim/bench.h). Programs written for libusb run
// against it unchanged, linked to it or with LD_PRELOAD.
//
// This part: the library, the device list and the descriptors. The handles,
// the claims and the transfers are in standin_handles.cpp.

#include "standin_state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

using namespace corvane::standin;
using corvane::sim::SimBench;

namespace {

libusb_device* newDevice() {
    auto* d = new libusb_device;
    g_devices.insert(d);
    return d;
}

void freeAllDevices() {
    for (libusb_device* d : g_devices)
        delete d;
    g_devices.clear();
}

void fillDescriptor(const corvane::DeviceDescriptor& raw, libusb_device_descriptor* d) {
    d->bLength = raw[0];
    d->bDescriptorType = raw[1];
    d->bcdUSB = static_cast<std::uint16_t>(raw[2] | raw[3] << 8);
    d->bDeviceClass = raw[4];
    d->bDeviceSubClass = raw[5];
    d->bDeviceProtocol = raw[6];
    d->bMaxPacketSize0 = raw[7];
    d->idVendor = static_cast<std::uint16_t>(raw[8] | raw[9] << 8);
    d->idProduct = static_cast<std::uint16_t>(raw[10] | raw[11] << 8);
    d->bcdDevice = static_cast<std::uint16_t>(raw[12] | raw[13] << 8);
    d->iManufacturer = raw[14];
    d->iProduct = raw[15];
    d->iSerialNumber = raw[16];
    d->bNumConfigurations = raw[17];
}

} // namespace

// --- library ---------------------------------------------------------------

STANDIN_API int libusb_init(libusb_context** ctx) {
    std::lock_guard lock(g_mutex);
    if (!g_bench) {
        try {
            g_bench = SimBench::fromEnvironment();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "libusb stand-in: %s\n", e.what());
            return LIBUSB_ERROR_OTHER;
        }
        // What a libusb program would not otherwise learn: refused slots,
        // a bench file without chips.
        for (const std::string& w : g_bench->warnings())
            std::fprintf(stderr, "libusb stand-in: %s\n", w.c_str());
        ++g_generation;
    }
    ++g_contexts;
    if (ctx)
        *ctx = new libusb_context{1};
    else
        ++g_defaultContext.refs;
    return LIBUSB_SUCCESS;
}

STANDIN_API void libusb_exit(libusb_context* ctx) {
    std::lock_guard lock(g_mutex);
    if (ctx)
        delete ctx;
    else if (g_defaultContext.refs > 0)
        --g_defaultContext.refs;
    else
        return;
    if (--g_contexts == 0) {
        g_bench.reset(); // stores every chip
        freeAllDevices();
    }
}

STANDIN_API void libusb_set_debug(libusb_context*, int) {}

STANDIN_API int libusb_set_option(libusb_context*, enum libusb_option, ...) {
    return LIBUSB_SUCCESS;
}

STANDIN_API const struct libusb_version* libusb_get_version(void) {
    static const libusb_version v{1, 0, 26, 0, "", "corvane stand-in"};
    return &v;
}

STANDIN_API int libusb_has_capability(uint32_t capability) {
    return capability == LIBUSB_CAP_HAS_CAPABILITY || capability == LIBUSB_CAP_SUPPORTS_DETACH_KERNEL_DRIVER;
}

STANDIN_API const char* libusb_error_name(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "LIBUSB_SUCCESS";
    case LIBUSB_ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case LIBUSB_ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case LIBUSB_ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case LIBUSB_ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case LIBUSB_ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case LIBUSB_ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case LIBUSB_ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case LIBUSB_ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case LIBUSB_ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case LIBUSB_ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    case LIBUSB_ERROR_OTHER:
        return "LIBUSB_ERROR_OTHER";
    default:
        return "**UNKNOWN**";
    }
}

STANDIN_API const char* libusb_strerror(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return "Success";
    case LIBUSB_ERROR_IO:
        return "Input/Output Error";
    case LIBUSB_ERROR_INVALID_PARAM:
        return "Invalid parameter";
    case LIBUSB_ERROR_ACCESS:
        return "Access denied (insufficient permissions)";
    case LIBUSB_ERROR_NO_DEVICE:
        return "No such device (it may have been disconnected)";
    case LIBUSB_ERROR_NOT_FOUND:
        return "Entity not found";
    case LIBUSB_ERROR_BUSY:
        return "Resource busy";
    case LIBUSB_ERROR_TIMEOUT:
        return "Operation timed out";
    case LIBUSB_ERROR_OVERFLOW:
        return "Overflow";
    case LIBUSB_ERROR_PIPE:
        return "Pipe error";
    case LIBUSB_ERROR_INTERRUPTED:
        return "System call interrupted (perhaps due to signal)";
    case LIBUSB_ERROR_NO_MEM:
        return "Insufficient memory";
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return "Operation not supported or unimplemented on this platform";
    default:
        return "Other error";
    }
}

// --- devices ---------------------------------------------------------------

STANDIN_API ssize_t libusb_get_device_list(libusb_context*, libusb_device*** list) {
    SimBench* bench = nullptr;
    {
        const std::lock_guard lock(g_mutex);
        bench = g_bench.get();
    }
    if (!bench)
        return LIBUSB_ERROR_INVALID_PARAM;
    // The chips on the bus, after what other programs stored since (the
    // bench control, a chip that started its application): the same list
    // the in-process link has. Outside the lock, so that requests of other
    // threads go on meanwhile.
    const std::vector<corvane::AttachedDevice> boards = bench->attachedBoards();
    const std::lock_guard lock(g_mutex);
    std::vector<libusb_device*> devices;
    // Listed newest slot first, so that a caller has to sort to number them.
    for (auto board = boards.rbegin(); board != boards.rend(); ++board) {
        auto* d = newDevice();
        d->slot = board->number;
        d->vendorId = board->vendorId;
        d->productId = board->productId;
        d->bus = board->bus;
        d->ports = board->ports;
        d->address = board->address;
        d->generation = g_generation;
        devices.push_back(d);
    }
    std::uint8_t address = 2;
    for (const auto& f : g_bench->foreignDevices()) {
        auto* d = newDevice();
        d->vendorId = f.vendorId;
        d->productId = f.productId;
        d->bus = f.bus;
        d->ports = f.ports;
        d->address = address++;
        d->generation = g_generation;
        // Foreign devices go between the chips, where a real list has them.
        devices.insert(devices.begin() + static_cast<long>(devices.size() / 2), d);
    }
    auto** out = new libusb_device*[devices.size() + 1];
    std::copy(devices.begin(), devices.end(), out);
    out[devices.size()] = nullptr;
    *list = out;
    return static_cast<ssize_t>(devices.size());
}

STANDIN_API libusb_device* libusb_ref_device(libusb_device* dev) {
    std::lock_guard lock(g_mutex);
    ++dev->refs;
    return dev;
}

STANDIN_API void libusb_unref_device(libusb_device* dev) {
    if (!dev)
        return;
    std::lock_guard lock(g_mutex);
    if (--dev->refs == 0 && g_devices.erase(dev) != 0)
        delete dev;
}

STANDIN_API void libusb_free_device_list(libusb_device** list, int unrefDevices) {
    if (!list)
        return;
    if (unrefDevices)
        for (auto** d = list; *d; ++d)
            libusb_unref_device(*d);
    delete[] list;
}

STANDIN_API int libusb_get_device_descriptor(libusb_device* dev, struct libusb_device_descriptor* desc) {
    std::lock_guard lock(g_mutex);
    if (const int slot = slotOf(dev); slot >= 0) {
        fillDescriptor(g_bench->chip(slot)->deviceDescriptor(), desc);
        return LIBUSB_SUCCESS;
    }
    corvane::DeviceDescriptor raw{18,
                                  1,
                                  0x00,
                                  0x02,
                                  0x09,
                                  0,
                                  0,
                                  64,
                                  static_cast<std::uint8_t>(dev->vendorId & 0xFF),
                                  static_cast<std::uint8_t>(dev->vendorId >> 8),
                                  static_cast<std::uint8_t>(dev->productId & 0xFF),
                                  static_cast<std::uint8_t>(dev->productId >> 8),
                                  0,
                                  1,
                                  0,
                                  0,
                                  0,
                                  1};
    fillDescriptor(raw, desc);
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_get_config_descriptor(libusb_device* dev, uint8_t index,
                                             struct libusb_config_descriptor** config) {
    std::lock_guard lock(g_mutex);
    const int slot = slotOf(dev);
    if (slot < 0 || index != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    const auto raw = g_bench->chip(slot)->configurationDescriptor();
    auto* alt = new libusb_interface_descriptor{};
    alt->bLength = raw[9];
    alt->bDescriptorType = raw[10];
    alt->bInterfaceNumber = raw[11];
    alt->bAlternateSetting = raw[12];
    alt->bNumEndpoints = raw[13];
    alt->bInterfaceClass = raw[14];
    alt->bInterfaceSubClass = raw[15];
    alt->bInterfaceProtocol = raw[16];
    alt->iInterface = raw[17];
    auto* extra = new unsigned char[raw.size() - 18];
    std::memcpy(extra, raw.data() + 18, raw.size() - 18);
    alt->extra = extra;
    alt->extra_length = static_cast<int>(raw.size() - 18);
    auto* iface = new libusb_interface{alt, 1};
    auto* c = new libusb_config_descriptor{};
    c->bLength = raw[0];
    c->bDescriptorType = raw[1];
    c->wTotalLength = static_cast<std::uint16_t>(raw[2] | raw[3] << 8);
    c->bNumInterfaces = raw[4];
    c->bConfigurationValue = raw[5];
    c->iConfiguration = raw[6];
    c->bmAttributes = raw[7];
    c->MaxPower = raw[8];
    c->interface = iface;
    *config = c;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_get_active_config_descriptor(libusb_device* dev,
                                                    struct libusb_config_descriptor** config) {
    return libusb_get_config_descriptor(dev, 0, config);
}

STANDIN_API void libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
    if (!config)
        return;
    if (config->interface) {
        delete[] config->interface->altsetting->extra;
        delete config->interface->altsetting;
        delete config->interface;
    }
    delete config;
}

STANDIN_API uint8_t libusb_get_bus_number(libusb_device* dev) {
    return dev->bus;
}

STANDIN_API uint8_t libusb_get_device_address(libusb_device* dev) {
    return dev->address;
}

STANDIN_API uint8_t libusb_get_port_number(libusb_device* dev) {
    return dev->ports.empty() ? 0 : dev->ports.back();
}

STANDIN_API int libusb_get_port_numbers(libusb_device* dev, uint8_t* ports, int length) {
    if (length <= 0)
        return LIBUSB_ERROR_INVALID_PARAM;
    if (static_cast<int>(dev->ports.size()) > length)
        return LIBUSB_ERROR_OVERFLOW;
    std::copy(dev->ports.begin(), dev->ports.end(), ports);
    return static_cast<int>(dev->ports.size());
}

STANDIN_API libusb_device* libusb_get_parent(libusb_device*) {
    return nullptr;
}

STANDIN_API int libusb_get_device_speed(libusb_device*) {
    return LIBUSB_SPEED_FULL;
}
