// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stretches of a memory's addresses: what a transfer moves, or which bytes a
// file gives.

#include <cstdint>
#include <vector>

namespace corvane {

struct Range {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t end() const { return start + length; } // one past the last byte
    bool operator==(const Range&) const = default;
};
using Ranges = std::vector<Range>;

} // namespace corvane
