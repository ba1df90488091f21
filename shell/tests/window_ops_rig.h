// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A simulated chip on the bench, the link over it and the operations with a
// front end that records what they show, set up as the window is after start-up.

#include "image/memory_images.h"
#include "shell/window_ops.h"
#include "sim/bench.h"
#include "sim/request_names.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << QString(s).replace(QLatin1Char('\r'), QLatin1String("\\r")).toStdString() << '"';
}
QT_END_NAMESPACE

namespace corvane::opstest {

struct ShownBox {
    QString caption, text;
    MessageKind kind;
    MessageButtons buttons;
    bool beep;
    // The window's state while the box was up.
    QString statusText;
    bool channelOpen;
    int progressPercent;
};

struct ProgressStep {
    int total, completed, percent;
    bool shown;
};

class RecordingView : public OpsView, public MessagePresenter {
public:
    DeviceLink* link = nullptr;
    MemoryImages* images = nullptr;
    QString status;
    QStringList statusHistory; // every non-empty text, in order
    std::vector<int> pauses;
    std::vector<ProgressStep> progress;
    ProgressModel lastBar;
    std::vector<MemKind> refreshed;
    std::vector<std::int32_t> debugLog;
    std::vector<ShownBox> boxes;
    std::vector<bool> running;
    std::function<void()> onProcessMessages; // e.g. a click arriving mid-transfer
    std::function<bool()> stopWhen;          // the user asking the operation to stop
    TBuffer flashView, eepromView;           // what takeViewIntoImage copies, when not empty

    void setStatusText(const QString& text) override {
        status = text;
        if (!text.isEmpty())
            statusHistory << text;
    }
    void processMessages() override {
        if (onProcessMessages)
            onProcessMessages();
    }
    void pause(int ms) override { pauses.push_back(ms); }
    void progressChanged(const ProgressModel& bar) override {
        lastBar = bar;
        progress.push_back({bar.total(), bar.completed(), bar.percent(), bar.percentageShown()});
    }
    void takeViewIntoImage(MemKind kind) override {
        const TBuffer& view = kind == MEM_FLASH ? flashView : eepromView;
        TBuffer& image = images->image(kind);
        std::copy_n(view.begin(), std::min(view.size(), image.size()), image.begin());
    }
    void refreshView(MemKind kind) override { refreshed.push_back(kind); }
    void addHexLine(std::int32_t value) override { debugLog.push_back(value); }
    MessagePresenter& messagePresenter() override { return *this; }
    void operationRunning(bool on) override { running.push_back(on); }
    bool stopRequested() override { return stopWhen && stopWhen(); }
    int showMessageBox(const QString& caption, const QString& text, MessageKind kind, MessageButtons buttons,
                       bool beep) override {
        boxes.push_back({caption, text, kind, buttons, beep, status, link->isOpen(), lastBar.percent()});
        return MessageResult::Abort;
    }
};

using sim::describe;

struct Rig {
    sim::SimBench bench;
    sim::SimLink link{bench};
    MemoryImages images;
    RecordingView view;
    TOperations ops{link, images, view};
    sim::SimChip* chip = nullptr;
    OpsControls& controls = ops.Controls;

    explicit Rig(sim::ChipConfig config = {}) {
        chip = &bench.insert(0, config);
        const bool small = config.controller == *sim::Controller::named("AT89C5130");
        for (std::size_t i = 0; i < chip->flash().size(); ++i)
            chip->flash()[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        for (std::size_t i = 0; i < chip->eeprom().size(); ++i)
            chip->eeprom()[i] = static_cast<std::uint8_t>(i * 3 + 1);
        // As after start-up with default settings.
        images.renew(small ? 1 : 0);
        ops.ClearDeviceInfo();
        ops.EnableControls(true);
        for (Ctl c : {Ctl::chkFlash, Ctl::chkEEP, Ctl::chkFuses})
            controls.setChecked(c, true);
        controls.setIndex(Ctl::cbDevice, 0);
        controls.setIndex(Ctl::cbController, small ? 1 : 0);
        view = RecordingView{};
        view.link = &link;
        view.images = &images;
    }

    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        for (const auto& r : chip->log())
            out.push_back(describe(r));
        return out;
    }
    // The commands alone, without status requests, uploads and clears.
    std::vector<std::string> commands() const {
        std::vector<std::string> out;
        for (const auto& s : requests())
            if (s != "ST" && s.rfind("UP", 0) != 0 && s != "CLR")
                out.push_back(s);
        return out;
    }
    QString lastBoxText() const { return view.boxes.empty() ? QString() : view.boxes.back().text; }

    // Idle as after every operation: controls enabled, channel closed, status empty.
    bool idle() const {
        for (Ctl c :
             {Ctl::ButRead, Ctl::ButErase, Ctl::ButWrite, Ctl::chkFlash, Ctl::chkEEP, Ctl::chkAutoErase,
              Ctl::chkFlashAll, Ctl::chkFuses, Ctl::ButRun, Ctl::chkReset, Ctl::cbDevice, Ctl::cbController})
            if (!controls.enabled(c))
                return false;
        return !link.isOpen() && !ops.busy() && view.status.isEmpty() &&
               controls.enabled(Ctl::EdStart) == !controls.checked(Ctl::chkReset);
    }
};

using Strings = std::vector<std::string>;

// The identification reads every operation starts with.
inline const Strings kIdent{"DESC", "R 1,30", "R 1,31", "R 1,60", "R 1,61", "R 0,00", "R 1,05"};

// The user has set every configuration field (to what it shows): the fuse
// step writes them all.
inline Rig& touchAll(Rig& r) {
    for (Ctl c : {Ctl::EdEB, Ctl::EdBSB, Ctl::EdSBV, Ctl::EdP1CF, Ctl::EdP3CF, Ctl::EdP4CF})
        r.controls.edit(c, r.controls.text(c));
    r.controls.click(Ctl::chkX2);
    r.controls.click(Ctl::chkX2);
    return r;
}

// WRITE with only the fuse step.
inline Rig& fusesOnly(Rig& r) {
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkEEP, false);
    return r;
}

// The configuration reads after the identification, and the fuse step's
// writes of the cleared controls.
inline const Strings kConfig{"R 2,00", "R 1,00", "R 1,06", "R 1,01", "R 1,02", "R 1,03", "R 1,04"};
inline const Strings kFactoryFuses{"W 1,06=FF", "W 1,00=FF", "W 1,01=FF", "W 2,00=BB",
                                   "W 1,02=FE", "W 1,03=FF", "W 1,04=FF"};
inline const QString kLocked = "\r(Device is locked)";

inline Strings operator+(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Strings blocks(const char* kind, int sel, int count, int size) {
    Strings out;
    char buf[40];
    for (int b = 0; b < count; ++b) {
        std::snprintf(buf, sizeof buf, "%s %d %04X-%04X", kind, sel, b * size, b * size + size - 1);
        out.push_back(buf);
    }
    return out;
}

inline bool allErased(TBuffer::const_iterator from, TBuffer::const_iterator to) {
    return std::all_of(from, to, [](auto b) { return b == 0xFF; });
}

inline sim::ChipConfig withSsb(std::uint8_t ssb) {
    sim::ChipConfig config;
    config.initial.SSB = ssb;
    return config;
}

} // namespace corvane::opstest
