#include "ops/tests/ops_rig.h"

#include "ops/config_bytes.h"
#include "ops/tests/qt_print.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace corvane;
using namespace corvane::opstest;
using Strings = std::vector<std::string>;

namespace {

const Strings kIdent{"DESC", "R 1,30", "R 1,31", "R 1,60", "R 1,61", "R 0,00", "R 1,05"};
const Strings kConfig{"R 2,00", "R 1,00", "R 1,06", "R 1,01", "R 1,02", "R 1,03", "R 1,04"};
const Strings kFactoryFuses{"W 1,06=FF", "W 1,00=FF", "W 1,01=FF", "W 2,00=BB",
                            "W 1,02=FE", "W 1,03=FF", "W 1,04=FF"};

Strings operator+(Strings a, const Strings& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Strings blocks(const char* kind, int sel, int count, int size) {
    Strings out;
    char buf[40];
    for (int b = 0; b < count; ++b) {
        std::snprintf(buf, sizeof buf, "%s %d %04X-%04X", kind, sel, b * size, b * size + size - 1);
        out.push_back(buf);
    }
    return out;
}

QString lastBoxText(const Rig& r) {
    return r.view.boxes.empty() ? QString() : r.view.boxes.back().text;
}

enum class Op { Read, Erase, Write, Run };

void run(Rig& r, Op op) {
    switch (op) {
    case Op::Read:
        r.ops.ButReadClick();
        break;
    case Op::Erase:
        r.ops.ButEraseClick();
        break;
    case Op::Write:
        r.ops.ButWriteClick();
        break;
    case Op::Run:
        r.ops.ButRunClick();
        break;
    }
}

} // namespace

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
    EXPECT_EQ(r.requests()[1], "R 1,30");
    EXPECT_EQ(r.requests()[2], "ST");
    EXPECT_EQ(r.requests()[3], "UP 1");
    EXPECT_TRUE(r.usb.isOpen()); // left open for the caller

    const auto& id = r.chip->identification();
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), identificationText(id.manufacturer));
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "58");
    EXPECT_EQ(r.controls.text(Ctl::LabFamily), "D7");
    EXPECT_EQ(r.controls.text(Ctl::LabBootVersion), bootVersionText(id.bootloaderVersion));
    // No check box changes from the cleared state, so the raw byte stays.
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$BF");
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$12");
    EXPECT_EQ(r.controls.text(Ctl::EdEB), "$34");
    EXPECT_EQ(r.controls.text(Ctl::EdSBV), "$56");
    EXPECT_EQ(r.controls.text(Ctl::EdP1CF), "$78");
    EXPECT_EQ(r.controls.text(Ctl::EdP3CF), "$9A");
    EXPECT_EQ(r.controls.text(Ctl::EdP4CF), "$BC");
    EXPECT_EQ(r.ops.SecurityLevel, 3);
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
                          Case{0x3B, "$3B", 0, true, true}, Case{0xCF, "$CB", -1, false, false},
                          Case{0x8F, "$8F", -1, true, false}, Case{0xEB, "$EB", 1, false, false}}) {
        sim::ChipConfig config;
        config.initial.HSB = c.hsb;
        Rig r(config);
        r.ops.ReadDeviceInfo(true);
        EXPECT_EQ(r.controls.text(Ctl::LabHSB), c.shown) << int(c.hsb);
        EXPECT_EQ(r.controls.index(Ctl::cbOsc), c.osc) << int(c.hsb);
        EXPECT_EQ(r.controls.checked(Ctl::chkBLJB), c.bljb) << int(c.hsb);
        EXPECT_EQ(r.controls.checked(Ctl::chkX2), c.x2) << int(c.hsb);
    }
}

TEST(Identification, SecurityByteSetsLevelListAndLockNote) {
    for (std::uint8_t ssb : {0xFF, 0xFE, 0xFD, 0xFC, 0xFB}) {
        sim::ChipConfig config;
        config.initial.SSB = ssb;
        Rig r(config);
        r.ops.ReadDeviceInfo(true);
        EXPECT_EQ(r.ops.SecurityLevel, ssb & 3);
        EXPECT_EQ(r.controls.index(Ctl::cbSSB), ssbItemForLevel(ssb & 3));
        EXPECT_EQ(r.ops.LockNote, (ssb & 3) == 3 ? QString() : QString("\r(Device is locked)")) << int(ssb);
    }
}

