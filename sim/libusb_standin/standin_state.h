// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the libusb stand-in's parts share: the device and handle objects it
// hands out and the bench they lead to.
//
// One lock guards the bench's lifetime and the device objects, held only for
// bookkeeping; requests run outside it, so requests to different devices
// run at the same time. The bench serves one device's requests in order.

#include "sim/bench.h"

#include <libusb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#define STANDIN_API extern "C" __attribute__((visibility("default")))

struct libusb_context {
    int refs = 0;
};

struct libusb_device {
    int refs = 1;
    int slot = -1; // bench slot, -1 for a foreign device
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t bus = 1;
    std::vector<std::uint8_t> ports;
    std::uint8_t address = 0;
    std::uint64_t generation = 0; // which bench the device belongs to
};

struct libusb_device_handle {
    libusb_device* device = nullptr;
    std::uint32_t claimed = 0;
    bool autoDetach = false;
    bool driverBound = false;
    int configuration = 1;
    bool holdsSlot = false; // the bench slot is claimed for this handle
};

namespace corvane::standin {

inline std::mutex g_mutex;
inline std::unique_ptr<sim::SimBench> g_bench;
inline int g_contexts = 0;
inline std::uint64_t g_generation = 0;
inline libusb_context g_defaultContext;
// Every device object handed out and not yet freed: libusb_exit frees those a
// program left referenced (a device list freed without unreferencing).
inline std::set<libusb_device*> g_devices;

// The bench slot a device of the current bench leads to, or -1 (call with
// g_mutex held).
inline int slotOf(const libusb_device* dev) {
    if (!g_bench || !dev || dev->slot < 0 || dev->generation != g_generation || !g_bench->chip(dev->slot))
        return -1;
    return dev->slot;
}

// The bench and the device's slot, looked up under the lock; the bench stays
// until libusb_exit, which a program calls only when its requests are done.
struct Target {
    sim::SimBench* bench = nullptr;
    int slot = -1;
    bool attached() const { return bench && slot >= 0 && bench->chip(slot)->attached(); }
};

inline Target targetOf(const libusb_device* dev) {
    const std::lock_guard lock(g_mutex);
    const int slot = slotOf(dev);
    return {slot >= 0 ? g_bench.get() : nullptr, slot};
}

} // namespace corvane::standin
