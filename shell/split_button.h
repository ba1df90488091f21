// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture button with a drop-down arrow part (17 pixels wide) beside it:
// the button part emits clicked(), the arrow part drops down menu().

#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace corvane {

class SplitButton : public QWidget {
    Q_OBJECT
public:
    static constexpr int kArrowWidth = 17;

    explicit SplitButton(QWidget* parent = nullptr);

    QToolButton* button() const { return button_; }
    QToolButton* arrow() const { return arrow_; }
    void setMenu(QMenu* menu);
    QMenu* menu() const { return arrow_->menu(); }
    void setIcon(const QIcon& icon);
    // The hint shows on both parts.
    void setHint(const QString& hint);

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* button_;
    QToolButton* arrow_;
};

} // namespace corvane
