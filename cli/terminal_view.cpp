// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_view.h"

#include "core/local_text.h"

#include <unistd.h>

namespace corvane::cli {

QString progressLine(const QString& status, const ProgressModel& bar, int width) {
    const int total = bar.total();
    const int filled = total > 0 ? bar.completed() * width / total : 0;
    return status + QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('-')) + QStringLiteral("] ") +
           QString::number(bar.percent()).rightJustified(3) + QLatin1Char('%');
}

QStringList messageLines(const QString& caption, const QString& text) {
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normal.split(QLatin1Char('\n'));
    lines.first() = caption + QStringLiteral(": ") + lines.first();
    return lines;
}

TerminalView::TerminalView(std::FILE* err, Mode mode) : err_(err), mode_(mode) {}

TerminalView::Mode TerminalView::modeFor(std::FILE* err, bool quiet) {
    if (quiet)
        return Mode::Quiet;
    return ::isatty(::fileno(err)) ? Mode::Bar : Mode::Lines;
}

void TerminalView::setMuted(bool muted) {
    endLine();
    muted_ = muted;
}

void TerminalView::print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), err_);
    std::fflush(err_);
}

void TerminalView::endLine() {
    if (lineOpen_) {
        print(QStringLiteral("\n"));
        lineOpen_ = false;
    }
}

void TerminalView::redraw() {
    QString line = status_;
    if (barSinceStatus_ && bar_.percentageShown())
        line = progressLine(status_, bar_, 30);
    // Back to the line's start and clear it, then the new state.
    print(QStringLiteral("\r\x1b[K") + escapeControlChars(line));
    lineOpen_ = true;
}

void TerminalView::setStatusText(const QString& text) {
    if (text == status_)
        return;
    status_ = text;
    barSinceStatus_ = false;
    if (muted_ || mode_ == Mode::Quiet)
        return;
    // The finished step keeps its line; an emptied status ends it.
    endLine();
    if (text.isEmpty())
        return;
    if (mode_ == Mode::Lines)
        print(escapeControlChars(text) + QLatin1Char('\n'));
    else
        redraw();
}

void TerminalView::progressChanged(const ProgressModel& bar) {
    // A new total comes before the status text of its step: it moves nothing
    // yet, and must not show on the previous step's line.
    const bool moved = bar.total() == bar_.total() && bar.completed() != bar_.completed();
    bar_ = bar;
    if (status_.isEmpty() || !moved)
        return;
    barSinceStatus_ = true;
    if (!muted_ && mode_ == Mode::Bar)
        redraw();
}

void TerminalView::note(const QString& text) {
    if (muted_ || mode_ == Mode::Quiet)
        return;
    endLine();
    print(escapeControlChars(text) + QLatin1Char('\n'));
}

void TerminalView::showMessage(const QString& caption, const QString& text) {
    messages_.push_back({caption, text});
    if (muted_) {
        detail_.clear();
        return;
    }
    endLine();
    QStringList lines = messageLines(caption, text);
    if (!detail_.isEmpty())
        lines.append(QStringLiteral("(") + detail_ + QStringLiteral(")"));
    // Line breaks are the message's own; anything else that would steer the
    // terminal came from a file, a device or the system and is shown escaped.
    for (QString& line : lines)
        line = escapeControlChars(line);
    print(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    detail_.clear();
}

int TerminalView::showMessageBox(const QString& caption, const QString& text, MessageKind, MessageButtons,
                                 bool) {
    showMessage(caption, text);
    return MessageResult::Abort;
}

} // namespace corvane::cli
