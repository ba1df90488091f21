// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/chip_variants.h"

#include <algorithm>
#include <cctype>

namespace corvane {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<int> chipVariantIndex(std::string_view name) {
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        if (sameLetters(name, kChipVariants[i].name) || sameLetters(name, kChipVariants[i].shortName))
            return int(i);
    }
    return std::nullopt;
}

std::optional<int> chipVariantForProduct(std::uint8_t productCode) {
    for (std::size_t i = 0; i < kChipVariants.size(); ++i) {
        if (kChipVariants[i].productCode == productCode)
            return int(i);
    }
    return std::nullopt;
}

} // namespace corvane
