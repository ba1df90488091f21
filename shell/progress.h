// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arithmetic of the status bar's progress bar.

namespace corvane {

// 100 * completed / total rounded to the nearest whole number, halves to the
// even one; completed is limited to 0..total; 0 when total is not positive.
int progressPercent(int completed, int total);

// Segments to fill out of segmentCount for the same fraction (rounded down,
// so the bar is full only when the work is complete).
int progressSegments(int completed, int total, int segmentCount);

} // namespace corvane
