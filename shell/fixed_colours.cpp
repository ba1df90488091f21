// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/fixed_colours.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace corvane {

namespace {

const QColor kFixedText(0x00, 0x00, 0x00);
const QColor kFixedFace(0xF0, 0xF0, 0xF0);
const QColor kFixedDisabledText(0x80, 0x80, 0x80);

constexpr char kFixedTextProperty[] = "corvaneFixedText";

// A fixed text colour on the window's ground while that is light enough for
// it; on a dark ground (a dark desktop palette) it gets a fixed light one.
void suitFixedText(QWidget* w) {
    const QColor text = w->property(kFixedTextProperty).value<QColor>();
    const QColor ground = QApplication::palette().color(QPalette::Window);
    const bool plate = std::abs(text.lightnessF() - ground.lightnessF()) < 0.4;
    QPalette pal; // only the roles set here are the widget's own
    pal.setColor(QPalette::WindowText, text);
    pal.setColor(QPalette::Text, text);
    if (plate)
        pal.setColor(QPalette::Window, kFixedFace);
    w->setPalette(pal);
    w->setAutoFillBackground(plate);
}

} // namespace

void setTextColor(QWidget* w, const QColor& color) {
    w->setProperty(kFixedTextProperty, color);
    suitFixedText(w);
}

void setBackground(QWidget* w, const QColor& color) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Base, color);
    pal.setColor(QPalette::Button, color);
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText}) {
        pal.setColor(role, kFixedText);
        pal.setColor(QPalette::Disabled, role, kFixedDisabledText);
    }
    w->setPalette(pal);
}

void suitFixedTextColours(QWidget* window) {
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (child->property(kFixedTextProperty).isValid())
            suitFixedText(child);
    }
}

} // namespace corvane
