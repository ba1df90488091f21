// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text of the debug log's lines.

#include <QString>
#include <cstdint>

namespace corvane {

// value as exactly eight upper-case hexadecimal digits, a negative value in
// two's complement: 32 gives "00000020", -1 gives "FFFFFFFF".
QString hexLineText(std::int32_t value);

} // namespace corvane
