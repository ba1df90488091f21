// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TDebug: the hidden debug log window, a read-only text for the developer.
// Nothing in the program shows it; Ctrl+Shift+D in the main window does.

#include <QPlainTextEdit>
#include <QWidget>

#include <cstdint>

namespace corvane {

class TDebug : public QWidget {
    Q_OBJECT
public:
    explicit TDebug(QWidget* parent = nullptr);

    QPlainTextEdit* Memo;

    // Appends value as eight upper-case hexadecimal digits.
    void AddHexLine(std::int32_t value);
    QStringList lines() const;
};

} // namespace corvane
