// SPDX-License-Identifier: GPL-3.0-or-later
// The chip table: controller types looked up by name, product byte and list
// index, and the configuration bytes each named once.

#include "core/chip_table.h"

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

TEST(ConfigBytes, EachByteIsInItsPlaceAndNamedByOneAreaAndIndex) {
    std::set<std::uint32_t> addresses;
    for (std::size_t i = 0; i < kConfigBytes.size(); ++i) {
        EXPECT_EQ(std::size_t(kConfigBytes[i].id), i) << kConfigBytes[i].name;
        EXPECT_TRUE(addresses.insert(configAddress(kConfigBytes[i].id)).second) << kConfigBytes[i].name;
        EXPECT_EQ(configIdAt(kConfigBytes[i].area, kConfigBytes[i].index), kConfigBytes[i].id);
    }
    EXPECT_EQ(configIdAt(0x01, 0x07), std::nullopt);
    EXPECT_EQ(configIdAt(0x02, 0x05), std::nullopt) << "the security byte's index in another area";
    // Every writable byte is in the write order once, the security byte not:
    // it is written last, on its own.
    std::set<ConfigId> order(kFuseOrder.begin(), kFuseOrder.end());
    EXPECT_EQ(order.size(), kFuseOrder.size());
    EXPECT_FALSE(order.count(ConfigId::SSB));
    EXPECT_EQ(std::set<ConfigId>(kConfigReadOrder.begin(), kConfigReadOrder.end()), order);
    EXPECT_EQ(oscillatorMegahertz(0xBB), 32);
    EXPECT_EQ(oscillatorMegahertz(0x2B), 16);
    EXPECT_EQ(oscillatorMegahertz(0x0B), std::nullopt);
}
