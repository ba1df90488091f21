// SPDX-License-Identifier: GPL-3.0-or-later
// The bench: its file, its state folder, and the in-process link.

#include "sim/bench.h"
#include "sim/tests/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace corvane::sim {
namespace {

TEST(BenchConfig, ParsesSlotsFaultsAndForeignDevices) {
    const std::string text = R"(# two chips
[slot 0]
controller = AT89C5130
timing = realistic   # demo
erase = busy
product = 2ffe
ssb = FE
bus = 2
ports = 1.4
refuse-open = yes

[Slot 5]
fail-request = 3, 7
status = 4:3
vanish-after = 12
short-upload = 9:100
fail-descriptor = yes

[foreign]
device = 1D6B:0002 bus=1 ports=
device = 046D:C52B bus=2 ports=1.1
)";
    BenchConfig c;
    std::string err;
    ASSERT_TRUE(parseBenchConfig(text, c, &err)) << err;
    ASSERT_EQ(c.chips.size(), 2u);
    const auto& s0 = c.chips.at(0);
    EXPECT_EQ(s0.controller, *Controller::named("AT89C5130"));
    EXPECT_EQ(s0.timing, Timing::Realistic);
    EXPECT_EQ(s0.eraseMode, EraseMode::BusyPolling);
    EXPECT_EQ(s0.productId, 0x2FFE);
    EXPECT_EQ(s0.vendorId, 0x03EB);
    EXPECT_EQ(s0.initial.SSB, 0xFE);
    EXPECT_EQ(s0.bus, 2);
    EXPECT_EQ(s0.ports, (std::vector<std::uint8_t>{1, 4}));
    EXPECT_TRUE(s0.refuseOpen);
    const auto& f5 = c.faults.at(5);
    EXPECT_EQ(f5.failing, (std::set<int>{3, 7}));
    EXPECT_EQ(f5.statusOverride.at(4), 3);
    EXPECT_EQ(f5.vanishAfterRequest, 12);
    EXPECT_EQ(f5.shortUploads.at(9), 100);
    EXPECT_TRUE(f5.failDescriptor);
    ASSERT_EQ(c.foreign.size(), 2u);
    EXPECT_EQ(c.foreign[1].vendorId, 0x046D);
    EXPECT_EQ(c.foreign[1].ports, (std::vector<std::uint8_t>{1, 1}));
}

TEST(BenchConfig, RejectsBadLinesNamingTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"[slot 8]\n", "line 1"},
        {"[slot 0]\ncontroller = 8051\n", "line 2"},
        {"\n\ntiming = fast\n", "line 3"},
        {"[slot 1]\nssb = 1FF\n", "line 2"},
        {"[slot 1]\ncolour = red\n", "unknown key"},
        {"[slot 1]\nstatus = 4\n", "line 2"},
        {"[dock]\n", "unknown section"},
    };
    for (const auto& [text, expected] : cases) {
        BenchConfig c;
        c.chips[7] = ChipConfig{};
        std::string err;
        EXPECT_FALSE(parseBenchConfig(text, c, &err)) << text;
        EXPECT_NE(err.find(expected), std::string::npos) << text << " -> " << err;
        EXPECT_EQ(c.chips.size(), 1u) << "output changed on failure";
    }
}

// A value that is not a number names its line, its key and itself.
class BenchNumbers : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BenchNumbers, ABadNumberNamesLineKeyAndValue) {
    const auto& [text, expected] = GetParam();
    BenchConfig c;
    std::string err;
    EXPECT_FALSE(parseBenchConfig(text, c, &err));
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(err.find("sto"), std::string::npos) << "no library function names: " << err;
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, BenchNumbers,
    ::testing::Values(std::pair{"[slot 0]\nfail-request = abc\n",
                                "line 2: fail-request: 'abc' is not a number"},
                      std::pair{"[slot 0]\nvanish-after = -3\n", "line 2: vanish-after: '-3'"},
                      std::pair{"[slot 0]\nvendor = 03EG\n", "line 2: vendor: '03EG' is not a hexadecimal"},
                      std::pair{"[foreign]\ndevice = 1D6B:zz\n", "line 2: device: 'zz'"},
                      std::pair{"[slot 0]\n\ncontroller = AT89C5132\n", "line 3: controller: 'AT89C5132'"}));

