// SPDX-License-Identifier: GPL-3.0-or-later
// ERASE, WRITE with its fuse step, and RUN on a simulated chip: the requests
// they send, in order, and what they leave on the chip and in the controls.

#include "shell/tests/window_ops_rig.h"

#include "shell/config_controls.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace corvane;
using namespace corvane::opstest;

// ---------------------------------------------------------------------------
// ERASE and WRITE

TEST(Erase, ErasesThenReadsTheErasedChipsConfigurationAgainLeavingTheImages) {
    sim::ChipConfig config;
    config.initial.BSB = 0x00;
    Rig r(config);
    const TBuffer imageBefore = r.images.FlashImage;
    r.ops.ButEraseClick();
    EXPECT_EQ(r.commands(), kIdent + kConfig + Strings{"ERASE"} + kIdent + kConfig);
    EXPECT_TRUE(r.view.boxes.empty());
    EXPECT_TRUE(allErased(r.chip->flash().begin(), r.chip->flash().end()));
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$FF"); // shows the erased chip
    EXPECT_EQ(r.images.FlashImage, imageBefore);
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_EQ(r.view.statusHistory, (QStringList{"Reading device informations...", "Erasing Device...",
                                                 "Reading device informations..."}));
    EXPECT_TRUE(r.idle());
}

TEST(Write, AutoEraseFlashEepromAndFusesInOrderFromWhatTheViewsHold) {
    Rig r;
    r.controls.setChecked(Ctl::chkAutoErase, true);
    touchAll(r).controls.edit(Ctl::EdBSB, "$00");
    r.view.flashView = TBuffer(0x8000, 0xFF);
    std::fill(r.view.flashView.begin(), r.view.flashView.begin() + 0x0800, 0x5A);
    r.view.eepromView = TBuffer(1024, 0x42);
    r.ops.ButWriteClick();

    EXPECT_TRUE(r.view.boxes.empty()) << r.lastBoxText().toStdString();
    Strings fuses = kFactoryFuses;
    fuses[1] = "W 1,00=00";
    EXPECT_EQ(r.commands(), kIdent + Strings{"ERASE"} + kIdent + blocks("PROG", 0, 2, 1024) +
                                blocks("PROG", 2, 4, 256) + fuses);
    EXPECT_EQ(r.chip->flash(), r.view.flashView);
    EXPECT_EQ(r.chip->eeprom(), TBuffer(1024, 0x42));
    EXPECT_EQ(r.view.pauses, (std::vector<int>{200, 200, 100, 200}));
    EXPECT_EQ(r.view.statusHistory, (QStringList{"Reading device informations...", "Erasing Device...",
                                                 "Reading device informations...", "Writing Flash-Memory...",
                                                 "Writing EEPROM...", "Writing Fuses..."}));
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_TRUE(r.idle());
    // Each block's share shows before it is sent: 50 and 100 for FLASH, 0 to 100 in thirds for EEPROM.
    std::vector<int> shown;
    for (const auto& p : r.view.progress)
        if (p.shown)
            shown.push_back(p.percent);
    EXPECT_EQ(shown, (std::vector<int>{0, 50, 100, 0, 0, 33, 67, 100}));
}

TEST(Write, FlashIsWrittenUpToTheBlockHoldingTheLastUsedByteOrWholeWithFlashAll) {
    struct Case {
        bool small, flash;
        int lastUsed;
        bool flashAll, autoErase;
        int blocksWritten;
    };
    for (const Case& c :
         {Case{false, true, -1, false, true, 0}, Case{false, true, 0x03FF, false, false, 1},
          Case{false, true, 0x0400, false, false, 2}, Case{false, true, 0x7FFF, false, false, 32},
          Case{false, true, -1, true, false, 32}, Case{true, true, 0x0010, true, false, 16},
          Case{false, false, 0x0010, false, true, 0}}) {
        SCOPED_TRACE(testing::Message() << "last used " << c.lastUsed << (c.small ? " 16 KB" : "")
                                        << (c.flash ? "" : " FLASH unchecked"));
        sim::ChipConfig config;
        if (c.small)
            config.controller = *sim::Controller::named("AT89C5130");
        Rig r(config);
        r.controls.setChecked(Ctl::chkFlash, c.flash);
        r.controls.setChecked(Ctl::chkEEP, false);
        r.controls.setChecked(Ctl::chkFuses, false);
        r.controls.setChecked(Ctl::chkFlashAll, c.flashAll);
        r.controls.setChecked(Ctl::chkAutoErase, c.autoErase);
        if (c.lastUsed >= 0)
            r.images.FlashImage[std::size_t(c.lastUsed)] = 0x00;
        r.ops.ButWriteClick();
        const Strings erase = c.autoErase && c.flash ? Strings{"ERASE"} + kIdent : Strings{};
        EXPECT_EQ(r.commands(), kIdent + erase + blocks("PROG", 0, c.blocksWritten, 1024));
        EXPECT_EQ(r.view.statusHistory.contains("Writing Flash-Memory..."), c.blocksWritten > 0);
    }
}

