// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the programming operations: the device link
// backend, the binding of the configuration and operation controls to the
// operations' control model, the hexadecimal value fields' typing rules, and
// the window's implementation of what the operations show.

#include "shell/main_window.h"

#include "shell/debug_window.h"
#include "shell/hex_field.h"
#include "shell/responsive_link.h"
#include "shell/window_ops.h"
#include "sim/backends.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <array>
#include <filesystem>

namespace corvane {

namespace {

// The link the operations talk to; the window can choose its backend after
// it has been created. Without a backend nothing can be opened.
class BackendLink : public DeviceLink {
public:
    std::unique_ptr<DeviceLink> backend;

    bool open(int deviceNumber) override { return backend && backend->open(deviceNumber); }
    bool isOpen() const override { return backend && backend->isOpen(); }
    bool getDeviceDescriptor(DeviceDescriptor& out) override {
        return backend && backend->getDeviceDescriptor(out);
    }
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override {
        return backend && backend->classRequest(setup, data, length);
    }
    void close() override {
        if (backend)
            backend->close();
    }
    std::string lastError() const override {
        return backend ? backend->lastError() : "no device link chosen";
    }
    OpenFailure lastOpenFailure() const override {
        return backend ? backend->lastOpenFailure() : OpenFailure::NotFound;
    }
    RequestFailure lastRequestFailure() const override {
        return backend ? backend->lastRequestFailure() : RequestFailure::Other;
    }
};

// Applies the typing rules of a hexadecimal value field to a line edit.
class HexFieldFilter : public QObject {
public:
    HexFieldFilter(QLineEdit* edit, int digits) : QObject(edit), edit_(edit), digits_(digits) {
        edit->setAcceptDrops(false); // dropped text would bypass the rules
        edit->installEventFilter(this);
    }

    void paste() {
        HexEditState state = current();
        const int refused = pasteHexText(state, QGuiApplication::clipboard()->text(), digits_);
        apply(state);
        if (refused > 0)
            QApplication::beep();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != edit_)
            return false;
        if (event->type() == QEvent::KeyPress)
            return keyPress(static_cast<QKeyEvent*>(event));
        if (event->type() == QEvent::ContextMenu) {
            contextMenu(static_cast<QContextMenuEvent*>(event));
            return true;
        }
        return false;
    }

private:
    bool keyPress(QKeyEvent* key) {
        if (key == QKeySequence::Paste) {
            paste();
            return true;
        }
        if (key == QKeySequence::Copy || key == QKeySequence::Cut || key == QKeySequence::SelectAll)
            return false;
        switch (key->key()) {
        case Qt::Key_Backspace:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return false;
        default:
            break;
        }
        const QString text = key->text();
        // Cursor keys, Delete, modifiers and control keys such as Ctrl+A
        // (select all) type no character: the field's own editing handles them.
        if (std::all_of(text.begin(), text.end(),
                        [](QChar ch) { return ch.category() == QChar::Other_Control; }))
            return false;
        HexEditState state = current();
        for (QChar ch : text) {
            if (!typeHexChar(state, ch, digits_)) {
                QApplication::beep();
                return true;
            }
        }
        apply(state);
        return true;
    }

    void contextMenu(QContextMenuEvent* event) {
        QPointer<QMenu> menu = edit_->createStandardContextMenu();
        for (QAction* action : menu->actions()) {
            if (action->objectName() == QLatin1String("edit-paste")) {
                action->disconnect();
                connect(action, &QAction::triggered, this, [this] { paste(); });
            }
        }
        menu->exec(event->globalPos());
        delete menu;
    }

    HexEditState current() const {
        HexEditState s;
        s.text = edit_->text();
        s.cursor = edit_->cursorPosition();
        if (edit_->hasSelectedText()) {
            s.selectionStart = edit_->selectionStart();
            s.selectionLength = edit_->selectionLength();
        }
        return s;
    }

    void apply(const HexEditState& s) {
        if (edit_->text() != s.text)
            edit_->setText(s.text);
        if (s.selectionLength > 0)
            edit_->setSelection(s.selectionStart, s.selectionLength);
        else
            edit_->setCursorPosition(s.cursor);
    }