TEST(BenchFolder, AFolderThatCannotKeepTheChipsIsRefusedNamingIt) {
    TempDir dir;
    dir.write("plain-file", "not a folder\n");
    const auto file = dir.path() / "plain-file";
    const std::filesystem::path cases[] = {file, file / "below"};
    for (const auto& path : cases) {
        try {
            SimBench::fromFolder(path);
            ADD_FAILURE() << path << " accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
        }
    }
    // A folder without write permission (root writes anyway: then it is usable).
    const auto locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const bool writable = ::access(locked.c_str(), W_OK) == 0;
    if (writable)
        EXPECT_NO_THROW(SimBench::fromFolder(locked));
    else
        EXPECT_THROW(SimBench::fromFolder(locked), std::runtime_error);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << "no probe file left";
}

TEST(BenchFolder, SeparateBenchesOnOneFolderSeeTheSameChip) {
    TempDir dir;
    dir.write("bench.conf", "[slot 2]\ncontroller = AT89C5130\n");
    {
        auto bench = SimBench::fromFolder(dir.path());
        ASSERT_TRUE(bench->chip(2));
        EXPECT_FALSE(bench->chip(0));
        bench->chip(2)->flash()[0x3FFF] = 0x5A;
        bench->chip(2)->eeprom()[1] = 0xA5;
        bench->chip(2)->setConfigByte(ConfigByte::SSB, 0xFE);
    } // stored on destruction
    auto again = SimBench::fromFolder(dir.path());
    SimChip* c = again->chip(2);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->flash().size(), 0x4000u);
    EXPECT_EQ(c->flash()[0x3FFF], 0x5A);
    EXPECT_EQ(c->eeprom()[1], 0xA5);
    EXPECT_EQ(c->securityLevel(), 2);
}

TEST(BenchFolder, LinkPicksUpWhatAnotherProcessStoredAndKeepsLocalChangesOtherwise) {
    TempDir dir;
    auto first = SimBench::fromFolder(dir.path()); // no bench file: one chip in slot 0
    auto second = SimBench::fromFolder(dir.path());
    ASSERT_TRUE(first->chip(0) && second->chip(0));

    first->chip(0)->flash()[7] = 0x07; // local change, not stored yet
    SimLink link(*first);
    ASSERT_TRUE(link.open(0));
    EXPECT_EQ(first->chip(0)->flash()[7], 0x07);
    link.close(); // stores

    SimLink other(*second);
    ASSERT_TRUE(other.open(0));
    EXPECT_EQ(second->chip(0)->flash()[7], 0x07);
}

TEST(BenchFolder, StartedApplicationAndErrorStateSurviveTheProgramRun) {
    TempDir dir;
    {
        auto bench = SimBench::fromFolder(dir.path());
        SimChip* c = bench->chip(0);
        std::uint8_t frame[32] = {0x03, 0x00, 0x80, 0x00, 0x80, 0x01};
        c->control({0x21, DFU_DNLOAD, 0, 0, 32}, frame); // errADDRESS
    }
    {
        auto bench = SimBench::fromFolder(dir.path());
        EXPECT_EQ(bench->chip(0)->state(), dfuERROR);
        EXPECT_EQ(bench->chip(0)->status(), errADDRESS);
        bench->chip(0)->setAttached(false);
    }
    auto bench = SimBench::fromFolder(dir.path());
    SimLink link(*bench);
    EXPECT_FALSE(link.open(0));
    EXPECT_NE(link.lastError().find("not on the bus"), std::string::npos);
}

