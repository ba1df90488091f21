// SPDX-License-Identifier: GPL-3.0-or-later
// The operations on a simulated chip: the requests they send, in order, what
// they show, and the state they leave after success and after every failure.

#include "shell/tests/window_ops_rig.h"

#include "shell/config_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace corvane;
using namespace corvane::opstest;

// ---------------------------------------------------------------------------
// Identification and configuration read

TEST(Identification, ReadsIdentificationAndConfigurationInOrderIntoTheControls) {
    sim::ChipConfig config;
    config.initial.HSB = 0xBF;
    config.initial.BSB = 0x12;
    config.initial.EB = 0x34;
    config.initial.SBV = 0x56;
    config.initial.P1_CF = 0x78;
    config.initial.P3_CF = 0x9A;
    config.initial.P4_CF = 0xBC;
    Rig r(config);
    r.ops.ReadDeviceInfo(true);

    EXPECT_EQ(r.commands(), kIdent + kConfig);
    EXPECT_TRUE(r.ops.channelOpen()); // left open for the caller
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "58");
    EXPECT_EQ(r.controls.text(Ctl::LabFamily), "D7");
    EXPECT_EQ(r.controls.text(Ctl::LabBootVersion), "1.0.5");
    // No check box changes from the cleared state, so the raw byte stays.
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$BF");
    const std::map<Ctl, QString> fields{{Ctl::EdBSB, "$12"},  {Ctl::EdEB, "$34"},   {Ctl::EdSBV, "$56"},
                                        {Ctl::EdP1CF, "$78"}, {Ctl::EdP3CF, "$9A"}, {Ctl::EdP4CF, "$BC"}};
    for (const auto& [field, text] : fields)
        EXPECT_EQ(r.controls.text(field), text) << controlName(field);
    EXPECT_TRUE(r.ops.LockNote.isEmpty());
    EXPECT_EQ(r.view.statusHistory, QStringList{"Reading device informations..."});
    EXPECT_EQ(r.view.pauses, std::vector<int>{200});
}

TEST(Identification, HsbDecodingRecomposesOnlyWhenACheckBoxChanges) {
    struct Case {
        std::uint8_t hsb;
        const char* shown;
        int osc;
        bool bljb, x2;
    };
    for (const Case& c : {Case{0xFF, "$FB", 0, false, false}, Case{0xBF, "$BF", 0, true, false},
                          Case{0x1B, "$1B", 2, true, true}, Case{0xCF, "$CB", -1, false, false},
                          Case{0xEB, "$EB", 1, false, false}}) {
        SCOPED_TRACE(int(c.hsb));
        sim::ChipConfig config;
        config.initial.HSB = c.hsb;
        Rig r(config);
        r.ops.ReadDeviceInfo(true);
        EXPECT_EQ(r.controls.text(Ctl::LabHSB), c.shown);
        EXPECT_EQ(r.controls.index(Ctl::cbOsc), c.osc);
        EXPECT_EQ(r.controls.checked(Ctl::chkBLJB), c.bljb);
        EXPECT_EQ(r.controls.checked(Ctl::chkX2), c.x2);
    }
}

TEST(Identification, SecurityByteSetsLevelListAndLockNote) {
    for (auto [ssb, item] : {std::pair{0xFF, 0}, {0xFE, 1}, {0xFD, 2}, {0xFC, 2}, {0xFB, 0}}) {
        SCOPED_TRACE(ssb);
        Rig r(withSsb(std::uint8_t(ssb)));
        r.ops.ReadDeviceInfo(true);
        EXPECT_EQ(r.ops.SecurityLevel, ssb & 3);
        EXPECT_EQ(r.controls.index(Ctl::cbSSB), item);
        EXPECT_EQ(r.ops.LockNote, (ssb & 3) == 3 ? QString() : kLocked);
    }
}

