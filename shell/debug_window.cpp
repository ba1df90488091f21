// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/debug_window.h"

#include "shell/debug_format.h"
#include "shell/fonts.h"

#include <QVBoxLayout>

namespace corvane {

TDebug::TDebug(QWidget* parent) : QWidget(parent, Qt::Window), Memo(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Debug"));
    // Only the main window's close ends the program; the log never keeps it alive.
    setAttribute(Qt::WA_QuitOnClose, false);
    setGeometry(643, 72, 615, 341);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo);
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setFont(monoFont(8));
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
}

void TDebug::AddHexLine(std::int32_t value) {
    Memo->appendPlainText(hexLineText(value));
}

QStringList TDebug::lines() const {
    const QString text = Memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace corvane