TEST(BenchFolder, AStoredChipThatDoesNotFitItsSlotIsRefusedAndKeptWhole) {
    TempDir dir;
    {
        auto bench = SimBench::fromFolder(dir.path()); // a 32 KB chip in slot 0
        bench->chip(0)->flash()[0x7FFF] = 0x42;
    }
    dir.write("bench.conf", "[slot 0]\ncontroller = 5130\n[slot 1]\n");
    {
        auto bench = SimBench::fromFolder(dir.path());
        EXPECT_FALSE(bench->chip(0));
        EXPECT_TRUE(bench->chip(1)) << "the other slots work";
        const std::string why = bench->vacancy(0);
        EXPECT_NE(why.find("refused"), std::string::npos) << why;
        EXPECT_NE(why.find("32768"), std::string::npos) << why;
        EXPECT_NE(why.find("AT89C5130"), std::string::npos) << why;
        ASSERT_EQ(bench->warnings().size(), 1u);
        SimLink link(*bench);
        EXPECT_FALSE(link.open(0));
        EXPECT_EQ(link.lastError(), why);
        EXPECT_EQ(link.lastOpenFailure(), OpenFailure::NotFound);
    }
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "slot-0" / "flash.bin"), 0x8000u) << "never cut";
    std::filesystem::remove(dir.path() / "bench.conf");
    EXPECT_EQ(SimBench::fromFolder(dir.path())->chip(0)->flash()[0x7FFF], 0x42);
}

// A chip.txt that is not the bench's own is an error naming file and line:
// nothing is taken, nothing reset to factory values.
class GarbageChipText : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(GarbageChipText, IsAnErrorNamingFileAndLine) {
    const auto& [text, expected] = GetParam();
    TempDir dir;
    { SimBench::fromFolder(dir.path()); } // stores a chip in slot 0
    dir.write("bench.conf", "[slot 0]\n");
    dir.write("slot-0/chip.txt", text);
    try {
        SimBench::fromFolder(dir.path());
        ADD_FAILURE() << "taken: " << text;
    } catch (const std::runtime_error& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find((dir.path() / "slot-0" / "chip.txt").string()), std::string::npos) << what;
        EXPECT_NE(what.find(expected), std::string::npos) << what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GarbageChipText,
    ::testing::Values(std::pair{"\x89PNG\r\n\x1a\n", "line 1: expected key=value"},
                      std::pair{"controller=AT89C5131\nbsb=ZZ\n", "line 2: 'ZZ' is not a hexadecimal"},
                      std::pair{"controller=AT89C5131\nbsb=FF\ncolour=red\n", "line 3: unknown key 'colour'"},
                      std::pair{"", "the controller or a configuration byte is missing"},
                      std::pair{"controller=AT89C9999\nbsb=FF\n", "'AT89C9999'"}));

TEST(BenchFolder, StoredMemoryThatCannotBeReadIsAnErrorNamingTheFile) {
    TempDir dir;
    { SimBench::fromFolder(dir.path()); }
    std::filesystem::remove(dir.path() / "slot-0" / "eeprom.bin");
    try {
        SimBench::fromFolder(dir.path());
        ADD_FAILURE() << "loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("eeprom.bin: missing"), std::string::npos) << e.what();
    }
}

TEST(BenchFile, AFolderOrAnUnreadableFileIsAnErrorAndAnEmptyOneDefinesNoChip) {
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "bench.conf");
    try {
        SimBench::fromFolder(dir.path());
        ADD_FAILURE() << "a folder taken as the bench file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find((dir.path() / "bench.conf").string() + ": a folder"),
                  std::string::npos)
            << e.what();
    }
    std::filesystem::remove(dir.path() / "bench.conf");

    dir.write("locked.conf", "[slot 0]\n");
    std::filesystem::permissions(dir.path() / "locked.conf", std::filesystem::perms::none);
    if (::access((dir.path() / "locked.conf").c_str(), R_OK) != 0) { // root reads anyway
        EXPECT_THROW(SimBench::fromFolder(dir.path(), dir.path() / "locked.conf"), std::runtime_error);
    }

    dir.write("bench.conf", "# nothing yet\n");
    auto bench = SimBench::fromFolder(dir.path());
    for (int slot = 0; slot < SimBench::kSlots; ++slot)
        EXPECT_FALSE(bench->chip(slot));
    SimLink link(*bench);
    EXPECT_FALSE(link.open(0));
    EXPECT_NE(link.lastError().find("defines no chip"), std::string::npos) << link.lastError();
    EXPECT_NE(link.lastError().find("bench.conf"), std::string::npos) << link.lastError();
    EXPECT_EQ(bench->warnings().size(), 1u);
}

