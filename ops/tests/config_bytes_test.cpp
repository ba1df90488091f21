#include "ops/config_bytes.h"
#include "ops/progress.h"

#include "ops/tests/qt_print.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(HardwareSecurityByte, ComposedFromOscillatorBljbAndX2) {
    EXPECT_EQ(composeHsb(0, true, false), 0xBB);
    EXPECT_EQ(composeHsb(0, true, true), 0x3B);
    EXPECT_EQ(composeHsb(1, false, false), 0xEB);
    EXPECT_EQ(composeHsb(2, true, true), 0x1B);
    EXPECT_EQ(composeHsb(-1, true, false), 0x8B); // no oscillator selected
}

TEST(HardwareSecurityByte, DecodedIntoControlsAndBackForEveryListedRange) {
    for (int hsb = 0; hsb < 256; ++hsb) {
        const HsbControls c = decodeHsb(static_cast<std::uint8_t>(hsb));
        EXPECT_EQ(c.x2Checked, (hsb & 0x80) == 0);
        EXPECT_EQ(c.bljbChecked, (hsb & 0x40) == 0);
        if ((hsb & 0x30) == 0) {
            EXPECT_EQ(c.oscIndex, 3) << hsb; // not an item of the list
        } else {
            // The controls compose the byte again, low nibble apart.
            EXPECT_EQ(composeHsb(c.oscIndex, c.bljbChecked, c.x2Checked), (hsb & 0xF0) | 0x0B) << hsb;
        }
    }
    EXPECT_EQ(decodeHsb(0xFF).oscIndex, 0);
    EXPECT_EQ(decodeHsb(0xEF).oscIndex, 1);
    EXPECT_EQ(decodeHsb(0xDF).oscIndex, 2);
}

TEST(SoftwareSecurityByte, LevelSelectsItemAndItemSelectsWrittenValue) {
    EXPECT_EQ(ssbItemForLevel(0xFF & 3), 0);
    EXPECT_EQ(ssbItemForLevel(0xFE & 3), 1);
    EXPECT_EQ(ssbItemForLevel(0xFD & 3), 2);
    EXPECT_EQ(ssbItemForLevel(0xFC & 3), 2);
    EXPECT_FALSE(ssbValueForItem(0).has_value());
    EXPECT_FALSE(ssbValueForItem(-1).has_value());
    EXPECT_EQ(ssbValueForItem(1), 0xFE);
    EXPECT_EQ(ssbValueForItem(2), 0xFC);
}

TEST(IdentificationLabels, ShowHexBytesAndFailureCodesInFull) {
    EXPECT_EQ(identificationText(0x58), "58");
    EXPECT_EQ(identificationText(0x05), "05");
    EXPECT_EQ(identificationText(-1), "FFFFFFFF");
    EXPECT_EQ(bootVersionText(0x05), "1.0.5");
    EXPECT_EQ(bootVersionText(0x1A), "1.0.1A");
    EXPECT_EQ(bootVersionText(0x00), "1.0.0");
}

TEST(ProgressBar, PercentRoundsHalvesToEven) {
    ProgressModel bar;
    bar.setTotal(3);
    std::vector<int> seen;
    for (int i = 0; i <= 3; ++i) {
        bar.setCompleted(i);
        seen.push_back(bar.percent());
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 33, 67, 100}));

    bar.setTotal(8);
    bar.setCompleted(1); // 12.5
    EXPECT_EQ(bar.percent(), 12);
    bar.setCompleted(3); // 37.5
    EXPECT_EQ(bar.percent(), 38);
    bar.setTotal(31);
    bar.setCompleted(31);
    EXPECT_EQ(bar.percent(), 100);
}

TEST(ProgressBar, CompletedIsLimitedAndNewTotalRestarts) {
    ProgressModel bar;
    EXPECT_EQ(bar.total(), 100);
    EXPECT_FALSE(bar.percentageShown());
    bar.setCompleted(250);
    EXPECT_EQ(bar.completed(), 100);
    bar.setCompleted(-4);
    EXPECT_EQ(bar.completed(), 0);
    bar.setCompleted(60);
    bar.setTotal(3);
    EXPECT_EQ(bar.completed(), 0);
    EXPECT_EQ(bar.percent(), 0);
    bar.setTotal(0);
    bar.setCompleted(1);
    EXPECT_EQ(bar.percent(), 0);
}
