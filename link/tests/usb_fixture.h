// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TUsb over the in-process bench with one chip in slot 0.

#include "image/memory_images.h"
#include "link/usb.h"
#include "sim/bench.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane::testing {

using Bytes = std::vector<std::uint8_t>;

class UsbOnBench : public ::testing::Test {
protected:
    UsbOnBench()
        : usb(link, images,
              {[this] { return deviceNumber; }, [this] { ++statusClears; }, [this] { ++messagePumps; }}) {}

    void open() { ASSERT_TRUE(usb.OpenDevice()); }

    // The class requests the chip saw, in order.
    std::vector<sim::LoggedRequest> classRequests() const {
        std::vector<sim::LoggedRequest> out;
        for (const auto& r : chip->log())
            if (r.kind == sim::LoggedRequest::Kind::Class)
                out.push_back(r);
        return out;
    }
    Bytes kinds() const {
        Bytes out;
        for (const auto& r : classRequests())
            out.push_back(r.bRequest);
        return out;
    }
    // A command frame: the given bytes, then zeros up to size.
    static Bytes frame(std::initializer_list<std::uint8_t> head, std::size_t size = 32) {
        Bytes f(head);
        f.resize(size, 0);
        return f;
    }

    sim::SimBench bench;
    sim::SimChip* chip = &bench.insert(0);
    sim::SimLink link{bench};
    MemoryImages images;
    int deviceNumber = 0;
    int statusClears = 0;
    int messagePumps = 0;
    TUsb usb;
};

} // namespace corvane::testing
