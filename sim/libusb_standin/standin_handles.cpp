// SPDX-License-Identifier: GPL-3.0-or-later
// The libusb stand-in's handles: opening a device, claiming its interface
// (which claims the bench slot: a second program, or a second handle, is
// refused with LIBUSB_ERROR_BUSY, as when a real interface is claimed), the
// kernel driver, and the control transfers.
//
// Like the Linux kernel, it refuses a control request addressed to an
// interface that the device lacks or that the caller has not claimed.

#include "standin_state.h"

#include <cstdio>
#include <cstring>

using namespace corvane::standin;
using corvane::sim::SimBench;
using corvane::sim::TransferError;

namespace {

int transferErrorCode(TransferError e) {
    switch (e) {
    case TransferError::None:
        return LIBUSB_SUCCESS;
    case TransferError::Stall:
        return LIBUSB_ERROR_PIPE;
    case TransferError::NoDevice:
        return LIBUSB_ERROR_NO_DEVICE;
    case TransferError::Timeout:
        return LIBUSB_ERROR_TIMEOUT;
    case TransferError::Io:
        break;
    }
    return LIBUSB_ERROR_IO;
}

// Gives the bench slot back (storing what changed) when the handle holds it.
void releaseSlot(libusb_device_handle* handle) {
    if (!handle->holdsSlot)
        return;
    handle->holdsSlot = false;
    if (const Target t = targetOf(handle->device); t.bench)
        t.bench->release(t.slot);
}

} // namespace

// --- handles -----------------------------------------------------------------

STANDIN_API int libusb_open(libusb_device* dev, libusb_device_handle** handle) {
    std::lock_guard lock(g_mutex);
    const int slot = slotOf(dev);
    if (dev->slot >= 0 && (slot < 0 || !g_bench->chip(slot)->attached()))
        return LIBUSB_ERROR_NO_DEVICE;
    if (slot < 0)
        return LIBUSB_ERROR_ACCESS; // foreign devices belong to someone else
    const corvane::sim::ChipConfig& config = g_bench->chip(slot)->config();
    if (config.refuseOpen)
        return LIBUSB_ERROR_ACCESS;
    ++dev->refs;
    *handle = new libusb_device_handle{dev, 0, false, config.kernelDriver, 1, false};
    return LIBUSB_SUCCESS;
}

STANDIN_API libusb_device_handle* libusb_open_device_with_vid_pid(libusb_context* ctx, uint16_t vendor,
                                                                  uint16_t product) {
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx, &list);
    libusb_device_handle* found = nullptr;
    for (ssize_t i = 0; i < n && !found; ++i) {
        libusb_device_descriptor d{};
        libusb_get_device_descriptor(list[i], &d);
        if (d.idVendor == vendor && d.idProduct == product && libusb_open(list[i], &found) != LIBUSB_SUCCESS)
            found = nullptr;
    }
    if (n >= 0)
        libusb_free_device_list(list, 1);
    return found;
}

STANDIN_API void libusb_close(libusb_device_handle* handle) {
    if (!handle)
        return;
    releaseSlot(handle);
    libusb_unref_device(handle->device);
    delete handle;
}

STANDIN_API libusb_device* libusb_get_device(libusb_device_handle* handle) {
    return handle->device;
}

