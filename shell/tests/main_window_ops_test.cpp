// SPDX-License-Identifier: GPL-3.0-or-later
// The window's binding of the programming operations: buttons, configuration
// controls, hexadecimal value fields, status bar and message boxes, on the
// simulated bench.

#include "shell/debug_window.h"
#include "shell/main_window.h"
#include "shell/tests/recording_presenter.h"
#include "shell/window_ops.h"
#include "sim/bench.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct Window {
    sim::SimBench bench;
    sim::SimChip& chip = bench.insert(0);
    TMain w;
    TDebug debug;
    RecordingPresenter presenter;

    Window() {
        w.setMessagePresenter(&presenter);
        w.setDebugWindow(&debug);
        w.useDeviceLink(std::make_unique<sim::SimLink>(bench));
        w.Startup();
        for (std::size_t i = 0; i < chip.flash().size(); ++i)
            chip.flash()[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    }
};

} // namespace

TEST(WindowOperations, ReadFillsViewsIdentificationAndDebugLogAndLeavesTheWindowIdle) {
    Window t;
    t.chip.setConfigByte(sim::ConfigByte::HSB, 0x3B);
    t.w.ButRead->click();
    EXPECT_TRUE(t.presenter.boxes.empty());
    EXPECT_EQ(t.w.FlashDump->data(), t.chip.flash());
    EXPECT_EQ(t.w.EEPDump->data(), t.chip.eeprom());
    EXPECT_EQ(t.w.LabManufacturer->text(), "58");
    EXPECT_EQ(t.w.LabHSB->text(), "$3B");
    EXPECT_TRUE(t.w.chkX2->isChecked());
    EXPECT_EQ(t.debug.lines(), QStringList{"00000020"});
    EXPECT_TRUE(t.w.PanStat->text().isEmpty());
    EXPECT_TRUE(t.w.cbController->isEnabled());
    EXPECT_FALSE(t.w.Ops().channelOpen());
}

TEST(WindowOperations, ErrorBoxComesWhileTheStepShowsAndFileCommandsAreLocked) {
    Window t;
    t.chip.faults().failRequest(1 + 13 * 3 + 3 * 4 + 1); // fifth FLASH block
    bool fileButtonsLocked = false, opsLocked = false;
    QString statusWhileShown;
    t.presenter.whileShown = [&] {
        fileButtonsLocked = !t.w.FlashLoad->isEnabled() && !t.w.EEPSave->isEnabled() &&
                            !t.w.FlashMruMenu->isEnabled() && !t.w.EEPMruMenu->isEnabled();
        opsLocked = !t.w.ButWrite->isEnabled() && !t.w.cbDevice->isEnabled() && !t.w.EdStart->isEnabled();
        statusWhileShown = t.w.PanStat->text();
    };
    t.w.ButRead->click();
    ASSERT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_EQ(t.presenter.boxes[0].caption, "USB-ERROR");
    EXPECT_EQ(t.presenter.boxes[0].text, "Flash-Memory Read Error!");
    EXPECT_TRUE(fileButtonsLocked);
    EXPECT_TRUE(opsLocked);
    EXPECT_EQ(statusWhileShown, "Reading Flash-Memory...");
    // Afterwards everything is usable again.
    for (QWidget* widget : std::initializer_list<QWidget*>{t.w.FlashLoad, t.w.EEPSave, t.w.FlashMruMenu,
                                                           t.w.EEPMruMenu, t.w.ButWrite, t.w.EdStart})
        EXPECT_TRUE(widget->isEnabled());
    EXPECT_TRUE(t.w.PanStat->text().isEmpty());
    EXPECT_FALSE(t.w.Ops().channelOpen());
}

TEST(WindowOperations, WriteTakesWhatWasTypedIntoTheHexViewAndTheValueFields) {
    Window t;
    t.w.chkEEP->setChecked(false);
    t.w.FlashDump->setFocus();
    QTest::keyClicks(t.w.FlashDump, "12AB");
    EXPECT_EQ(t.w.FlashImage()[0], 0xFF); // the image gets it at WRITE
    t.w.EdSBV->selectAll();
    QTest::keyClicks(t.w.EdSBV, "$F0");
    t.w.cbSSB->setCurrentIndex(1);
    t.w.ButWrite->click();
    EXPECT_TRUE(t.presenter.boxes.empty());
    EXPECT_EQ(t.chip.flash()[0], 0x12);
    EXPECT_EQ(t.chip.flash()[1], 0xAB);
    EXPECT_EQ(t.chip.flash()[0x400], static_cast<std::uint8_t>(0x400 ^ 0x04)); // one block only
    EXPECT_EQ(t.chip.configBytes().SBV, 0xF0);
    EXPECT_EQ(t.chip.configBytes().SSB, 0xFE);
}

