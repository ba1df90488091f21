// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial numbers' counter file and their log, both shared by every
// station of a line: each change happens under an exclusive lock on the file,
// so two programs never hand out the same number or mix their log lines.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace corvane::cli {

// Takes count serial numbers from the counter file: from the number it holds
// (first when the file does not exist yet or is empty) on; the one after
// them is stored. The file is replaced atomically: it holds the old or the new
// number, never a part. std::nullopt with error set when the file cannot be
// read or written or holds something that is not a number; the file is then
// left as it was.
// usable(first) may refuse the numbers (they do not fit the serial's size):
// its reason is the error, and the file is left as it was. problem, when
// given, tells what kind of failure error is.
enum class SerialProblem { None, Access, Content, Unusable };
std::optional<std::uint64_t> takeSerials(const QString& fileName, std::uint64_t first, std::uint64_t count,
                                         QString& error,
                                         const std::function<QString(std::uint64_t)>& usable = {},
                                         SerialProblem* problem = nullptr);

// Opens the CSV log for appending (with a header row when the file is new),
// so that a run learns before it changes a chip whether it can log. False
// with error set when it cannot.
bool openSerialLog(const QString& fileName, QString& error);

// Appends one row "time,device,serial,result" to the CSV log (with a header
// row when the file is new). The time is UTC in ISO 8601. False with error
// set when the file cannot be written.
bool appendSerialLog(const QString& fileName, int device, std::uint64_t serial, const QString& result,
                     QString& error);

} // namespace corvane::cli