TEST(Write, KeepsTheUsersConfigurationAndTheLockNoteOfTheLastRead) {
    Rig r(withSsb(0xFE));
    r.ops.ButReadClick(); // locked: the READ fails, the note is set
    r.chip->setConfigByte(sim::ConfigByte::SSB, 0xFF);
    r.controls.select(Ctl::cbOsc, 2);
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkFuses, false);
    r.chip->faults().clear();                    // counts requests afresh
    r.chip->faults().failRequest(1 + 6 * 3 + 1); // first EEPROM block
    r.ops.ButWriteClick();
    EXPECT_EQ(r.lastBoxText(), "EEPROM Write Error!" + kLocked);
    EXPECT_EQ(r.ops.SecurityLevel, 3); // refreshed, while the configuration controls keep the user's settings
    EXPECT_EQ(r.controls.index(Ctl::cbOsc), 2);
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$9B");
    EXPECT_EQ(r.controls.index(Ctl::cbSSB), 1);
}

// ---------------------------------------------------------------------------
// The fuse step

TEST(Fuses, SevenBytesInOrderOnAnUnlockedDeviceThenTheSecurityByteUnlessItemZero) {
    struct Case {
        std::uint8_t ssb;
        int item;
        Strings sent;
    };
    for (const Case& c : {Case{0xFF, 0, kFactoryFuses}, Case{0xFF, 1, kFactoryFuses + Strings{"W 1,05=FE"}},
                          Case{0xFF, 2, kFactoryFuses + Strings{"W 1,05=FC"}}, Case{0xFE, 0, {}},
                          Case{0xFE, 2, {"W 1,05=FC"}}}) {
        SCOPED_TRACE(testing::Message() << "SSB " << int(c.ssb) << " item " << c.item);
        Rig r(withSsb(c.ssb));
        touchAll(r).controls.setIndex(Ctl::cbSSB, c.item);
        fusesOnly(r).ops.ButWriteClick();
        EXPECT_EQ(r.commands(), kIdent + c.sent);
        EXPECT_TRUE(r.view.boxes.empty());
        EXPECT_EQ(r.view.statusHistory.back(), "Writing Fuses...");
    }
}

// A byte whose field was neither read from the chip nor set by the user since
// the controls were cleared keeps the chip's value; read or typed ones are
// written in their order.
TEST(Fuses, BytesNeitherReadNorTypedKeepTheChipsValues) {
    Rig r; // a fresh chip: P1_CF FF, while the cleared field shows $FE
    r.images.FlashImage[0] = 0x02;
    r.controls.setChecked(Ctl::chkEEP, false);
    r.ops.ButWriteClick();
    EXPECT_TRUE(r.view.boxes.empty());
    EXPECT_EQ(r.commands(), kIdent + blocks("PROG", 0, 1, 1024));
    EXPECT_EQ(r.chip->configByte(sim::ConfigByte::P1_CF), 0xFF);

    r.controls.edit(Ctl::EdP3CF, "$12");
    r.controls.select(Ctl::cbOsc, 1);
    r.chip->clearLog();
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + Strings({"W 2,00=AB", "W 1,03=12"}));

    r.ops.ButReadClick(); // everything read is written back as shown
    r.chip->clearLog();
    r.ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + Strings({"W 1,06=FF", "W 1,00=FF", "W 1,01=FF", "W 2,00=AB", "W 1,02=FF",
                                              "W 1,03=12", "W 1,04=FF"}));
}