TEST(WindowOperations, ConfigurationControlsComposeTheHsbAsTheUserChangesThem) {
    Window t;
    EXPECT_EQ(t.w.LabHSB->text(), "$BB");
    QTest::mouseClick(t.w.chkX2, Qt::LeftButton);
    EXPECT_EQ(t.w.LabHSB->text(), "$3B");
    QTest::mouseClick(t.w.chkBLJB, Qt::LeftButton);
    EXPECT_EQ(t.w.LabHSB->text(), "$7B");
    t.w.cbOsc->setCurrentIndex(2);
    emit t.w.cbOsc->activated(2); // as a choice by the user
    EXPECT_EQ(t.w.LabHSB->text(), "$5B");
    EXPECT_EQ(t.w.Ops().Controls.index(Ctl::cbOsc), 2);
}

TEST(WindowOperations, EmptiedRunAddressIsReportedThenResetGovernsTheFieldAndRunStarts) {
    Window t;
    t.w.EdStart->selectAll();
    QTest::keyClick(t.w.EdStart, Qt::Key_Backspace);
    EXPECT_TRUE(t.w.EdStart->text().isEmpty());
    t.w.ButRun->click();
    ASSERT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_EQ(t.presenter.boxes[0].text, "RUN-Address: no valid hexadecimal number");
    EXPECT_FALSE(t.chip.applicationRunning());
    EXPECT_EQ(t.w.EdStart->text(), "$0000");

    t.w.EdStart->setText("$2000");
    QTest::mouseClick(t.w.chkReset, Qt::LeftButton);
    EXPECT_EQ(t.w.EdStart->text(), "$0000");
    EXPECT_FALSE(t.w.EdStart->isEnabled());
    QTest::mouseClick(t.w.chkReset, Qt::LeftButton);
    EXPECT_EQ(t.w.EdStart->text(), "$2000");
    EXPECT_TRUE(t.w.EdStart->isEnabled());
    t.w.ButRun->click();
    EXPECT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_TRUE(t.chip.applicationRunning());
    EXPECT_EQ(t.chip.startAddress(), 0x2000);
}

// A bootloader whose open the system refuses: the window explains it as the
// command-line tool does.
TEST(WindowOperations, RefusedOpenIsExplainedWithTheAccessLine) {
    Window t;
    sim::ChipConfig refusing;
    refusing.refuseOpen = true;
    t.chip.setConfig(refusing);
    t.w.ButReadClick();
    ASSERT_EQ(t.presenter.boxes.size(), 1u);
    EXPECT_EQ(t.presenter.boxes[0].text,
              QString("USB-Device not found!") + QString::fromLatin1(OpsText::kAccessDeniedNote));
}

// ------------------------------------------------------------ waits and input

namespace {

// Types text into a field once, from the message loop, while the status pane
// shows the given step.
struct TypeDuringStep {
    QTimer poll;
    bool typed = false;
    TypeDuringStep(TMain& w, QLineEdit* field, const QString& step, const QString& text) {
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [this, &w, field, step, text] {
            if (typed || w.PanStat->text() != step)
                return;
            typed = true;
            field->selectAll();
            QTest::keyClicks(field, text);
        });
        poll.start();
    }
};

class EditDuringAWait : public ::testing::TestWithParam<const char*> {};

} // namespace

// WRITE sends the configuration the fields held when it was clicked: what the
// user types while one of its waits runs is kept in the field for the next
// operation but is not what gets written.
TEST_P(EditDuringAWait, DoesNotReachTheWriteAndIsNotLost) {
    Window t;
    t.w.chkFlash->setChecked(false);
    t.w.chkEEP->setChecked(false);
    t.w.chkFuses->setChecked(true);
    t.w.EdSBV->setText(QStringLiteral("$12"));
    TypeDuringStep edit(t.w, t.w.EdSBV, QString::fromLatin1(GetParam()), QStringLiteral("$34"));
    t.w.ButWrite->click();
    ASSERT_TRUE(edit.typed);
    EXPECT_TRUE(t.presenter.boxes.empty());
    EXPECT_EQ(t.chip.configBytes().SBV, 0x12);
    EXPECT_EQ(t.w.EdSBV->text(), QStringLiteral("$34"));

    t.w.ButWrite->click();
    EXPECT_EQ(t.chip.configBytes().SBV, 0x34) << "the next WRITE takes it";
}

INSTANTIATE_TEST_SUITE_P(WaitsAndInput, EditDuringAWait,
                         ::testing::Values("Reading device informations...", "Writing Fuses..."));