TEST(Identification, WithoutConfigRefreshesOnlyTheSecurityLevel) {
    sim::ChipConfig config;
    config.initial.SSB = 0xFC;
    config.initial.HSB = 0x3B;
    Rig r(config);
    r.controls.edit(Ctl::EdBSB, "$42");
    r.ops.ReadDeviceInfo(false);
    EXPECT_EQ(r.commands(), kIdent);
    EXPECT_EQ(r.ops.SecurityLevel, 0);
    EXPECT_EQ(r.controls.index(Ctl::cbSSB), 0);
    EXPECT_TRUE(r.ops.LockNote.isEmpty());
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$42");
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$BB");
}

TEST(Identification, FailedReadsAreShownAsTheyCome) {
    Rig r;
    r.chip->faults().failRequest(2);  // DNLOAD of the manufacturer read
    r.chip->faults().failRequest(17); // DNLOAD of the security byte read (after 5 reads of 3 requests)
    r.chip->faults().failRequest(1 + 7 * 3 + 1); // the BSB read, the 8th
    r.ops.ReadDeviceInfo(true);
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$FFFFFFFFFFFFFFFF");
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "FFFFFFFF");
    EXPECT_EQ(r.controls.text(Ctl::LabFamily), "D7");
    EXPECT_EQ(r.ops.SecurityLevel, 3); // -1 counts as unlocked
    EXPECT_TRUE(r.ops.LockNote.isEmpty());
}

TEST(Identification, RefusesOtherDevicesNamingTheirIdentifiers) {
    sim::ChipConfig config;
    config.productId = 0x2FFE;
    Rig r(config);
    r.ops.ButReadClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    EXPECT_EQ(r.view.boxes[0].text, "No 89C513x Bootloader found!\rVendor-ID: 03EB\rProduct-ID: 2FFE");
    EXPECT_EQ(r.commands(), Strings{"DESC"});
    EXPECT_EQ(r.controls.text(Ctl::LabManufacturer), "--");
    EXPECT_TRUE(r.idle());

    sim::ChipConfig other;
    other.vendorId = 0x0403;
    other.productId = 0x6001;
    Rig r2(other);
    r2.ops.ButEraseClick();
    EXPECT_EQ(lastBoxText(r2), "No 89C513x Bootloader found!\rVendor-ID: 0403\rProduct-ID: 6001");
    EXPECT_EQ(r2.commands(), Strings{"DESC"});
}

TEST(Identification, NoDeviceAtTheSelectedNumber) {
    Rig r;
    r.controls.setIndex(Ctl::cbDevice, 3);
    r.ops.ButRunClick();
    EXPECT_EQ(lastBoxText(r), "USB-Device not found!");
    EXPECT_TRUE(r.chip->log().empty());
    EXPECT_TRUE(r.idle());

    // The chip that is there, moved to device 3, answers.
    r.controls.setIndex(Ctl::cbDevice, 0);
    r.ops.ButRunClick();
    EXPECT_EQ(r.view.boxes.size(), 1u);
}

TEST(Identification, ClearingRestoresBlankDisplaysAndComposedHsb) {
    sim::ChipConfig config;
    config.initial.HSB = 0x5F;
    config.initial.SSB = 0xFE;
    Rig r(config);
    r.ops.ButReadClick();
    r.ops.ClearDeviceInfo();
    EXPECT_EQ(r.controls.text(Ctl::LabProduct), "--");
    EXPECT_EQ(r.controls.text(Ctl::LabBootVersion), "-.-.-");
    EXPECT_EQ(r.controls.index(Ctl::cbOsc), 0);
    EXPECT_TRUE(r.controls.checked(Ctl::chkBLJB));
    EXPECT_FALSE(r.controls.checked(Ctl::chkX2));
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$BB");
    EXPECT_EQ(r.controls.text(Ctl::EdP1CF), "$FE");
    EXPECT_EQ(r.controls.text(Ctl::EdSBV), "$FF");
    EXPECT_EQ(r.controls.index(Ctl::cbSSB), 0);
    EXPECT_FALSE(r.view.lastBar.percentageShown());
    // Security level and lock note stay until the next read.
    EXPECT_EQ(r.ops.SecurityLevel, 2);
    EXPECT_EQ(r.ops.LockNote, "\r(Device is locked)");
}

// ---------------------------------------------------------------------------
// READ

TEST(Read, ReadsIdentificationConfigurationFlashAndEepromIntoTheImages) {
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
    EXPECT_EQ(r.view.lastBar.completed(), 0);
    EXPECT_FALSE(r.view.lastBar.percentageShown());
    EXPECT_EQ(r.view.running, (std::vector<bool>{true, false}));
}