TEST(BenchFolder, EnvironmentNamesFolderAndFile) {
    TempDir dir;
    dir.write("other.conf", "[slot 6]\n");
    ::setenv("CORVANE_SIM_DIR", dir.path().c_str(), 1);
    ::setenv("CORVANE_SIM_CONFIG", (dir.path() / "other.conf").c_str(), 1);
    auto bench = SimBench::fromEnvironment();
    ::unsetenv("CORVANE_SIM_DIR");
    ::unsetenv("CORVANE_SIM_CONFIG");
    EXPECT_EQ(bench->stateDir(), dir.path());
    EXPECT_TRUE(bench->chip(6));
    EXPECT_FALSE(bench->chip(0));
}

TEST(BenchFolder, InsertStoresAndRemoveForgetsTheSlot) {
    TempDir dir;
    {
        auto bench = SimBench::fromFolder(dir.path());
        bench->insert(4, ChipConfig::of(*Controller::named("AT89C5130")));
        bench->remove(0);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "slot-0"));
    }
    auto bench = SimBench::fromFolder(dir.path()); // no bench file: the stored chips
    EXPECT_FALSE(bench->chip(0));
    ASSERT_TRUE(bench->chip(4));
    EXPECT_EQ(bench->chip(4)->controller(), *Controller::named("AT89C5130"));
}

// The bench control as two programs on one folder see it: a socket that
// starts empty, a board plugged in (factory fresh, whatever the last one
// held), taken out (its memories kept), and a slot held by a link refused.
TEST(BenchControl, BoardsComeAndGoForEveryProgramOnTheFolder) {
    TempDir dir;
    dir.write("bench.conf", "[slot 2]\nattached = no\nbus = 3\nports = 1.4\n[slot 5]\n");
    auto station = SimBench::fromFolder(dir.path());
    auto control = SimBench::fromFolder(dir.path());
    EXPECT_EQ(station->attachedBoards().size(), 1u);

    ASSERT_EQ(control->plugBoard(2), SimBench::Claim::Granted);
    const auto boards = station->attachedBoards();
    ASSERT_EQ(boards.size(), 2u);
    EXPECT_EQ(boards[0].number, 2);
    EXPECT_EQ(busPortPath(boards[0]), "3-1.4");
    EXPECT_EQ(busPortPath(boards[1]), "1-6");

    SimLink held(*station);
    ASSERT_TRUE(held.open(2));
    station->chip(2)->eeprom()[7] = 0x42;
    EXPECT_EQ(control->unplugBoard(2), SimBench::Claim::Busy);
    held.close();
    ASSERT_EQ(control->unplugBoard(2), SimBench::Claim::Granted);
    EXPECT_EQ(station->attachedBoards().size(), 1u);
    EXPECT_EQ(SimBench::fromFolder(dir.path())->chip(2)->eeprom()[7], 0x42);
    EXPECT_FALSE(held.open(2));

    ASSERT_EQ(control->plugBoard(2), SimBench::Claim::Granted);
    ASSERT_TRUE(held.open(2));
    EXPECT_EQ(station->chip(2)->eeprom()[7], 0xFF);
    held.close();
    EXPECT_EQ(control->plugBoard(4), SimBench::Claim::Failed);
    EXPECT_NE(control->lastError().find("slot 4 is empty"), std::string::npos);
}