TEST(Fuses, HsbWrittenIsWhatTheLabelShowsAndFieldsGiveTheirLowByte) {
    sim::ChipConfig config;
    config.initial.HSB = 0xBF;
    Rig r(config);
    r.ops.ButReadClick();
    r.controls.setHexValue(Ctl::EdP3CF, 0x1234);
    r.controls.edit(Ctl::EdP4CF, "200"); // decimal without "$"
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.chip->configBytes().HSB, 0xBF); // the raw byte read, not the composed BB
    EXPECT_EQ(r.chip->configBytes().P3_CF, 0x34);
    EXPECT_EQ(r.chip->configBytes().P4_CF, 200);
    r.ops.ClearDeviceInfo(); // composes the byte again even where no check box changes
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$BB");
    r.controls.click(Ctl::chkX2);
    r.ops.ButWriteClick();
    EXPECT_EQ(r.chip->configBytes().HSB, 0x3B);
}

// A field that holds no number ends the operation like a device error, before
// anything is erased, written or started.
TEST(EmptiedField, IsReportedAndNothingIsWrittenOrStarted) {
    struct Case {
        Ctl field;
        const char* text;
        Strings sent;
    };
    for (const Case& c : {Case{Ctl::EdEB, "EB: no valid hexadecimal number", kIdent},
                          Case{Ctl::EdP4CF, "P4_CF: no valid hexadecimal number", kIdent},
                          Case{Ctl::EdStart, "RUN-Address: no valid hexadecimal number", kIdent + kConfig}}) {
        SCOPED_TRACE(c.text);
        Rig r;
        std::fill(r.images.FlashImage.begin(), r.images.FlashImage.begin() + 0x800, 0x11);
        r.controls.setChecked(Ctl::chkAutoErase, true);
        r.controls.edit(c.field, "");
        const TBuffer flashBefore = r.chip->flash();
        if (c.field == Ctl::EdStart)
            r.ops.ButRunClick();
        else
            r.ops.ButWriteClick();
        ASSERT_EQ(r.view.boxes.size(), 1u);
        EXPECT_EQ(r.view.boxes[0].caption, "Input-Error");
        EXPECT_EQ(r.view.boxes[0].text, c.text);
        EXPECT_EQ(r.view.boxes[0].buttons, 0x0010);
        EXPECT_EQ(r.commands(), c.sent);
        EXPECT_EQ(r.chip->flash(), flashBefore);
        EXPECT_TRUE(r.idle());
        EXPECT_FALSE(r.view.lastBar.percentageShown());
    }
    // A locked device does not need the fields, so an empty one is no error.
    Rig locked(withSsb(0xFE));
    locked.controls.edit(Ctl::EdEB, "");
    fusesOnly(locked).ops.ButWriteClick();
    EXPECT_TRUE(locked.view.boxes.empty());
    // Unless the write erases it first: the erase lifts the lock, so the
    // field is needed and refused before the erase.
    for (std::uint8_t ssb : {0xFE, 0xFC}) {
        Rig erases(withSsb(ssb));
        erases.controls.setChecked(Ctl::chkAutoErase, true);
        erases.controls.setChecked(Ctl::chkEEP, false);
        erases.controls.edit(Ctl::EdEB, "");
        const TBuffer flashBefore = erases.chip->flash();
        erases.ops.ButWriteClick();
        EXPECT_EQ(erases.lastBoxText(), "EB: no valid hexadecimal number");
        EXPECT_EQ(erases.commands(), kIdent);
        EXPECT_EQ(erases.chip->flash(), flashBefore);
    }
}

// ---------------------------------------------------------------------------
// RUN

TEST(Run, JumpsToTheAddressFieldOrResets) {
    Rig r;
    r.controls.edit(Ctl::EdStart, "$12AB");
    r.ops.ButRunClick();
    EXPECT_EQ(r.commands(), (kIdent + kConfig + Strings{"START 1,12AB", "DN0"}));
    EXPECT_EQ(r.chip->startAddress(), 0x12AB);
    EXPECT_TRUE(r.view.boxes.empty());
    EXPECT_EQ(r.controls.text(Ctl::EdStart), "$0000"); // the remembered address again
    EXPECT_TRUE(r.idle());

    Rig r2;
    r2.controls.edit(Ctl::EdStart, "$4321");
    r2.controls.click(Ctl::chkReset);
    r2.ops.ButRunClick();
    EXPECT_EQ(r2.commands(), (kIdent + kConfig + Strings{"START 0,0000", "DN0"}));
    EXPECT_FALSE(r2.controls.enabled(Ctl::EdStart));
    EXPECT_EQ(r2.controls.SavedRunAddress, 0); // taken again from the field
}
