#pragma once
// A front end for the operations that records what they show, for tests.

#include "link/usb.h"
#include "ops/ops_view.h"
#include "ops/progress.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace corvane::opstest {

struct ShownBox {
    QString caption;
    QString text;
    MessageKind kind;
    MessageButtons buttons;
    bool beep;
    // The window's state while the box was up.
    QString statusText;
    bool channelOpen;
    int progressPercent;
};

struct ProgressStep {
    int total;
    int completed;
    int percent;
    bool shown;
};

class RecordingView : public OpsView, public MessagePresenter {
public:
    TUsb* usb = nullptr; // to note whether the channel is open while a box shows

    QString status;
    QStringList statusHistory; // every non-empty text, in order
    int messagePumps = 0;
    std::vector<int> pauses;
    std::vector<ProgressStep> progress;
    ProgressModel lastBar;
    std::vector<MemKind> takenIntoImage;
    std::vector<MemKind> refreshed;
    std::vector<std::int32_t> debugLog;
    std::vector<ShownBox> boxes;
    std::vector<bool> running; // operationRunning calls
    // What processMessages does besides counting (e.g. a click arriving mid-transfer).
    std::function<void()> onProcessMessages;
    // What takeViewIntoImage copies, by memory (empty: the image is left as it is).
    TBuffer flashView, eepromView;
    MemoryImages* images = nullptr;

    void setStatusText(const QString& text) override {
        status = text;
        if (!text.isEmpty())
            statusHistory << text;
    }
    void processMessages() override {
        ++messagePumps;
        if (onProcessMessages)
            onProcessMessages();
    }
    void pause(int ms) override { pauses.push_back(ms); }
    void progressChanged(const ProgressModel& bar) override {
        lastBar = bar;
        progress.push_back({bar.total(), bar.completed(), bar.percent(), bar.percentageShown()});
    }
    void takeViewIntoImage(MemKind kind) override {
        takenIntoImage.push_back(kind);
        const TBuffer& view = kind == MEM_FLASH ? flashView : eepromView;
        if (images && !view.empty()) {
            TBuffer& image = images->image(kind);
            std::copy_n(view.begin(), std::min(view.size(), image.size()), image.begin());
        }
    }
    void refreshView(MemKind kind) override { refreshed.push_back(kind); }
    void addHexLine(std::int32_t value) override { debugLog.push_back(value); }
    MessagePresenter& messagePresenter() override { return *this; }
    void operationRunning(bool on) override { running.push_back(on); }

    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override {
        boxes.push_back(
            {caption, text, kind, buttons, beep, status, usb && usb->isOpen(), lastBar.percent()});
        return MessageResult::Abort;
    }
};

} // namespace corvane::opstest