TEST(Read, ProgressGoesFromZeroBeforeTheFirstBlockToHundredBeforeTheLast) {
    Rig r;
    r.ops.ButReadClick();
    std::vector<int> flash, eeprom;
    for (const auto& p : r.view.progress) {
        if (p.total == 31 && p.shown)
            flash.push_back(p.percent);
        if (p.total == 3 && p.shown)
            eeprom.push_back(p.percent);
    }
    // The first entry is the new total itself, then one per block.
    ASSERT_EQ(flash.size(), 33u);
    EXPECT_EQ(flash[1], 0);
    EXPECT_EQ(flash.back(), 100);
    EXPECT_EQ(eeprom, (std::vector<int>{0, 0, 33, 67, 100}));
}

TEST(Read, SmallControllerReadsSixteenBlocksAndLogsEachRead) {
    sim::ChipConfig config;
    config.controller = sim::Controller::AT89C5130;
    Rig r(config);
    for (int i = 0; i < 3; ++i)
        r.ops.ButReadClick();
    EXPECT_EQ(r.view.debugLog, (std::vector<std::int32_t>{0x10, 0x10, 0x10}));
    const Strings cmds = r.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DISP 0 3C00-3FFF"), 3);
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DISP 0 4000-43FF"), 0);
    EXPECT_EQ(r.images.FlashImage.size(), 0x4000u);
}

TEST(Read, WithNeitherMemoryReadsOnlyIdentificationAndConfiguration) {
    Rig r;
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkEEP, false);
    r.ops.ButReadClick();
    EXPECT_EQ(r.commands(), kIdent + kConfig);
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_TRUE(std::all_of(r.images.FlashImage.begin(), r.images.FlashImage.end(),
                            [](auto b) { return b == 0xFF; }));
}

TEST(Read, FailingEepromBlockLeavesEarlierBlocksInTheImageButNotInTheView) {
    Rig r;
    r.controls.setChecked(Ctl::chkFlash, false);
    // DESC + 13 reads x 3, then 3 requests per EEPROM block: block 2 starts at 1 + 39 + 6 + 1.
    r.chip->faults().failRequest(1 + 39 + 6 + 1);
    r.ops.ButReadClick();
    EXPECT_EQ(lastBoxText(r), "EEPROM Read Error!");
    EXPECT_TRUE(std::equal(r.images.EepromImage.begin(), r.images.EepromImage.begin() + 512,
                           r.chip->eeprom().begin()));
    EXPECT_TRUE(std::all_of(r.images.EepromImage.begin() + 512, r.images.EepromImage.end(),
                            [](auto b) { return b == 0xFF; }));
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_TRUE(r.idle());
}

TEST(Read, LockedDeviceErrorCarriesTheLockNote) {
    sim::ChipConfig config;
    config.initial.SSB = 0xFC;
    Rig r(config);
    r.ops.ButReadClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    EXPECT_EQ(r.view.boxes[0].text, "Flash-Memory Read Error!\r(Device is locked)");
    EXPECT_EQ(r.commands(), kIdent + kConfig + Strings{"DISP 0 0000-03FF"});

    r.controls.setChecked(Ctl::chkFlash, false);
    r.ops.ButReadClick();
    EXPECT_EQ(lastBoxText(r), "EEPROM Read Error!\r(Device is locked)");
}

// ---------------------------------------------------------------------------
// The frame: messages, channel and controls after a failure

TEST(OperationFrame, ErrorBoxShowsWhileChannelIsOpenAndStatusShowsTheFailingStep) {
    Rig r;
    r.chip->faults().failRequest(1 + 39 + 3 * 5 + 1); // sixth FLASH block
    r.ops.ButReadClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    const ShownBox& box = r.view.boxes[0];
    EXPECT_EQ(box.caption, "USB-ERROR");
    EXPECT_EQ(box.text, "Flash-Memory Read Error!");
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.buttons, 0x0010);
    EXPECT_TRUE(box.beep);
    EXPECT_TRUE(box.channelOpen);
    EXPECT_EQ(box.statusText, "Reading Flash-Memory...");
    EXPECT_EQ(box.progressPercent, 16); // 5 of 31
    EXPECT_TRUE(r.idle());
    EXPECT_FALSE(r.view.lastBar.percentageShown());
}

