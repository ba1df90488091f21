// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the programming operations need from their front end: the window
// implements it with its widgets, the command-line tool with plain text on
// stderr, the tests with a recorder.

#include "core/message_box.h"
#include "image/memory_images.h"

#include <QString>
#include <cstdint>

namespace corvane {

class ProgressModel;

class OpsView {
public:
    virtual ~OpsView() = default;

    // The status pane's text; empty at the end of every operation.
    virtual void setStatusText(const QString& text) = 0;
    // Let the window process its pending messages once (repaint, handle input).
    virtual void processMessages() = 0;
    // Wait ms milliseconds; a window keeps processing messages meanwhile. A
    // front end without anything to show may skip the wait.
    virtual void pause(int ms) = 0;
    // The progress bar changed (total, completed, percentage shown).
    virtual void progressChanged(const ProgressModel& bar) = 0;
    // Copy the hex view's bytes of this memory into its image (as many as the
    // image holds), so that edits made in the view are written.
    virtual void takeViewIntoImage(MemKind kind) = 0;
    // Show the image of this memory in its hex view again.
    virtual void refreshView(MemKind kind) = 0;
    // Append a line to the debug log: value as eight upper-case hex digits.
    virtual void addHexLine(std::int32_t value) = 0;
    // Append a line of text to the debug log (why the link failed).
    virtual void addDebugLine(const QString& line) { (void)line; }
    // Where message boxes go.
    virtual MessagePresenter& messagePresenter() = 0;
    // An operation starts (true) or has ended (false). The window locks what
    // must not change an image while it is transferred (file commands).
    virtual void operationRunning(bool running) { (void)running; }
    // Asked between requests and blocks: true ends the running operation at
    // once with the channel closed and no message.
    virtual bool stopRequested() { return false; }
};

} // namespace corvane
