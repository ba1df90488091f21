// SPDX-License-Identifier: GPL-3.0-or-later
// Which pages and blocks a transfer moves.

#include "ops/memory_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes imageWith(std::initializer_list<std::pair<std::size_t, std::size_t>> used, std::size_t size = 0x8000) {
    Bytes image(size, 0xFF);
    for (auto [from, to] : used) {
        for (std::size_t a = from; a < to; ++a)
            image[a] = std::uint8_t(a & 0x7F);
    }
    return image;
}

TEST(SparsePlan, ProgramsOnlyPagesThatHoldDataInFramesOfAtMostOneKilobyte) {
    // 0x000-0x9FF used (20 pages), one byte at 0x0C05, two bytes at the very top.
    const Bytes image = imageWith({{0x0000, 0x0A00}, {0x0C05, 0x0C06}, {0x7FFE, 0x8000}});
    const WritePlan plan = sparsePlan(image);
    EXPECT_EQ(plan.frames,
              (Ranges{{0x0000, 0x400}, {0x0400, 0x400}, {0x0800, 0x200}, {0x0C00, 0x80}, {0x7F80, 0x80}}));
    EXPECT_EQ(plan.blank, (Ranges{{0x0A00, 0x200}, {0x0C80, 0x7F80 - 0x0C80}}));
    EXPECT_EQ(plan.bytes(), 0xA00u + 0x100u);

    const WritePlan empty = sparsePlan(Bytes(0x4000, 0xFF));
    EXPECT_TRUE(empty.frames.empty());
    EXPECT_EQ(empty.blank, (Ranges{{0, 0x4000}}));
    EXPECT_EQ(sparsePlan(imageWith({{0, 0x4000}}, 0x4000)).frames.size(), 16u);
}

TEST(BlockPlan, WritesWholeBlocksUpToTheLastUsedOneOrAll) {
    EXPECT_EQ(blockPlan(imageWith({{0x03FF, 0x0400}}), false).frames, (Ranges{{0, 0x400}}));
    EXPECT_EQ(blockPlan(imageWith({{0x0400, 0x0401}}), false).frames.size(), 2u);
    EXPECT_TRUE(blockPlan(Bytes(0x8000, 0xFF), false).frames.empty());
    EXPECT_EQ(blockPlan(Bytes(0x4000, 0xFF), true).frames.size(), 16u);
    EXPECT_EQ(usedLength(imageWith({{0x1234, 0x1235}})), 0x1235u);
}

// Blocks the chip holds blank are programmed page by page, the others whole,
// so the chip ends as after whole blocks.
TEST(MixedPlan, BlankBlocksGoSparselyAndUsedOnesWhole) {
    const Bytes image = imageWith({{0x0000, 0x0100}, {0x0500, 0x0510}, {0x0C00, 0x0C01}});
    const WritePlan plan = mixedPlan(image, false, [](std::size_t block) { return block != 1; });
    EXPECT_EQ(plan.frames, (Ranges{{0x0000, 0x100}, {0x0400, 0x400}, {0x0C00, 0x80}}));
    EXPECT_EQ(plan.blank, (Ranges{{0x0100, 0x300}, {0x0800, 0x400}, {0x0C80, 0x380}}));
    const WritePlan allUsed = mixedPlan(image, false, [](std::size_t) { return false; });
    EXPECT_EQ(allUsed.frames, blockPlan(image, false).frames);
    EXPECT_TRUE(allUsed.blank.empty());
}

TEST(ChangedPages, NamesOnlyPagesThatDiffer) {
    Bytes chip(1024, 0x11);
    Bytes image = chip;
    image[0x10] = 0x22;
    image[0x3FF] = 0x33;
    const WritePlan plan = changedPages(image, chip);
    EXPECT_EQ(plan.frames, (Ranges{{0x000, 0x80}, {0x380, 0x80}}));
    EXPECT_TRUE(changedPages(chip, chip).frames.empty());
}

TEST(ReadPlan, JoinsTouchingRangesAndCutsThemIntoPieces) {
    const auto plan = readPlan({{0x0000, 0x400}, {0x0400, 0x200}, {0x0C00, 0x80}, {0x0000, 0}});
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[0].range, (Range{0x0000, 0x400}));
    EXPECT_EQ(plan[1].range, (Range{0x0400, 0x200}));
    EXPECT_EQ(plan[2].range, (Range{0x0C00, 0x80}));
    EXPECT_TRUE(plan[0].statusCheck);
    EXPECT_FALSE(plan[1].statusCheck);
    EXPECT_EQ(readPlan({{0, 0x8000}}).size(), 32u);
    EXPECT_EQ(readPlan({{0, 0x400}}, 256).size(), 4u);
}

} // namespace
} // namespace corvane