TEST(Identification, FailedReadsAreShownAsTheyCome) {
    Rig r;
    r.chip->faults().failRequest(2);             // the manufacturer read
    r.chip->faults().failRequest(17);            // the security byte read (after 5 reads of 3 requests)
    r.chip->faults().failRequest(1 + 7 * 3 + 1); // the BSB read, the 8th
    r.ops.ReadDeviceInfo(true);
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "FFFFFFFF");
    EXPECT_EQ(r.controls.text(Ctl::LabFamily), "D7");
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$FFFFFFFFFFFFFFFF");
    EXPECT_EQ(r.ops.SecurityLevel, 3); // -1 counts as unlocked
}

TEST(Identification, RefusesOtherDevicesNamingTheirIdentifiers) {
    sim::ChipConfig config;
    config.vendorId = 0x0403;
    config.productId = 0x2FFE;
    Rig r(config);
    r.ops.ButReadClick();
    EXPECT_EQ(r.lastBoxText(), "No 89C513x Bootloader found!\rVendor-ID: 0403\rProduct-ID: 2FFE");
    EXPECT_EQ(r.commands(), Strings{"DESC"});
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "--"); // as cleared at the start of READ
    EXPECT_TRUE(r.idle());
}

// ---------------------------------------------------------------------------
// READ

TEST(Read, ReadsIdentificationConfigurationFlashAndEepromIntoTheImagesWithProgress) {
    Rig r;
    r.ops.ButReadClick();
    EXPECT_EQ(r.commands(), kIdent + kConfig + blocks("DISP", 0, 32, 1024) + blocks("DISP", 2, 4, 256));
    EXPECT_TRUE(r.view.boxes.empty());
    EXPECT_EQ(r.images.FlashImage, r.chip->flash());
    EXPECT_EQ(r.images.EepromImage, r.chip->eeprom());
    EXPECT_EQ(r.view.refreshed, (std::vector<MemKind>{MEM_FLASH, MEM_EEPROM}));
    EXPECT_EQ(r.view.debugLog, std::vector<std::int32_t>{0x20});
    EXPECT_EQ(r.view.statusHistory, (QStringList{"Reading device informations...", "Reading Flash-Memory...",
                                                 "Reading EEPROM..."}));
    EXPECT_TRUE(r.idle());
    EXPECT_FALSE(r.view.lastBar.percentageShown());
    EXPECT_EQ(r.view.running, (std::vector<bool>{true, false})); // file commands locked meanwhile

    // 0 % before the first block and 100 % before the last; each step's new total shows 0 first.
    std::vector<int> flash, eeprom;
    for (const auto& p : r.view.progress)
        if (p.shown)
            (p.total == 31 ? flash : eeprom).push_back(p.percent);
    ASSERT_EQ(flash.size(), 33u);
    EXPECT_EQ(flash[1], 0);
    EXPECT_EQ(flash.back(), 100);
    EXPECT_EQ(eeprom, (std::vector<int>{0, 0, 33, 67, 100}));
}

TEST(Read, LogsTheBlockCountAndWithNeitherMemoryReadsOnlyIdentificationAndConfiguration) {
    sim::ChipConfig config;
    config.controller = *sim::Controller::named("AT89C5130");
    Rig r(config);
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkEEP, false);
    r.ops.ButReadClick();
    EXPECT_EQ(r.view.debugLog, std::vector<std::int32_t>{0x10});
    EXPECT_EQ(r.commands(), kIdent + kConfig);
    EXPECT_TRUE(r.view.refreshed.empty());
}

// ---------------------------------------------------------------------------
// The frame: messages, channel and controls