TEST(OperationFrame, ControlsStayLockedWhileTheOperationRunsAndASecondClickIsIgnored) {
    Rig r;
    int pumpsWhileLocked = 0;
    r.view.onProcessMessages = [&] {
        if (r.ops.busy() && !r.controls.enabled(Ctl::ButRead) && !r.controls.enabled(Ctl::cbController) &&
            !r.controls.enabled(Ctl::EdStart))
            ++pumpsWhileLocked;
        r.ops.ButWriteClick(); // a click that arrives mid-transfer
    };
    r.ops.ButReadClick();
    r.view.onProcessMessages = nullptr;
    EXPECT_GT(pumpsWhileLocked, 36);
    const Strings cmds = r.commands();
    EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "DESC"), 1);
    EXPECT_TRUE(r.idle());
}

TEST(OperationFrame, ConfigurationControlsStayUsableDuringAnOperation) {
    Rig r;
    r.ops.EnableControls(false);
    for (Ctl c : {Ctl::cbOsc, Ctl::chkBLJB, Ctl::chkX2, Ctl::EdBSB, Ctl::EdP4CF, Ctl::cbSSB})
        EXPECT_TRUE(r.controls.enabled(c)) << controlName(c);
    r.ops.EnableControls(true);
}

// A failure at every request of each operation: the expected message by the
// step the request belongs to, and a usable window afterwards.
namespace {

const std::map<std::string, const char*> kFuseNames{
    {"W 1,06", "EB"},    {"W 1,00", "BSB"},   {"W 1,01", "SBV"},  {"W 2,00", "HSB"},
    {"W 1,02", "P1_CF"}, {"W 1,03", "P3_CF"}, {"W 1,04", "P4_CF"}};

// The command each request belongs to.
Strings stepsOf(const Strings& requests) {
    Strings steps;
    std::string current;
    for (const auto& q : requests) {
        if (q != "ST" && q.rfind("UP", 0) != 0 && q != "CLR")
            current = q;
        steps.push_back(current);
    }
    return steps;
}

// The message when request `request` (of kind `kind`, part of `step`) fails;
// statusCode is 0 for a failed transfer, else the status the chip answers.
QString expectedMessage(const std::string& step, const std::string& kind, int statusCode,
                        bool firstDescriptor) {
    if (step == "DESC")
        return firstDescriptor ? "No 89C513x Bootloader found!\rVendor-ID: 0000\rProduct-ID: 0000"
                               : "No 89C513x Bootloader found!\rVendor-ID: 03EB\rProduct-ID: 2FFD";
    if (step.rfind("DISP 0", 0) == 0)
        return "Flash-Memory Read Error!";
    if (step.rfind("DISP 2", 0) == 0)
        return "EEPROM Read Error!";
    if (step.rfind("PROG 0", 0) == 0)
        return "Flash-Memory Write Error!";
    if (step.rfind("PROG 2", 0) == 0)
        return "EEPROM Write Error!";
    if (step == "ERASE")
        return statusCode ? "Error erasing device!" : "";
    if (step.rfind("W 1,05", 0) == 0)
        return "Can't write Security Flags!";
    const auto fuse = kFuseNames.find(step.substr(0, 6));
    if (fuse != kFuseNames.end()) {
        const int code = statusCode ? -statusCode : (kind == "ST" ? 1 : -1);
        return QString("Can't write %1 (%2)").arg(fuse->second).arg(code);
    }
    return ""; // configuration reads and the start command report nothing
}

struct Setup {
    const char* name;
    Op op;
    std::function<void(Rig&)> prepare;
};

void checkFailureAtEveryRequest(const Setup& s) {
    Strings reference;
    {
        Rig r;
        s.prepare(r);
        run(r, s.op);
        ASSERT_TRUE(r.view.boxes.empty()) << s.name;
        reference = r.requests();
    }
    const Strings steps = stepsOf(reference);
    const auto firstDesc = std::find(reference.begin(), reference.end(), "DESC") - reference.begin();
    for (std::size_t i = 0; i < reference.size(); ++i) {
        for (int status : {0, int(sim::errWRITE)}) {
            if (status && reference[i] != "ST")
                continue;
            Rig r;
            s.prepare(r);
            if (status)
                r.chip->faults().answerStatus(static_cast<int>(i) + 1, static_cast<std::uint8_t>(status));
            else
                r.chip->faults().failRequest(static_cast<int>(i) + 1);
            run(r, s.op);
            const QString expected =
                expectedMessage(steps[i], reference[i], status, static_cast<std::ptrdiff_t>(i) == firstDesc);
            SCOPED_TRACE(std::string(s.name) + " request " + std::to_string(i + 1) + " " + reference[i] +
                         " of " + steps[i] + (status ? " answering status" : " failing"));
            if (expected.isEmpty()) {
                EXPECT_TRUE(r.view.boxes.empty()) << lastBoxText(r).toStdString();
            } else {
                ASSERT_EQ(r.view.boxes.size(), 1u);
                EXPECT_EQ(r.view.boxes[0].text, expected);
                EXPECT_EQ(r.view.boxes[0].caption, "USB-ERROR");
                // Nothing follows the failing step.
                const Strings done = r.commands();
                EXPECT_EQ(done.back(), steps[i]);
            }
            EXPECT_TRUE(r.idle());
            if (s.op == Op::Read || s.op == Op::Write) {
                EXPECT_FALSE(r.view.lastBar.percentageShown());
                EXPECT_EQ(r.view.lastBar.completed(), 0);
            }
        }
    }
}

} // namespace