    QLineEdit* edit_;
    int digits_;
};

} // namespace

// The operations' core wired to the window.
class OpsBinding : public OpsView {
public:
    explicit OpsBinding(TMain& window) : w(window) {}

    TMain& w;
    BackendLink link;
    // The window keeps painting and answering while a request takes long.
    ResponsiveLink responsive{link};
    TOperations ops{responsive, w.Images, *this};
    bool running = false; // an operation is under way
    bool stop = false;    // the user asked it to stop

    QWidget* widget(Ctl c) const {
        switch (c) {
        case Ctl::LabManufacturer:
            return w.LabManufacturer;
        case Ctl::LabFamily:
            return w.LabFamily;
        case Ctl::LabProduct:
            return w.LabProduct;
        case Ctl::LabRevision:
            return w.LabRevision;
        case Ctl::LabBootVersion:
            return w.LabBootVersion;
        case Ctl::cbOsc:
            return w.cbOsc;
        case Ctl::LabHSB:
            return w.LabHSB;
        case Ctl::chkBLJB:
            return w.chkBLJB;
        case Ctl::chkX2:
            return w.chkX2;
        case Ctl::EdBSB:
            return w.EdBSB;
        case Ctl::EdEB:
            return w.EdEB;
        case Ctl::EdSBV:
            return w.EdSBV;
        case Ctl::EdP1CF:
            return w.EdP1CF;
        case Ctl::EdP3CF:
            return w.EdP3CF;
        case Ctl::EdP4CF:
            return w.EdP4CF;
        case Ctl::cbSSB:
            return w.cbSSB;
        case Ctl::ButRun:
            return w.ButRun;
        case Ctl::chkReset:
            return w.chkReset;
        case Ctl::EdStart:
            return w.EdStart;
        case Ctl::ButRead:
            return w.ButRead;
        case Ctl::ButErase:
            return w.ButErase;
        case Ctl::ButWrite:
            return w.ButWrite;
        case Ctl::chkFlash:
            return w.chkFlash;
        case Ctl::chkEEP:
            return w.chkEEP;
        case Ctl::chkFuses:
            return w.chkFuses;
        case Ctl::chkAutoErase:
            return w.chkAutoErase;
        case Ctl::chkFlashAll:
            return w.chkFlashAll;
        case Ctl::cbDevice:
            return w.cbDevice;
        case Ctl::cbController:
            return w.cbController;
        }
        return nullptr;
    }

    // Shows the model's state of a control in its widget, without running the
    // widget's signals back into the model.
    void show(Ctl c) {
        QWidget* widget = this->widget(c);
        const OpsControls& m = ops.Controls;
        const QSignalBlocker blocker(widget);
        if (!m.enabled(c))
            noteFocusBeforeLock(widget);
        widget->setEnabled(m.enabled(c));
        switch (controlKind(c)) {
        case CtlKind::Label:
            static_cast<QLabel*>(widget)->setText(m.text(c));
            break;
        case CtlKind::CheckBox:
            static_cast<QCheckBox*>(widget)->setChecked(m.checked(c));
            break;
        case CtlKind::ComboBox:
            static_cast<QComboBox*>(widget)->setCurrentIndex(m.index(c));
            break;
        case CtlKind::HexField: {
            auto* edit = static_cast<QLineEdit*>(widget);
            if (edit->text() != m.text(c))
                edit->setText(m.text(c));
            break;
        }
        case CtlKind::Button:
            break;
        }
    }

