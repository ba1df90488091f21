// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the programming operations show, printed on a terminal: status texts
// and progress on stderr (a redrawn progress bar on a terminal, one plain line
// per step otherwise, nothing when quiet), and message boxes as text lines.

#include "core/message_box.h"
#include "core/progress.h"
#include "ops/ops_view.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace corvane::cli {

// The progress line drawn on a terminal: the status text, a bar of width
// cells and the percentage, e.g. "Writing EEPROM... [#####-----]  50%".
QString progressLine(const QString& status, const ProgressModel& bar, int width);

// A message's lines: the caption before the first line, each further "\r"
// separated line (CR LF and LF count as one break too) on its own.
QStringList messageLines(const QString& caption, const QString& text);

class TerminalView : public OpsView, public MessagePresenter {
public:
    enum class Mode {
        Quiet, // no status and no progress (messages are still printed)
        Lines, // one line per status text
        Bar,   // status text with a progress bar redrawn in place
    };

    struct Message {
        QString caption;
        QString text;
    };

    TerminalView(std::FILE* err, Mode mode);
    // Bar when err is a terminal, Lines otherwise, Quiet when asked.
    static Mode modeFor(std::FILE* err, bool quiet);

    Mode mode() const { return mode_; }

    // While muted, nothing is printed; messages are still recorded.
    void setMuted(bool muted);

    // The messages shown since the last clearMessages(), oldest first.
    const std::vector<Message>& messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }

    // Prints a message of the tool's own (also recorded).
    void showMessage(const QString& caption, const QString& text);
    // A line of the tool's own about what it does; not when quiet or muted.
    void note(const QString& text);

    // --- OpsView
    void setStatusText(const QString& text) override;
    void processMessages() override {}
    // The operations' pauses only give a window's status text time to be
    // read; a terminal keeps its lines, so they are left out.
    void pause(int) override {}
    void progressChanged(const ProgressModel& bar) override;
    // The images are the data: there is no view that could hold edits.
    void takeViewIntoImage(MemKind) override {}
    void refreshView(MemKind) override {}
    void addHexLine(std::int32_t) override {}
    void addDebugLine(const QString& line) override { detail_ = line; }
    MessagePresenter& messagePresenter() override { return *this; }

    // --- MessagePresenter
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override;

private:
    void endLine();
    void redraw();
    void print(const QString& text);

    std::FILE* err_;
    Mode mode_;
    bool muted_ = false;
    QString status_;
    ProgressModel bar_;
    bool barSinceStatus_ = false; // progress moved since the status text was set
    bool lineOpen_ = false;       // a redrawn line is on the screen, without its line end
    QString detail_;              // why the link failed, told with the next message
    std::vector<Message> messages_;
};

} // namespace corvane::cli