TEST(OperationFrame, FailureAtEveryRequestOfRead) {
    checkFailureAtEveryRequest({"READ", Op::Read, [](Rig&) {}});
}

TEST(OperationFrame, FailureAtEveryRequestOfErase) {
    checkFailureAtEveryRequest({"ERASE", Op::Erase, [](Rig&) {}});
}

TEST(OperationFrame, FailureAtEveryRequestOfWriteWithEachOption) {
    auto usedFlash = [](Rig& r) {
        std::fill(r.images.FlashImage.begin(), r.images.FlashImage.begin() + 0x900, 0x11);
    };
    checkFailureAtEveryRequest({"WRITE auto erase, fuses, SSB", Op::Write, [&](Rig& r) {
                                    usedFlash(r);
                                    r.controls.setChecked(Ctl::chkAutoErase, true);
                                    r.controls.setIndex(Ctl::cbSSB, 1);
                                }});
    checkFailureAtEveryRequest({"WRITE flash all, no fuses", Op::Write, [](Rig& r) {
                                    r.controls.setChecked(Ctl::chkFlashAll, true);
                                    r.controls.setChecked(Ctl::chkFuses, false);
                                    r.controls.setChecked(Ctl::chkEEP, false);
                                }});
    checkFailureAtEveryRequest({"WRITE eeprom and fuses only", Op::Write, [](Rig& r) {
                                    r.controls.setChecked(Ctl::chkFlash, false);
                                    r.controls.setChecked(Ctl::chkAutoErase, true);
                                }});
}

TEST(OperationFrame, FailureAtEveryRequestOfRun) {
    checkFailureAtEveryRequest({"RUN jump", Op::Run, [](Rig& r) { r.controls.edit(Ctl::EdStart, "$1234"); }});
    checkFailureAtEveryRequest({"RUN reset", Op::Run, [](Rig& r) { r.controls.click(Ctl::chkReset); }});
}

TEST(OperationFrame, ChipLeavingTheBusMidTransferEndsInAMessageAndAUsableWindow) {
    Rig r;
    r.chip->faults().vanishAfter(60);
    r.ops.ButReadClick();
    EXPECT_EQ(lastBoxText(r), "Flash-Memory Read Error!");
    EXPECT_TRUE(r.idle());
    r.ops.ButReadClick();
    EXPECT_EQ(r.view.boxes.size(), 2u);
    EXPECT_TRUE(r.idle());
}

// ---------------------------------------------------------------------------
// ERASE