    void bind() {
        OpsControls& m = ops.Controls;
        // What the window already holds (settings applied before) goes into
        // the model; the model's state goes into everything else.
        static constexpr std::array kFromWindow{Ctl::chkFlash,     Ctl::chkEEP,      Ctl::chkFuses,
                                                Ctl::chkAutoErase, Ctl::chkFlashAll, Ctl::cbDevice,
                                                Ctl::cbController};
        for (Ctl c : kFromWindow) {
            if (controlKind(c) == CtlKind::CheckBox)
                m.setChecked(c, static_cast<QCheckBox*>(widget(c))->isChecked());
            else
                m.setIndex(c, static_cast<QComboBox*>(widget(c))->currentIndex());
        }
        for (int i = 0; i < kControlCount; ++i) {
            const auto c = static_cast<Ctl>(i);
            if (std::find(kFromWindow.begin(), kFromWindow.end(), c) == kFromWindow.end())
                show(c);
        }
        m.setListener([this](Ctl c) { show(c); });

        for (int i = 0; i < kControlCount; ++i) {
            const auto c = static_cast<Ctl>(i);
            QWidget* widget = this->widget(c);
            switch (controlKind(c)) {
            case CtlKind::CheckBox:
                // A click by the user or a change by other code in the window:
                // the model runs the click handler when the state changed.
                QObject::connect(static_cast<QCheckBox*>(widget), &QCheckBox::toggled, &w,
                                 [this, c](bool on) { ops.Controls.setChecked(c, on); });
                if (c == Ctl::chkBLJB || c == Ctl::chkX2)
                    QObject::connect(static_cast<QCheckBox*>(widget), &QCheckBox::clicked, &w,
                                     [this, c] { ops.Controls.userChanged(c); });
                break;
            case CtlKind::ComboBox: {
                auto* combo = static_cast<QComboBox*>(widget);
                QObject::connect(combo, &QComboBox::currentIndexChanged, &w,
                                 [this, c](int index) { ops.Controls.setIndex(c, index); });
                if (c == Ctl::cbOsc)
                    QObject::connect(combo, &QComboBox::activated, &w,
                                     [this, c](int index) { ops.Controls.select(c, index); });
                break;
            }
            case CtlKind::HexField: {
                auto* edit = static_cast<QLineEdit*>(widget);
                new HexFieldFilter(edit, hexFieldDigits(c));
                QObject::connect(edit, &QLineEdit::textChanged, &w,
                                 [this, c](const QString& text) { ops.Controls.edit(c, text); });
                break;
            }
            case CtlKind::Label:
            case CtlKind::Button:
                break;
            }
        }
        QObject::connect(w.ButRead, &QAbstractButton::clicked, &w, [this] { w.ButReadClick(); });
        QObject::connect(w.ButErase, &QAbstractButton::clicked, &w, [this] { w.ButEraseClick(); });
        QObject::connect(w.ButWrite, &QAbstractButton::clicked, &w, [this] { w.ButWriteClick(); });
        QObject::connect(w.ButRun, &QAbstractButton::clicked, &w, [this] { w.ButRunClick(); });
    }

