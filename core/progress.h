// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress bar: its arithmetic and its model (a total number of parts,
// the completed parts, limited to the total, and whether the percentage text
// is shown).

namespace corvane {

// 100 * completed / total rounded to the nearest whole number, halves to the
// even one; completed is limited to 0..total; 0 when total is not positive.
int progressPercent(int completed, int total);

// Segments to fill out of segmentCount for the same fraction (rounded down,
// so the bar is full only when the work is complete).
int progressSegments(int completed, int total, int segmentCount);

class ProgressModel {
public:
    int total() const { return total_; }
    int completed() const { return completed_; }
    bool percentageShown() const { return percentageShown_; }

    // 100 x completed / total, rounded to the nearest whole number, halves to
    // the even one. An empty bar (total 0) shows 0.
    int percent() const;

    // A new total restarts the bar at 0 completed parts.
    void setTotal(int total);
    // Limited to 0..total.
    void setCompleted(int completed);
    void setPercentageShown(bool shown) { percentageShown_ = shown; }

private:
    int total_ = 100;
    int completed_ = 0;
    bool percentageShown_ = false;
};

} // namespace corvane