TEST(Erase, ErasesThenReadsTheErasedChipsIdentificationAgain) {
    sim::ChipConfig config;
    config.initial.BSB = 0x00;
    Rig r(config);
    const TBuffer imageBefore = r.images.FlashImage;
    r.ops.ButEraseClick();
    EXPECT_EQ(r.commands(), kIdent + kConfig + Strings{"ERASE"} + kIdent + kConfig);
    EXPECT_TRUE(r.view.boxes.empty());
    EXPECT_TRUE(
        std::all_of(r.chip->flash().begin(), r.chip->flash().end(), [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(r.controls.text(Ctl::EdBSB), "$FF"); // shows the erased chip
    EXPECT_EQ(r.images.FlashImage, imageBefore);
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_TRUE(r.view.progress.empty());
    EXPECT_EQ(r.view.statusHistory, (QStringList{"Reading device informations...", "Erasing Device...",
                                                 "Reading device informations..."}));
    EXPECT_TRUE(r.idle());
}

// ---------------------------------------------------------------------------
// WRITE

TEST(Write, AutoEraseFlashEepromAndFusesInOrder) {
    Rig r;
    r.controls.setChecked(Ctl::chkAutoErase, true);
    r.controls.edit(Ctl::EdBSB, "$00");
    r.view.flashView = TBuffer(0x8000, 0xFF);
    std::fill(r.view.flashView.begin(), r.view.flashView.begin() + 0x0800, 0x5A);
    r.view.eepromView = TBuffer(1024, 0x42);
    r.ops.ButWriteClick();

    EXPECT_TRUE(r.view.boxes.empty()) << lastBoxText(r).toStdString();
    Strings fuses = kFactoryFuses;
    fuses[1] = "W 1,00=00";
    EXPECT_EQ(r.commands(), kIdent + Strings{"ERASE"} + kIdent + blocks("PROG", 0, 2, 1024) +
                                blocks("PROG", 2, 4, 256) + fuses);
    // The views' contents were taken into the images and written.
    EXPECT_EQ(r.view.takenIntoImage, (std::vector<MemKind>{MEM_FLASH, MEM_EEPROM}));
    EXPECT_TRUE(std::all_of(r.chip->flash().begin(), r.chip->flash().begin() + 0x800,
                            [](auto b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(r.chip->flash().begin() + 0x800, r.chip->flash().end(),
                            [](auto b) { return b == 0xFF; }));
    EXPECT_EQ(r.chip->eeprom(), TBuffer(1024, 0x42));
    EXPECT_EQ(r.chip->configBytes().BSB, 0x00);
    EXPECT_EQ(r.view.pauses, (std::vector<int>{200, 200, 100, 200}));
    EXPECT_EQ(r.view.statusHistory, (QStringList{"Reading device informations...", "Erasing Device...",
                                                 "Reading device informations...", "Writing Flash-Memory...",
                                                 "Writing EEPROM...", "Writing Fuses..."}));
    EXPECT_TRUE(r.view.refreshed.empty());
    EXPECT_TRUE(r.idle());
}

TEST(Write, FlashIsWrittenUpToTheBlockHoldingTheLastUsedByte) {
    struct Case {
        int lastUsed;
        bool flashAll;
        bool autoErase;
        int blocksWritten;
    };
    for (const Case& c :
         {Case{-1, false, true, 0}, Case{0x03FF, false, false, 1}, Case{0x0400, false, false, 2},
          Case{0x7FFF, false, false, 32}, Case{-1, true, false, 32}, Case{0x0010, true, false, 32}}) {
        Rig r;
        r.controls.setChecked(Ctl::chkEEP, false);
        r.controls.setChecked(Ctl::chkFuses, false);
        r.controls.setChecked(Ctl::chkFlashAll, c.flashAll);
        r.controls.setChecked(Ctl::chkAutoErase, c.autoErase);
        if (c.lastUsed >= 0)
            r.images.FlashImage[static_cast<std::size_t>(c.lastUsed)] = 0x00;
        r.ops.ButWriteClick();
        const Strings cmds = r.commands();
        EXPECT_EQ(std::count(cmds.begin(), cmds.end(), "ERASE"), c.autoErase ? 1 : 0);
        Strings expected = c.autoErase ? kIdent + Strings{"ERASE"} + kIdent : kIdent;
        expected = expected + blocks("PROG", 0, c.blocksWritten, 1024);
        EXPECT_EQ(cmds, expected) << c.lastUsed;
        EXPECT_EQ(r.view.statusHistory.contains("Writing Flash-Memory..."), c.blocksWritten > 0);
    }
}

TEST(Write, SmallControllerWithFlashAllWritesSixteenBlocks) {
    sim::ChipConfig config;
    config.controller = sim::Controller::AT89C5130;
    Rig r(config);
    r.controls.setChecked(Ctl::chkFlashAll, true);
    r.controls.setChecked(Ctl::chkEEP, false);
    r.controls.setChecked(Ctl::chkFuses, false);
    r.ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + blocks("PROG", 0, 16, 1024));
}

TEST(Write, AutoEraseWithoutFlashDoesNotErase) {
    Rig r;
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkFuses, false);
    r.controls.setChecked(Ctl::chkAutoErase, true);
    r.ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + blocks("PROG", 2, 4, 256));
}

TEST(Write, ProgressShowsHundredBeforeASingleBlockAndThirdsForEeprom) {
    Rig r;
    r.controls.setChecked(Ctl::chkFuses, false);
    r.images.FlashImage[0] = 0;
    r.ops.ButWriteClick();
    std::vector<int> shown;
    for (const auto& p : r.view.progress)
        if (p.shown)
            shown.push_back(p.percent);
    // FLASH: new total, block 1 of 1; EEPROM: new total, blocks 0..3.
    EXPECT_EQ(shown, (std::vector<int>{0, 100, 0, 0, 33, 67, 100}));
}

TEST(Write, KeepsTheUsersConfigurationAndTheLockNoteOfTheLastRead) {
    sim::ChipConfig config;
    config.initial.SSB = 0xFE;
    Rig r(config);
    r.ops.ButReadClick(); // locked: the READ fails, the note is set
    r.chip->setConfigByte(sim::ConfigByte::SSB, 0xFF);
    r.controls.select(Ctl::cbOsc, 2);
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkFuses, false);
    r.chip->faults().clear();
    r.chip->faults().failRequest(1 + 6 * 3 + 1); // first EEPROM block
    r.ops.ButWriteClick();
    EXPECT_EQ(lastBoxText(r), "EEPROM Write Error!\r(Device is locked)");
    EXPECT_EQ(r.ops.SecurityLevel, 3); // refreshed
    EXPECT_EQ(r.controls.index(Ctl::cbOsc), 2);
    EXPECT_EQ(r.controls.text(Ctl::LabHSB), "$9B");
}

// ---------------------------------------------------------------------------
// The fuse step

namespace {
Rig& fusesOnly(Rig& r) {
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkEEP, false);
    r.controls.setChecked(Ctl::chkFuses, true);
    return r;
}
} // namespace

