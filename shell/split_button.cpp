// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/split_button.h"

namespace corvane {

SplitButton::SplitButton(QWidget* parent)
    : QWidget(parent), button_(new QToolButton(this)), arrow_(new QToolButton(this)) {
    button_->setAutoRaise(false);
    button_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button_->setIconSize(QSize(16, 16));
    arrow_->setArrowType(Qt::DownArrow);
    arrow_->setPopupMode(QToolButton::InstantPopup);
    arrow_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    connect(button_, &QToolButton::clicked, this, &SplitButton::clicked);
}

void SplitButton::setMenu(QMenu* menu) {
    arrow_->setMenu(menu);
}

void SplitButton::setIcon(const QIcon& icon) {
    button_->setIcon(icon);
}

void SplitButton::setHint(const QString& hint) {
    setToolTip(hint);
    button_->setToolTip(hint);
    arrow_->setToolTip(hint);
}

void SplitButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int arrowWidth = std::min(kArrowWidth, width());
    button_->setGeometry(0, 0, width() - arrowWidth, height());
    arrow_->setGeometry(width() - arrowWidth, 0, arrowWidth, height());
}

} // namespace corvane
