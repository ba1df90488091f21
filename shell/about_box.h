// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About box ("Info..."): icon, title, description, system information.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace corvane {

// A label whose text looks pressed into the surface.
class SunkenLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TAbout : public QDialog {
    Q_OBJECT
public:
    // applicationTitle: the main window's caption.
    explicit TAbout(const QString& applicationTitle, QWidget* parent = nullptr);

    QLabel* ProgramIcon;
    SunkenLabel* ProductName;
    QLabel* Description;
    QLabel* MemoryValue;
    QLabel* PlatformValue;
    QPushButton* OKButton;
};

} // namespace corvane