TEST(Fuses, UnlockedDeviceGetsSevenBytesInOrderAndNoSecurityByteForItemZero) {
    Rig r;
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + kFactoryFuses);
    EXPECT_EQ(r.chip->configBytes().P1_CF, 0xFE);
    EXPECT_EQ(r.chip->configBytes().SSB, 0xFF);
    EXPECT_EQ(r.view.statusHistory.back(), "Writing Fuses...");
}

TEST(Fuses, SecurityByteWrittenLastForItemsOneAndTwo) {
    Rig r;
    r.controls.setIndex(Ctl::cbSSB, 2);
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent + kFactoryFuses + Strings{"W 1,05=FC"});

    Rig r1;
    r1.controls.setIndex(Ctl::cbSSB, 1);
    fusesOnly(r1).ops.ButWriteClick();
    EXPECT_EQ(r1.commands().back(), "W 1,05=FE");
    EXPECT_EQ(r1.chip->configBytes().SSB, 0xFE);
}

TEST(Fuses, LockedDeviceGetsOnlyTheSecurityByte) {
    sim::ChipConfig config;
    config.initial.SSB = 0xFE;
    Rig r(config);
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.commands(), kIdent);
    EXPECT_TRUE(r.view.boxes.empty());

    Rig r2(config);
    r2.controls.setIndex(Ctl::cbSSB, 2);
    fusesOnly(r2).ops.ButWriteClick();
    EXPECT_EQ(r2.commands(), kIdent + Strings{"W 1,05=FC"});
    EXPECT_TRUE(r2.view.boxes.empty());
}

TEST(Fuses, FailureAtSbvLeavesEarlierBytesWrittenAndLaterOnesUntouched) {
    Rig r;
    r.controls.edit(Ctl::EdEB, "$01");
    r.controls.edit(Ctl::EdBSB, "$02");
    r.controls.edit(Ctl::EdSBV, "$03");
    r.controls.edit(Ctl::EdP1CF, "$04");
    r.controls.setIndex(Ctl::cbSSB, 2);
    fusesOnly(r);
    r.chip->faults().failRequest(1 + 6 * 3 + 2 * 2 + 1); // the SBV command
    r.ops.ButWriteClick();
    EXPECT_EQ(lastBoxText(r), "Can't write SBV (-1)");
    const auto& bytes = r.chip->configBytes();
    EXPECT_EQ(bytes.EB, 0x01);
    EXPECT_EQ(bytes.BSB, 0x02);
    EXPECT_EQ(bytes.SBV, 0xFF);
    EXPECT_EQ(bytes.P1_CF, 0xFF);
    EXPECT_EQ(bytes.SSB, 0xFF);
    EXPECT_EQ(r.controls.text(Ctl::EdSBV), "$03"); // the controls keep the user's values
    EXPECT_TRUE(r.idle());
}

TEST(Fuses, HsbWrittenIsWhatTheLabelShows) {
    sim::ChipConfig config;
    config.initial.HSB = 0xBF;
    Rig r(config);
    r.ops.ButReadClick();
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.chip->configBytes().HSB, 0xBF);

    r.controls.click(Ctl::chkX2);
    r.ops.ButWriteClick();
    EXPECT_EQ(r.chip->configBytes().HSB, 0x3B);
}

