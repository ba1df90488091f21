// SPDX-License-Identifier: GPL-3.0-or-later
// The controller types: looked up by name, by product byte and by list index.

#include "core/chip_table.h"
#include "image/memory_images.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace corvane;

TEST(ChipVariants, NamesProductBytesAndIndexesFindTheirEntry) {
    std::set<std::string> names;
    std::set<int> products;
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        const ChipVariant& v = kChipVariants[i];
        EXPECT_EQ(chipVariantIndex(v.name), int(i));
        EXPECT_EQ(chipVariantIndex(v.shortName), int(i));
        EXPECT_EQ(chipVariantForProduct(v.productCode), int(i));
        EXPECT_EQ(flashSizeForController(int(i)), v.flashSize);
        // Erase blocks cover FLASH from 0 without a gap.
        std::size_t next = 0;
        for (const EraseBlock& b : v.eraseBlocks) {
            EXPECT_EQ(b.first, next);
            next = std::size_t(b.last) + 1;
        }
        EXPECT_EQ(next, v.flashSize);
        EXPECT_TRUE(names.insert(v.shortName).second);
        EXPECT_TRUE(products.insert(v.productCode).second);
    }
    EXPECT_EQ(chipVariantIndex("at89c5130"), 1); // any letter case
    EXPECT_EQ(chipVariantIndex("5132"), std::nullopt);
    EXPECT_EQ(chipVariantIndex(""), std::nullopt);
    EXPECT_EQ(chipVariantForProduct(0x99), std::nullopt);
    // No selection and indexes past the list are the first type.
    EXPECT_EQ(&chipVariant(-1), &kChipVariants[0]);
    EXPECT_EQ(&chipVariant(int(kChipVariants.size())), &kChipVariants[0]);
}
