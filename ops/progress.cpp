// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/progress.h"

#include "shell/progress.h"

#include <algorithm>

namespace corvane {

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
