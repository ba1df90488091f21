// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's progress bar: completed parts of a total shown in 25
// segments, with a percentage text that appears only while switched on.

#include <QColor>
#include <QWidget>

namespace corvane {

class SegmentedProgressBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegments = 25;
    static const QColor kPlateColor; // behind the percentage text: white
    static const QColor kTextColor;  // the percentage text: black

    explicit SegmentedProgressBar(QWidget* parent = nullptr);

    int total() const { return total_; }
    int completed() const { return completed_; }
    bool percentageVisible() const { return showPercentage_; }
    int percent() const;
    int filledSegments() const;
    // The text painted in the bar ("" while the percentage is hidden).
    QString percentageText() const;

    // A new total sets the completed count to 0.
    void setTotal(int total);
    // Limited to 0..total.
    void setCompleted(int completed);
    void setPercentageVisible(bool visible);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int total_ = 100;
    int completed_ = 0;
    bool showPercentage_ = false;
};

} // namespace corvane