TEST(OperationFrame, ErrorBoxShowsWhileTheChannelIsOpenAndBlocksReadStayInTheImageButNotInTheView) {
    Rig r;
    r.controls.setChecked(Ctl::chkFlash, false);
    // DESC + 13 reads x 3, then 3 requests per EEPROM block: block 2 starts at 1 + 39 + 6 + 1.
    r.chip->faults().failRequest(1 + 39 + 6 + 1);
    r.ops.ButReadClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    const ShownBox& box = r.view.boxes[0];
    EXPECT_EQ(box.caption, "USB-ERROR");
    EXPECT_EQ(box.text, "EEPROM Read Error!");
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.buttons, 0x0010);
    EXPECT_TRUE(box.beep);
    EXPECT_TRUE(box.channelOpen);
    EXPECT_EQ(box.statusText, "Reading EEPROM...");
    EXPECT_EQ(box.progressPercent, 67); // 2 of 3
    EXPECT_TRUE(r.idle());
    EXPECT_FALSE(r.view.lastBar.percentageShown());
    const TBuffer& e = r.images.EepromImage;
    EXPECT_TRUE(std::equal(e.begin(), e.begin() + 512, r.chip->eeprom().begin()));
    EXPECT_TRUE(allErased(e.begin() + 512, e.end()));
    EXPECT_TRUE(r.view.refreshed.empty());
}

TEST(OperationFrame, OperationControlsAreLockedWhileItRunsAndFurtherClicksAreIgnored) {
    Rig r;
    int pumpsLocked = 0;
    r.view.onProcessMessages = [&] {
        // Only the operation controls: the configuration stays usable.
        if (r.ops.busy() && !r.controls.enabled(Ctl::ButRead) && !r.controls.enabled(Ctl::cbController) &&
            !r.controls.enabled(Ctl::EdStart) && r.controls.enabled(Ctl::cbOsc) &&
            r.controls.enabled(Ctl::EdP4CF) && r.controls.enabled(Ctl::cbSSB))
            ++pumpsLocked;
        // Clicks arriving mid-transfer.
        for (auto click : {&TOperations::ButReadClick, &TOperations::ButEraseClick,
                           &TOperations::ButWriteClick, &TOperations::ButRunClick})
            (r.ops.*click)();
    };
    r.ops.ButReadClick();
    r.view.onProcessMessages = nullptr;
    EXPECT_GT(pumpsLocked, 36);
    const Strings cmds = r.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DESC"), 1);
    EXPECT_TRUE(r.idle());
}

namespace {

// The message when a request of `step` fails; statusCode is 0 for a failed
// transfer, else the error status the chip answers to the status request.
QString expectedMessage(const std::string& step, const std::string& request, int statusCode,
                        bool firstDescriptor, bool writesFuses) {
    static const std::map<std::string, const char*> fuses{
        {"W 1,06", "EB"},    {"W 1,00", "BSB"},   {"W 1,01", "SBV"},  {"W 2,00", "HSB"},
        {"W 1,02", "P1_CF"}, {"W 1,03", "P3_CF"}, {"W 1,04", "P4_CF"}};
    static const std::map<std::string, const char*> blockErrors{{"DISP 0", "Flash-Memory Read Error!"},
                                                                {"DISP 2", "EEPROM Read Error!"},
                                                                {"PROG 0", "Flash-Memory Write Error!"},
                                                                {"PROG 2", "EEPROM Write Error!"},
                                                                {"W 1,05", "Can't write Security Flags!"}};
    if (step == "DESC") // the identifiers of the stored descriptor, blank before the first answer
        return firstDescriptor ? "No 89C513x Bootloader found!\rVendor-ID: 0000\rProduct-ID: 0000"
                               : "No 89C513x Bootloader found!\rVendor-ID: 03EB\rProduct-ID: 2FFD";
    if (step == "R 1,05" && writesFuses) // the lock state is unknown: no fuse step
        return "SSB: value not read from the device";
    if (step == "ERASE") // a failed status request goes unnoticed: the status is polled again
        return statusCode || request == "ERASE" ? "Error erasing device!" : "";
    if (step.rfind("START", 0) == 0 || (step == "DN0" && request == "DN0"))
        return "Error starting application!";
    if (auto b = blockErrors.find(step.substr(0, 6)); b != blockErrors.end())
        return b->second;
    if (auto f = fuses.find(step.substr(0, 6)); f != fuses.end()) {
        const int code = statusCode ? -statusCode : (request == "ST" ? 1 : -1);
        return QString("Can't write %1 (%2)").arg(f->second).arg(code);
    }
    return ""; // configuration reads report nothing
}

struct Sweep {
    const char* name;
    ShownResult (TOperations::*click)();
    std::function<void(Rig&)> prepare;
    bool writesFuses = false;
};

} // namespace

