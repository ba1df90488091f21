// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Several chips' progress on a terminal: one line per chip, redrawn in place,
// each beginning with the chip's device number. Every chip writes to its own
// stream as it would to a terminal of its own (status texts with a progress
// bar redrawn after a carriage return, whole lines for messages); its line
// on the board shows the latest of them.

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvane::cli {

class ChipBoard {
public:
    // Draws one line for each device on terminal.
    ChipBoard(std::FILE* terminal, const std::vector<int>& devices);
    ~ChipBoard(); // closes the chips' streams; the board stays on the screen
    ChipBoard(const ChipBoard&) = delete;
    ChipBoard& operator=(const ChipBoard&) = delete;

    // The stream of the chip at index (in the order of the devices given).
    std::FILE* stream(std::size_t index) const;

    // The text each line shows now (without its device number).
    std::vector<std::string> lines() const;

private:
    struct Row;
    static ssize_t write(void* cookie, const char* data, std::size_t size);
    void redraw();

    std::FILE* terminal_;
    std::vector<std::unique_ptr<Row>> rows_;
    mutable std::mutex mutex_;
};

} // namespace corvane::cli