    // --- what the operations show
    void setStatusText(const QString& text) override { w.PanStat->setText(text); }
    void processMessages() override { w.ProcessMessages(); }
    // Pending messages are handled once; the rest of the wait lets the window
    // paint and its timers run but leaves the user's keys and clicks queued
    // until the operation goes on, so nothing typed now changes what it does.
    void pause(int ms) override {
        w.ProcessMessages();
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    void progressChanged(const ProgressModel& bar) override {
        w.PBar->setTotal(bar.total());
        w.PBar->setCompleted(bar.completed());
        w.PBar->setPercentageVisible(bar.percentageShown());
    }
    void takeViewIntoImage(MemKind kind) override {
        const HexView* view = kind == MEM_FLASH ? w.FlashDump : w.EEPDump;
        TBuffer& image = w.Images.image(kind);
        view->model().copyTo(image, image.size());
    }
    void refreshView(MemKind kind) override {
        if (kind == MEM_FLASH)
            w.RefreshFlashView();
        else
            w.RefreshEepromView();
    }
    void addHexLine(std::int32_t value) override {
        if (w.debugWindow())
            w.debugWindow()->AddHexLine(value);
    }
    void addDebugLine(const QString& line) override {
        if (w.debugWindow())
            w.debugWindow()->Memo->appendPlainText(line);
    }
    MessagePresenter& messagePresenter() override { return w.messagePresenter(); }
    bool stopRequested() override { return stop; }
    void operationRunning(bool running) override {
        this->running = running;
        if (running)
            stop = false;
        else if (w.closeAfterOperation_)
            QMetaObject::invokeMethod(&w, &QWidget::close, Qt::QueuedConnection);
        // No file may replace an image while it is transferred.
        for (QWidget* file :
             std::initializer_list<QWidget*>{w.FlashLoad, w.FlashSave, w.EEPLoad, w.EEPSave}) {
            if (running)
                noteFocusBeforeLock(file);
            file->setEnabled(!running);
        }
        for (QMenu* menu : {w.FlashMruMenu, w.EEPMruMenu})
            menu->setEnabled(!running);
        if (running)
            focusAfterLock = QApplication::focusWidget();
        else
            restoreFocus();
    }

    // Locking a control that has the focus sends the focus on to the next
    // control that takes it, often a file name field. Once the operation has
    // ended, the control gets it back, unless the user has put it elsewhere.
    QPointer<QWidget> focusBeforeLock;
    QPointer<QWidget> focusAfterLock;
    void noteFocusBeforeLock(QWidget* locked) {
        QWidget* focus = QApplication::focusWidget();
        // The first one counts: the focus passes through the others.
        if (!focusBeforeLock && focus && (focus == locked || locked->isAncestorOf(focus)))
            focusBeforeLock = focus;
    }
    void restoreFocus() {
        if (focusBeforeLock && focusBeforeLock->isEnabled() && focusBeforeLock->isVisible() &&
            QApplication::focusWidget() == focusAfterLock)
            focusBeforeLock->setFocus(Qt::OtherFocusReason);
        focusBeforeLock = nullptr;
        focusAfterLock = nullptr;
    }
};

OpsBinding& TMain::opsBinding() {
    if (!opsBinding_) {
        opsBinding_ = {new OpsBinding(*this), [](OpsBinding* b) { delete b; }};
        opsBinding_->bind();
    }
    return *opsBinding_;
}

TOperations& TMain::Ops() {
    return opsBinding().ops;
}

bool TMain::operationRunning() const {
    return opsBinding_ && opsBinding_->running;
}

// A close while an operation runs: the user decides whether it stops (Enter
// answers Nein: a stopped WRITE leaves the chip half-programmed). The window
// then closes once the operation has ended (channel closed, no error box);
// declined, the operation goes on and the window stays.
bool TMain::closeDuringOperation() {
    if (!operationRunning())
        return false;
    if (!closeAfterOperation_ &&
        ShowMessageBox(messagePresenter(), QString(),
                       QStringLiteral("An operation is running.\rStop it and close the window?"),
                       MessageKind::Confirmation,
                       MessageButton::Yes | MessageButton::No | MessageButton::DefaultSecond) ==
            MessageResult::Yes) {
        closeAfterOperation_ = true;
        opsBinding().stop = true;
    }
    return true;
}

void TMain::useDeviceLink(std::unique_ptr<DeviceLink> link) {
    OpsBinding& b = opsBinding();
    b.ops.CloseDevice();
    b.link.backend = std::move(link);
}

std::unique_ptr<DeviceLink> TMain::makeDeviceLink(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--simulate"));
    std::string folder;
    if (at > 0 && at + 1 < arguments.size() && !arguments[at + 1].startsWith(QLatin1Char('-')))
        folder = arguments[at + 1].toStdString();
    return corvane::makeDeviceLink(at > 0, folder);
}

void TMain::ButReadClick() {
    Ops().ButReadClick();
}
void TMain::ButEraseClick() {
    Ops().ButEraseClick();
}
void TMain::ButWriteClick() {
    Ops().ButWriteClick();
}
void TMain::ButRunClick() {
    Ops().ButRunClick();
}
void TMain::HsbChange() {
    Ops().Controls.HsbChange();
}
void TMain::chkBLJBClick() {
    Ops().Controls.chkBLJBClick();
}
void TMain::chkResetClick() {
    Ops().Controls.chkResetClick();
}

void TMain::ClearDeviceInfo() {
    Ops().ClearDeviceInfo();
}
void TMain::EnableControls(bool enable) {
    Ops().EnableControls(enable);
}
void TMain::CloseDevice() {
    Ops().CloseDevice();
}

} // namespace corvane
