// SPDX-License-Identifier: GPL-3.0-or-later
// The bench's slots as links claim them: one link at a time, also across
// processes on one state folder; stores that keep only what a process changed;
// links of different threads on different slots.

#include "sim/bench.h"
#include "sim/tests/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace corvane::sim {
namespace {

// A slot is one link's at a time: in one process and, through the state
// folder, across processes (two benches on one folder stand for two).
TEST(SlotClaims, ASecondLinkIsRefusedAsBusyUntilTheFirstCloses) {
    TempDir dir;
    dir.write("bench.conf", "[slot 0]\n[slot 1]\n");
    auto first = SimBench::fromFolder(dir.path());
    auto second = SimBench::fromFolder(dir.path());
    SimBench memory;
    memory.insert(0);
    for (SimBench* other : {first.get(), second.get()}) {
        SimBench& holder = other == second.get() ? *first : memory;
        SimBench& contender = other == second.get() ? *second : memory;
        SimLink a(holder);
        SimLink b(contender);
        ASSERT_TRUE(a.open(0));
        EXPECT_FALSE(b.open(0));
        EXPECT_EQ(b.lastOpenFailure(), OpenFailure::Busy);
        EXPECT_NE(b.lastError().find("in use"), std::string::npos);
        if (contender.persistent()) {
            EXPECT_TRUE(b.open(1)) << "another slot is free";
            b.close();
        }
        a.close();
        EXPECT_TRUE(b.open(0)) << b.lastError();
        EXPECT_EQ(b.lastOpenFailure(), OpenFailure::None);
    }
}

TEST(SlotStores, AProcessStoresOnlyWhatItChangedAndTakesWhatAnotherStored) {
    TempDir dir;
    dir.write("bench.conf", "[slot 0]\n[slot 1]\n");
    { SimBench::fromFolder(dir.path()); } // both chips stored
    auto a = SimBench::fromFolder(dir.path());
    {
        auto b = SimBench::fromFolder(dir.path());
        SimLink link(*b);
        ASSERT_TRUE(link.open(1));
        b->chip(1)->flash()[1] = 0xB1;
    } // b's link stores slot 1
    SimLink link(*a);
    ASSERT_TRUE(link.open(0));
    a->chip(0)->flash()[0] = 0xA0;
    link.close();
    a->chip(1)->eeprom()[1] = 0xA1; // outside a claim, after b stored the slot
    a.reset();

    auto after = SimBench::fromFolder(dir.path());
    EXPECT_EQ(after->chip(0)->flash()[0], 0xA0);
    EXPECT_EQ(after->chip(1)->flash()[1], 0xB1) << "b's write is not rolled back";
    EXPECT_EQ(after->chip(1)->eeprom()[1], 0xFF);

    // A claim sees what the last holder stored.
    auto c = SimBench::fromFolder(dir.path());
    {
        SimLink other(*after);
        ASSERT_TRUE(other.open(0));
        after->chip(0)->flash()[0] = 0xC0;
    }
    SimLink mine(*c);
    ASSERT_TRUE(mine.open(0));
    EXPECT_EQ(c->chip(0)->flash()[0], 0xC0);
}

// Different slots are served at the same time, from different threads.
TEST(SlotClaims, LinksOfDifferentThreadsWorkTheirOwnSlots) {
    TempDir dir;
    dir.write("bench.conf", "[slot 0]\n[slot 1]\n[slot 2]\n[slot 3]\n");
    auto bench = SimBench::fromFolder(dir.path());
    std::vector<std::thread> threads;
    std::vector<int> done(4, 0);
    for (int slot = 0; slot < 4; ++slot) {
        threads.emplace_back([&, slot] {
            for (int round = 0; round < 20; ++round) {
                SimLink link(*bench);
                if (!link.open(slot))
                    return;
                std::uint8_t frame[32] = {0x04, 0x01, 0x06, std::uint8_t(slot * 16 + round)}; // EB
                TClassRequest setup;
                setup.RequestType = 1;
                setup.Recipient = 1;
                setup.Request = DFU_DNLOAD;
                setup.Index = 4;
                if (link.classRequest(setup, frame, sizeof frame))
                    ++done[std::size_t(slot)];
            }
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(done, std::vector<int>(4, 20));
    bench.reset();
    auto stored = SimBench::fromFolder(dir.path());
    for (int slot = 0; slot < 4; ++slot)
        EXPECT_EQ(stored->chip(slot)->configByte(ConfigByte::EB), slot * 16 + 19);
}

} // namespace
} // namespace corvane::sim
