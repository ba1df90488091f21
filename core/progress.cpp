// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/progress.h"

#include <algorithm>
#include <cstdint>

namespace corvane {

int progressPercent(int completed, int total) {
    if (total <= 0)
        return 0;
    const std::int64_t c = std::clamp(completed, 0, total);
    const std::int64_t num = 100 * c;
    std::int64_t q = num / total;
    const std::int64_t r2 = 2 * (num % total);
    if (r2 > total || (r2 == total && (q % 2) == 1))
        ++q;
    return static_cast<int>(q);
}

int progressSegments(int completed, int total, int segmentCount) {
    if (total <= 0 || segmentCount <= 0)
        return 0;
    const std::int64_t c = std::clamp(completed, 0, total);
    return static_cast<int>(c * segmentCount / total);
}

int ProgressModel::percent() const {
    return progressPercent(completed_, total_);
}

void ProgressModel::setTotal(int total) {
    total_ = std::max(total, 0);
    completed_ = 0;
}

void ProgressModel::setCompleted(int completed) {
    completed_ = std::clamp(completed, 0, total_);
}

} // namespace corvane
