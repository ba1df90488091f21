// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test double: records every message box instead of showing it.

#include "core/message_box.h"

#include <functional>
#include <vector>

struct RecordedBox {
    QString caption;
    QString text;
    corvane::MessageKind kind;
    corvane::MessageButtons buttons;
    bool beep;
};

class RecordingPresenter : public corvane::MessagePresenter {
public:
    std::vector<RecordedBox> boxes;
    int answer = corvane::MessageResult::Ok;
    std::function<void()> whileShown; // looks at the program while the box would be up

    int showMessageBox(const QString& caption, const QString& text, corvane::MessageKind kind,
                       corvane::MessageButtons buttons, bool beep) override {
        if (whileShown)
            whileShown();
        boxes.push_back({caption, text, kind, buttons, beep});
        return answer;
    }
};