// A failure at every request of each operation (a failed transfer, and an
// error status where the request is a status request): the message of the
// step the request belongs to, nothing after it, and an idle window.
TEST(OperationFrame, FailureAtEveryRequestOfEveryOperation) {
    const Sweep sweeps[] = {
        {"READ", &TOperations::ButReadClick, [](Rig&) {}},
        {"ERASE", &TOperations::ButEraseClick, [](Rig&) {}},
        {"WRITE auto erase, fuses, SSB", &TOperations::ButWriteClick,
         [](Rig& r) {
             std::fill(r.images.FlashImage.begin(), r.images.FlashImage.begin() + 0x900, 0x11);
             r.controls.setChecked(Ctl::chkAutoErase, true);
             r.controls.setIndex(Ctl::cbSSB, 1);
         },
         true},
        {"WRITE flash all, no fuses", &TOperations::ButWriteClick,
         [](Rig& r) {
             r.controls.setChecked(Ctl::chkFlashAll, true);
             r.controls.setChecked(Ctl::chkFuses, false);
             r.controls.setChecked(Ctl::chkEEP, false);
         }},
        {"WRITE eeprom and fuses only", &TOperations::ButWriteClick,
         [](Rig& r) {
             r.controls.setChecked(Ctl::chkFlash, false);
             r.controls.setChecked(Ctl::chkAutoErase, true);
         },
         true},
        {"RUN jump", &TOperations::ButRunClick, [](Rig& r) { r.controls.edit(Ctl::EdStart, "$1234"); }},
        {"RUN reset", &TOperations::ButRunClick, [](Rig& r) { r.controls.click(Ctl::chkReset); }},
    };
    for (const Sweep& s : sweeps) {
        Strings reference, steps;
        {
            Rig r;
            s.prepare(r);
            (r.ops.*s.click)();
            ASSERT_TRUE(r.view.boxes.empty()) << s.name;
            reference = r.requests();
        }
        std::string step;
        for (const auto& q : reference) {
            if (q != "ST" && q.rfind("UP", 0) != 0 && q != "CLR")
                step = q;
            steps.push_back(step);
        }
        const auto firstDesc = std::find(reference.begin(), reference.end(), "DESC") - reference.begin();
        for (std::size_t i = 0; i < reference.size(); ++i) {
            for (int status : {0, int(sim::errWRITE)}) {
                if (status && reference[i] != "ST")
                    continue;
                SCOPED_TRACE(std::string(s.name) + " request " + std::to_string(i + 1) + " " + reference[i] +
                             " of " + steps[i] + (status ? " answering status" : " failing"));
                Rig r;
                s.prepare(r);
                if (status)
                    r.chip->faults().answerStatus(int(i) + 1, std::uint8_t(status));
                else
                    r.chip->faults().failRequest(int(i) + 1);
                (r.ops.*s.click)();
                const QString expected = expectedMessage(steps[i], reference[i], status,
                                                         std::ptrdiff_t(i) == firstDesc, s.writesFuses);
                if (expected.isEmpty()) {
                    EXPECT_TRUE(r.view.boxes.empty()) << r.lastBoxText().toStdString();
                } else {
                    ASSERT_EQ(r.view.boxes.size(), 1u);
                    EXPECT_EQ(r.view.boxes[0].text, expected);
                    EXPECT_EQ(r.view.boxes[0].caption, "USB-ERROR");
                    EXPECT_EQ(r.commands().back(), steps[i]); // nothing follows the failing step
                }
                EXPECT_TRUE(r.idle());
                EXPECT_FALSE(r.view.lastBar.percentageShown());
                EXPECT_EQ(r.view.lastBar.completed(), 0);
            }
        }
    }
}