// Every controller type of the variant table can be set up on the bench by
// its names, answers its own product byte, FLASH size and erase blocks, and
// comes back as the same type from the state folder alone.
class BenchVariants : public ::testing::TestWithParam<std::size_t> {
protected:
    static std::vector<std::uint8_t> request(SimChip& chip, std::vector<std::uint8_t> command,
                                             std::uint16_t answer) {
        command.resize(32, 0);
        if (!chip.control({0x21, DFU_DNLOAD, 0, 0, 32}, command.data()).ok())
            return {};
        std::uint8_t st[6]{};
        if (!chip.control({0xA1, DFU_GETSTATUS, 0, 0, 6}, st).ok() || st[0] != 0)
            return {};
        std::vector<std::uint8_t> b(answer);
        if (answer > 0) {
            const auto r = chip.control({0xA1, DFU_UPLOAD, 0, 0, answer}, b.data());
            if (!r.ok())
                return {};
            b.resize(static_cast<std::size_t>(r.transferred));
        }
        return b;
    }
};

TEST_P(BenchVariants, EachTypeIsSetUpByNameAndAnswersAsItself) {
    const auto& variant = kChipVariants[GetParam()];
    const std::string name = variant.name;
    for (const std::string& spelling : {name, name + "a", std::string(variant.shortName)}) {
        SCOPED_TRACE(spelling);
        TempDir dir;
        dir.write("bench.conf", "[slot 3]\ncontroller = " + spelling + "\n");
        {
            auto bench = SimBench::fromFolder(dir.path());
            SimChip* chip = bench->chip(3);
            ASSERT_TRUE(chip);
            EXPECT_EQ(chip->controller().variant().name, variant.name);
            EXPECT_EQ(chip->flash().size(), variant.flashSize);
            EXPECT_EQ(request(*chip, {0x05, 0x01, 0x60}, 1), std::vector<std::uint8_t>{variant.productCode});
            for (const auto& block : variant.eraseBlocks) {
                std::fill(chip->flash().begin(), chip->flash().end(), 0x00);
                ASSERT_TRUE(request(*chip, {0x04, 0x00, block.code}, 0).empty());
                const auto& f = chip->flash();
                EXPECT_EQ(std::count(f.begin(), f.end(), 0xFF), block.last - block.first + 1)
                    << int(block.code);
                EXPECT_EQ(f[block.first], 0xFF);
                EXPECT_EQ(f[block.last], 0xFF);
            }
        }
        std::filesystem::remove(dir.path() / "bench.conf");
        auto again = SimBench::fromFolder(dir.path()); // the state folder alone
        ASSERT_TRUE(again->chip(3));
        EXPECT_EQ(again->chip(3)->controller().variant().name, variant.name);
        EXPECT_EQ(again->chip(3)->flash().size(), variant.flashSize);
        EXPECT_EQ(again->lastError(), "");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryTableEntry, BenchVariants,
                         ::testing::Range<std::size_t>(0, kChipVariants.size()));

TEST(SimLinkTest, OpenRefusesBadNumbersEmptySlotsAndRefusedChips) {
    SimBench bench;
    SimLink link(bench);
    EXPECT_FALSE(link.open(-1));
    EXPECT_FALSE(link.open(8));
    EXPECT_FALSE(link.open(1));
    ChipConfig refused;
    refused.refuseOpen = true;
    bench.insert(1, refused);
    EXPECT_FALSE(link.open(1));
    EXPECT_NE(link.lastError().find("refused"), std::string::npos);
    bench.insert(1);
    EXPECT_TRUE(link.open(1));
    EXPECT_EQ(link.openSlot(), 1);
    link.close();
    EXPECT_FALSE(link.isOpen());
    DeviceDescriptor d{};
    EXPECT_FALSE(link.getDeviceDescriptor(d));
}

} // namespace
} // namespace corvane::sim
