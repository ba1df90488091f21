// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress.h"

#include "core/local_text.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace corvane::cli {

namespace {

int percentOf(std::size_t done, std::size_t total) {
    return total == 0 ? 100 : int(done * 100 / total);
}

} // namespace

QString progressLine(const QString& step, std::size_t done, std::size_t total, int width) {
    const int filled = total > 0 ? int(done * std::size_t(width) / total) : width;
    return step + QStringLiteral(" [") + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('-')) + QStringLiteral("] ") +
           QString::number(percentOf(done, total)).rightJustified(3) + QLatin1Char('%');
}

TerminalProgress::TerminalProgress(std::FILE* err, Mode mode) : err_(err), mode_(mode) {}

TerminalProgress::Mode TerminalProgress::modeFor(std::FILE* err, bool quiet) {
    if (quiet)
        return Mode::Quiet;
    const char* term = std::getenv("TERM");
    const bool plain = !term || !*term || std::strcmp(term, "dumb") == 0;
    return ::isatty(::fileno(err)) && !plain ? Mode::Bar : Mode::Lines;
}

void TerminalProgress::print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), err_);
    std::fflush(err_);
}

void TerminalProgress::endLine() {
    if (lineOpen_) {
        print(QStringLiteral("\n"));
        lineOpen_ = false;
    }
}

void TerminalProgress::step(const QString& text) {
    step_ = escapeControlChars(text);
    shownPercent_ = -1;
    if (mode_ == Mode::Quiet)
        return;
    endLine();
    if (mode_ == Mode::Lines) {
        print(step_ + QLatin1Char('\n'));
        return;
    }
    print(QStringLiteral("\r\x1b[K") + step_);
    lineOpen_ = true;
}

void TerminalProgress::progress(std::size_t done, std::size_t total) {
    if (mode_ == Mode::Quiet || step_.isEmpty())
        return;
    const int percent = percentOf(done, total);
    if (mode_ == Mode::Bar) {
        if (percent == shownPercent_)
            return;
        shownPercent_ = percent;
        print(QStringLiteral("\r\x1b[K") + progressLine(step_, done, total, 30));
        lineOpen_ = true;
        return;
    }
    // A log gets a line at each quarter of a step of several requests.
    const int quarter = percent / 25 * 25;
    if (total < 4 || quarter == 0 || quarter <= shownPercent_)
        return;
    shownPercent_ = quarter;
    print(QStringLiteral("%1 %2%\n").arg(step_).arg(quarter));
}

void TerminalProgress::note(const QString& text) {
    if (mode_ == Mode::Quiet)
        return;
    endLine();
    print(escapeControlChars(text) + QLatin1Char('\n'));
}

void TerminalProgress::failed(const QString& text) {
    endLine();
    print(escapeControlChars(text) + QLatin1Char('\n'));
}

void TerminalProgress::finish() {
    endLine();
    step_.clear();
}

} // namespace corvane::cli