STANDIN_API int libusb_get_configuration(libusb_device_handle* handle, int* config) {
    *config = handle->configuration;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_set_configuration(libusb_device_handle* handle, int config) {
    if (config != 1 && config != -1 && config != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed)
        return LIBUSB_ERROR_BUSY;
    handle->configuration = config == -1 ? 0 : config;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_claim_interface(libusb_device_handle* handle, int number) {
    const Target t = targetOf(handle->device);
    if (!t.attached())
        return LIBUSB_ERROR_NO_DEVICE;
    if (number != 0 || handle->configuration != 1)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->driverBound && !handle->autoDetach)
        return LIBUSB_ERROR_BUSY;
    if (!handle->holdsSlot) {
        // The interface is the chip's only one: claiming it claims the slot.
        switch (t.bench->claim(t.slot)) {
        case SimBench::Claim::Granted:
            break;
        case SimBench::Claim::Busy:
            return LIBUSB_ERROR_BUSY;
        case SimBench::Claim::Failed:
            std::fprintf(stderr, "libusb stand-in: %s\n", t.bench->lastError().c_str());
            return LIBUSB_ERROR_OTHER;
        }
        handle->holdsSlot = true;
        // The last holder may have started the application meanwhile.
        if (!t.attached()) {
            releaseSlot(handle);
            return LIBUSB_ERROR_NO_DEVICE;
        }
    }
    handle->driverBound = false;
    handle->claimed |= 1u << number;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_release_interface(libusb_device_handle* handle, int number) {
    if (number < 0 || number > 31 || !(handle->claimed & (1u << number)))
        return LIBUSB_ERROR_NOT_FOUND;
    handle->claimed &= ~(1u << number);
    if (handle->autoDetach) {
        if (const Target t = targetOf(handle->device); t.bench)
            handle->driverBound = t.bench->chip(t.slot)->config().kernelDriver; // given back
    }
    if (handle->claimed == 0)
        releaseSlot(handle);
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_set_interface_alt_setting(libusb_device_handle* handle, int number, int alt) {
    if (number != 0 || !(handle->claimed & 1u))
        return LIBUSB_ERROR_NOT_FOUND;
    return alt == 0 ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

STANDIN_API int libusb_set_auto_detach_kernel_driver(libusb_device_handle* handle, int enable) {
    handle->autoDetach = enable != 0;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_kernel_driver_active(libusb_device_handle* handle, int number) {
    if (number != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    return handle->driverBound ? 1 : 0;
}

STANDIN_API int libusb_detach_kernel_driver(libusb_device_handle* handle, int number) {
    if (number != 0 || !handle->driverBound)
        return LIBUSB_ERROR_NOT_FOUND;
    handle->driverBound = false;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_attach_kernel_driver(libusb_device_handle* handle, int number) {
    if (number != 0)
        return LIBUSB_ERROR_NOT_FOUND;
    if (handle->claimed & 1u)
        return LIBUSB_ERROR_BUSY;
    handle->driverBound = true;
    return LIBUSB_SUCCESS;
}

STANDIN_API int libusb_reset_device(libusb_device_handle* handle) {
    const Target t = targetOf(handle->device);
    if (!t.attached())
        return LIBUSB_ERROR_NOT_FOUND;
    // The reset changes the chip: it needs the slot, as a claim does.
    const bool held = handle->holdsSlot;
    if (!held) {
        const SimBench::Claim c = t.bench->claim(t.slot);
        if (c != SimBench::Claim::Granted)
            return c == SimBench::Claim::Busy ? LIBUSB_ERROR_BUSY : LIBUSB_ERROR_NOT_FOUND;
    }
    // A bus reset re-enumerates the device; the bootloader starts over.
    bool back = false;
    t.bench->withChip(t.slot, [&back](corvane::sim::SimChip& chip) {
        chip.reset();
        back = chip.attached();
    });
    if (!held)
        t.bench->release(t.slot);
    return back ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

STANDIN_API int libusb_clear_halt(libusb_device_handle*, unsigned char) {
    return LIBUSB_ERROR_NOT_FOUND;
}

// --- transfers -------------------------------------------------------------

STANDIN_API int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                                        uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                                        unsigned int timeout) {
    // No lock is held while the chip serves the request: requests to other
    // chips go on meanwhile.
    const Target t = targetOf(handle->device);
    if (!t.attached())
        return LIBUSB_ERROR_NO_DEVICE;
    const int recipient = requestType & LIBUSB_RECIPIENT_OTHER;
    if (recipient == LIBUSB_RECIPIENT_INTERFACE) {
        // The kernel's rule: the interface must exist and be claimed by us.
        const int number = index & 0xFF;
        if (number != 0 || !(handle->claimed & (1u << number)))
            return LIBUSB_ERROR_IO;
    }
    if (length && !data)
        return LIBUSB_ERROR_INVALID_PARAM;
    const auto r = t.bench->control(t.slot, {requestType, request, value, index, length}, data, timeout);
    if (!r.ok())
        return transferErrorCode(r.error);
    return r.transferred;
}

STANDIN_API int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index,
                                                   unsigned char*, int) {
    if (!handle)
        return LIBUSB_ERROR_INVALID_PARAM;
    // The bootloader reports no strings: index 0 is not a string at all.
    return index == 0 ? LIBUSB_ERROR_INVALID_PARAM : LIBUSB_ERROR_PIPE;
}

STANDIN_API int libusb_bulk_transfer(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                                     unsigned int) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

STANDIN_API int libusb_interrupt_transfer(libusb_device_handle*, unsigned char, unsigned char*, int, int*,
                                          unsigned int) {
    return LIBUSB_ERROR_NOT_SUPPORTED;
}

// --- for tests: is this process running on the stand-in? -------------------

STANDIN_API int corvane_standin_active(void) {
    return 1;
}

// For tests: device objects handed out and not yet freed.
STANDIN_API int corvane_standin_live_devices(void) {
    std::lock_guard lock(g_mutex);
    return static_cast<int>(g_devices.size());
}
