// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial numbers' counter file and their log, both shared by every
// station of a line: each change happens under an exclusive lock on the file,
// so two programs never hand out the same number or mix their log lines.

#include <QString>
#include <cstdint>
#include <optional>

namespace corvane::lines {

// Takes the next serial number from the counter file: the number it holds
// (first when the file does not exist yet or is empty), and stores the one
// after it. The file is replaced atomically: it holds the old or the new
// number, never a part. std::nullopt with error set when the file cannot be
// read or written or holds something that is not a number; the file is then
// left as it was.
std::optional<std::uint64_t> takeSerial(const QString& fileName, std::uint64_t first, QString& error);

// Appends one row "time,device,serial,result" to the CSV log (with a header
// row when the file is new). The time is UTC in ISO 8601. False with error
// set when the file cannot be written.
bool appendSerialLog(const QString& fileName, int device, std::uint64_t serial, const QString& result,
                     QString& error);

} // namespace corvane::lines
