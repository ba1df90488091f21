// SPDX-License-Identifier: GPL-3.0-or-later
// The faults a test injects into a simulated chip, by request number.

#include "sim/chip.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace corvane::sim {

void FaultPlan::failRequest(int k, int count) {
    for (int i = 0; i < count; ++i)
        failing.insert(k + i);
}

void FaultPlan::timeOutRequest(int k, int count) {
    for (int i = 0; i < count; ++i)
        timingOut.insert(k + i);
}

bool FaultPlan::empty() const {
    return failing.empty() && timingOut.empty() && statusOverride.empty() && shortUploads.empty() &&
           vanishAfterRequest == 0 && !failDescriptor && stuckFlash.empty();
}

std::optional<TransferError> FaultPlan::transportFault(int k) const {
    if (failing.count(k))
        return TransferError::Io;
    if (timingOut.count(k))
        return TransferError::Timeout;
    return std::nullopt;
}

std::optional<std::uint8_t> FaultPlan::statusAt(int k) const {
    if (const auto it = statusOverride.find(k); it != statusOverride.end())
        return it->second;
    return std::nullopt;
}

std::size_t FaultPlan::uploadLimit(int k, std::size_t n) const {
    if (const auto it = shortUploads.find(k); it != shortUploads.end())
        return std::min<std::size_t>(n, it->second);
    return n;
}

void FaultPlan::programFlash(std::vector<std::uint8_t>& flash, unsigned start, const std::uint8_t* bytes,
                             std::size_t count) const {
    std::vector<std::pair<std::uint16_t, std::uint8_t>> kept;
    const auto end = start + count;
    for (auto at = stuckFlash.lower_bound(static_cast<std::uint16_t>(start));
         at != stuckFlash.end() && *at < end; ++at)
        kept.emplace_back(*at, flash[*at]);
    std::memcpy(flash.data() + start, bytes, count);
    for (const auto& [at, value] : kept)
        flash[at] = value;
}

} // namespace corvane::sim
