// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the tool tells about a chip while it works on it, on stderr: the step
// under way with its progress, notes, and the failure. On a terminal the step
// is one line redrawn in place with a bar; elsewhere (a log, a pipe, a
// terminal that takes no control sequences) every step is a line of its own
// and a long step adds a line at each quarter; nothing but failures when quiet.

#include <QString>
#include <cstddef>
#include <cstdio>

namespace corvane::cli {

class ChipProgress {
public:
    virtual ~ChipProgress() = default;
    virtual void step(const QString& text) = 0;
    virtual void progress(std::size_t done, std::size_t total) = 0;
    virtual void note(const QString& text) = 0;
    // Always printed, quiet or not.
    virtual void failed(const QString& text) = 0;
    // The chip is done: a line left open is ended.
    virtual void finish() = 0;
};

class TerminalProgress : public ChipProgress {
public:
    enum class Mode {
        Quiet, // failures only
        Lines, // one line per step, and per quarter of a long one
        Bar,   // the step with a bar, redrawn in place
    };

    TerminalProgress(std::FILE* err, Mode mode);
    // Bar on a terminal that takes control sequences, Lines elsewhere, Quiet
    // when asked.
    static Mode modeFor(std::FILE* err, bool quiet);

    void step(const QString& text) override;
    void progress(std::size_t done, std::size_t total) override;
    void note(const QString& text) override;
    void failed(const QString& text) override;
    void finish() override;

private:
    void print(const QString& text);
    void endLine();

    std::FILE* err_;
    Mode mode_;
    QString step_;
    int shownPercent_ = -1;
    bool lineOpen_ = false;
};

// "Writing FLASH... [#####-----]  50%"
QString progressLine(const QString& step, std::size_t done, std::size_t total, int width);

} // namespace corvane::cli