TEST(Fuses, ValueFieldsGiveTheirLowByte) {
    Rig r;
    r.controls.setHexValue(Ctl::EdP3CF, 0x1234);
    r.controls.edit(Ctl::EdP4CF, "200"); // decimal without "$"
    fusesOnly(r).ops.ButWriteClick();
    EXPECT_EQ(r.chip->configBytes().P3_CF, 0x34);
    EXPECT_EQ(r.chip->configBytes().P4_CF, 200);
}

TEST(Fuses, FieldWithoutANumberIsReportedAndNothingIsWritten) {
    for (Ctl field : {Ctl::EdEB, Ctl::EdBSB, Ctl::EdP4CF}) {
        Rig r;
        r.controls.edit(field, "");
        fusesOnly(r).ops.ButWriteClick();
        ASSERT_EQ(r.view.boxes.size(), 1u);
        EXPECT_EQ(r.view.boxes[0].caption, "Input-Error");
        const QString name = field == Ctl::EdEB ? "EB" : field == Ctl::EdBSB ? "BSB" : "P4_CF";
        EXPECT_EQ(r.view.boxes[0].text, name + ": no valid hexadecimal number");
        EXPECT_EQ(r.view.boxes[0].buttons, 0x0010);
        EXPECT_EQ(r.commands(), kIdent);
        EXPECT_TRUE(r.idle());
        EXPECT_FALSE(r.view.lastBar.percentageShown());
    }
    // On a locked device the fields are not needed, so an empty one is no error.
    sim::ChipConfig config;
    config.initial.SSB = 0xFE;
    Rig locked(config);
    locked.controls.edit(Ctl::EdEB, "");
    fusesOnly(locked).ops.ButWriteClick();
    EXPECT_TRUE(locked.view.boxes.empty());
}

// ---------------------------------------------------------------------------
// RUN and the run address

TEST(Run, JumpsToTheAddressFieldOrResets) {
    Rig r;
    r.controls.edit(Ctl::EdStart, "$12AB");
    r.ops.ButRunClick();
    EXPECT_EQ(r.commands(), (kIdent + kConfig + Strings{"START 1,12AB", "DN0"}));
    EXPECT_TRUE(r.chip->applicationRunning());
    EXPECT_EQ(r.chip->startAddress(), 0x12AB);
    EXPECT_TRUE(r.view.boxes.empty());
    // The field shows the remembered address again ($0000 at first).
    EXPECT_EQ(r.controls.text(Ctl::EdStart), "$0000");
    EXPECT_TRUE(r.idle());

    Rig r2;
    r2.controls.edit(Ctl::EdStart, "$4321");
    r2.controls.click(Ctl::chkReset);
    r2.ops.ButRunClick();
    EXPECT_EQ(r2.commands(), (kIdent + kConfig + Strings{"START 0,0000", "DN0"}));
    EXPECT_EQ(r2.controls.text(Ctl::EdStart), "$0000");
    EXPECT_FALSE(r2.controls.enabled(Ctl::EdStart));
    EXPECT_EQ(r2.controls.SavedRunAddress, 0); // taken again from the field
}

TEST(Run, AddressFieldWithoutANumberIsReportedAndNothingIsStarted) {
    Rig r;
    r.controls.edit(Ctl::EdStart, "");
    r.ops.ButRunClick();
    ASSERT_EQ(r.view.boxes.size(), 1u);
    EXPECT_EQ(r.view.boxes[0].caption, "Input-Error");
    EXPECT_EQ(r.view.boxes[0].text, "RUN-Address: no valid hexadecimal number");
    EXPECT_EQ(r.commands(), kIdent + kConfig);
    EXPECT_FALSE(r.chip->applicationRunning());
    EXPECT_TRUE(r.idle());
    EXPECT_EQ(r.controls.text(Ctl::EdStart), "$0000");
}

TEST(Run, TypedAddressComesBackAfterResetIsToggledAndIsReplacedAfterAnOperation) {
    Rig r;
    r.controls.edit(Ctl::EdStart, "$0800");
    r.controls.click(Ctl::chkReset);
    r.controls.click(Ctl::chkReset);
    EXPECT_EQ(r.controls.text(Ctl::EdStart), "$0800");
    r.controls.edit(Ctl::EdStart, "$0900");
    r.controls.setChecked(Ctl::chkFlash, false);
    r.controls.setChecked(Ctl::chkEEP, false);
    r.ops.ButReadClick();
    EXPECT_EQ(r.controls.text(Ctl::EdStart), "$0800");
}
