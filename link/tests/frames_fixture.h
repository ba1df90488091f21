// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bootloader's command frames over a link to the in-process bench, with
// one chip in slot 0, and what the chip saw of them.

#include "core/chip_table.h"
#include "link/boot_frames.h"
#include "sim/bench.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane::testing {

using Bytes = std::vector<std::uint8_t>;

class FramesOnBench : public ::testing::Test {
protected:
    // Opens slot 0 as a program does: the first command may then bring a chip
    // left in the error state back to idle.
    void open() {
        ASSERT_TRUE(link.open(0));
        frames.channelOpened();
    }

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

    // A configuration byte read or written by its place in the chip table.
    ByteRead read(ConfigId id) { return frames.readConfigByte(configByte(id).area, configByte(id).index); }
    CommandResult write(ConfigId id, std::uint8_t value) {
        return frames.writeConfigByte(configByte(id).area, configByte(id).index, value);
    }
    // The byte read, or the link's integer code of the failure.
    static int valueOrCode(const ByteRead& r) { return r.result.ok() ? int(r.value) : r.result.code(); }

    sim::SimBench bench;
    sim::SimChip* chip = &bench.insert(0);
    sim::SimLink link{bench};
    BootFrames frames{link};
};

} // namespace corvane::testing
