// SPDX-License-Identifier: GPL-3.0-or-later
// The labels' texts, the control model's handlers and the progress bar.

#include "shell/tests/window_ops_rig.h"

#include "shell/config_controls.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(IdentificationLabels, ShowTwoDigitsAtLeastAndFailureCodesInFull) {
    EXPECT_EQ(identificationText(0x05), "05");
    EXPECT_EQ(identificationText(-1), "FFFFFFFF");
    EXPECT_EQ(bootVersionText(0x1A), "1.0.1A");
    EXPECT_EQ(bootVersionText(0x00), "1.0.0");
}

TEST(ProgressBar, CompletedStaysWithinTheTotalAndANewTotalRestarts) {
    ProgressModel bar;
    bar.setTotal(8);
    bar.setCompleted(250);
    EXPECT_EQ(bar.completed(), 8);
    bar.setCompleted(-4);
    EXPECT_EQ(bar.completed(), 0);
    bar.setCompleted(6);
    bar.setTotal(3);
    EXPECT_EQ(bar.completed(), 0);
}

TEST(ConfigurationControls, OscillatorFromProgramRunsNoHandlerButUserChoiceAndClicksDo) {
    OpsControls c;
    c.setChecked(Ctl::chkBLJB, true);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$8B"); // no oscillator item yet
    c.setIndex(Ctl::cbOsc, 1);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$8B");
    c.select(Ctl::cbOsc, 2);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$9B");
    c.click(Ctl::chkX2);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$1B");
    c.click(Ctl::chkBLJB);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$5B");
    c.setIndex(Ctl::cbOsc, 3); // outside the list: no selection
    EXPECT_EQ(c.index(Ctl::cbOsc), -1);
}

TEST(ConfigurationControls, ListenerHearsEverySetAlsoWithoutAChange) {
    OpsControls c;
    std::vector<Ctl> heard;
    c.setListener([&heard](Ctl ctl) { heard.push_back(ctl); });
    c.setText(Ctl::EdBSB, "$00"); // as created
    c.setChecked(Ctl::chkX2, false);
    EXPECT_EQ(heard, (std::vector<Ctl>{Ctl::EdBSB, Ctl::chkX2}));
    c.click(Ctl::chkX2);
    EXPECT_EQ(heard.back(), Ctl::LabHSB);
}

TEST(RunAddress, ResetRemembersTheTypedAddressAndBringsItBack) {
    struct Case {
        const char* typed;
        std::uint16_t saved;
        const char* back;
    };
    for (const Case& k : {Case{"$12AB", 0x12AB, "$12AB"}, Case{"1F", 0x1F, "$001F"}, Case{"", 0, "$0000"},
                          Case{"$FFFFFFFFFFFF1234", 0x1234, "$1234"}}) {
        SCOPED_TRACE(k.typed);
        OpsControls c;
        c.edit(Ctl::EdStart, k.typed);
        c.click(Ctl::chkReset);
        EXPECT_EQ(c.SavedRunAddress, k.saved);
        EXPECT_EQ(c.text(Ctl::EdStart), "$0000");
        EXPECT_FALSE(c.enabled(Ctl::EdStart));
        c.click(Ctl::chkReset);
        EXPECT_EQ(c.text(Ctl::EdStart), k.back);
        EXPECT_TRUE(c.enabled(Ctl::EdStart));
    }
}
