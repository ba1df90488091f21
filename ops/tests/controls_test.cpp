#include "ops/controls.h"

#include "ops/tests/qt_print.h"

#include <gtest/gtest.h>

#include <vector>

using namespace corvane;

namespace {
struct Recorder {
    std::vector<Ctl> changes;
    void attach(OpsControls& c) {
        c.setListener([this](Ctl ctl) { changes.push_back(ctl); });
    }
    int count(Ctl ctl) const { return static_cast<int>(std::count(changes.begin(), changes.end(), ctl)); }
};
} // namespace

TEST(ConfigurationControls, ProgramSetCheckBoxRunsHandlerOnlyWhenStateChanges) {
    OpsControls c;
    c.setIndex(Ctl::cbOsc, 0);
    c.setText(Ctl::LabHSB, "$FF");
    // Unchecked already: nothing happens, LabHSB keeps what it showed.
    c.setChecked(Ctl::chkX2, false);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$FF");
    // A change recomposes.
    c.setChecked(Ctl::chkBLJB, true);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$BB");
    c.setText(Ctl::LabHSB, "$BF");
    c.setChecked(Ctl::chkBLJB, true);
    EXPECT_EQ(c.text(Ctl::LabHSB), "$BF");
}

TEST(ConfigurationControls, OscillatorFromProgramRunsNoHandlerButUserChoiceDoes) {
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
}

TEST(ConfigurationControls, IndexOutsideTheListLeavesNoSelection) {
    OpsControls c;
    c.setIndex(Ctl::cbOsc, 3);
    EXPECT_EQ(c.index(Ctl::cbOsc), -1);
    c.setIndex(Ctl::cbDevice, 7);
    EXPECT_EQ(c.index(Ctl::cbDevice), 7);
    c.setIndex(Ctl::cbController, 2);
    EXPECT_EQ(c.index(Ctl::cbController), -1);
}

TEST(ConfigurationControls, ListenerHearsEverySetAndTheHandlersConsequences) {
    OpsControls c;
    Recorder r;
    r.attach(c);
    c.setText(Ctl::EdBSB, "$00"); // as created: shown again all the same
    EXPECT_EQ(r.count(Ctl::EdBSB), 1);
    c.setChecked(Ctl::chkX2, false); // no change: no handler, so LabHSB stays
    EXPECT_EQ(r.count(Ctl::chkX2), 1);
    EXPECT_EQ(r.count(Ctl::LabHSB), 0);
    c.click(Ctl::chkX2);
    EXPECT_EQ(r.count(Ctl::chkX2), 2);
    EXPECT_EQ(r.count(Ctl::LabHSB), 1);
    c.click(Ctl::chkReset);
    EXPECT_EQ(r.count(Ctl::EdStart), 2); // text and enabled state
}

TEST(RunAddress, ResetRemembersTypedAddressAndBringsItBack) {
    OpsControls c;
    c.edit(Ctl::EdStart, "$12AB");
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.SavedRunAddress, 0x12AB);
    EXPECT_EQ(c.text(Ctl::EdStart), "$0000");
    EXPECT_FALSE(c.enabled(Ctl::EdStart));
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.text(Ctl::EdStart), "$12AB");
    EXPECT_TRUE(c.enabled(Ctl::EdStart));
}

TEST(RunAddress, ResetReadsHexWithOrWithoutDollarAndZeroForNoNumber) {
    OpsControls c;
    c.edit(Ctl::EdStart, "1F");
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.SavedRunAddress, 0x1F);
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.text(Ctl::EdStart), "$001F");

    c.edit(Ctl::EdStart, "");
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.SavedRunAddress, 0);

    // Only the low sixteen bits are kept.
    c.click(Ctl::chkReset);
    c.edit(Ctl::EdStart, "$FFFFFFFFFFFF1234");
    c.click(Ctl::chkReset);
    EXPECT_EQ(c.SavedRunAddress, 0x1234);
}

TEST(RunAddress, RepeatedResetClickWhileCheckedForgetsTheAddress) {
    // After an operation the handler runs again with RESET still checked: the
    // field shows $0000 then, so the remembered address becomes 0.
    OpsControls c;
    c.edit(Ctl::EdStart, "$4000");
    c.click(Ctl::chkReset);
    c.chkResetClick();
    EXPECT_EQ(c.SavedRunAddress, 0);
}
