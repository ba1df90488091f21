// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/chip_board.h"

#include <stdexcept>

namespace corvane::cli {

struct ChipBoard::Row {
    ChipBoard* board = nullptr;
    int device = 0;
    std::string shown;    // what the line shows
    std::string building; // the text since the last carriage return or line end
    bool escape = false;  // inside a terminal control sequence
    // The text being built began after a line end (a message line), not
    // after a carriage return (a status redrawn in place).
    bool afterLineEnd = true;
    bool shownIsMessage = false;
    std::FILE* file = nullptr;
};

ChipBoard::ChipBoard(std::FILE* terminal, const std::vector<int>& devices) : terminal_(terminal) {
    for (int device : devices) {
        auto row = std::make_unique<Row>();
        row->board = this;
        row->device = device;
        cookie_io_functions_t io{};
        io.write = &ChipBoard::write;
        row->file = fopencookie(row.get(), "w", io);
        if (!row->file)
            throw std::runtime_error("cannot open an output stream");
        setvbuf(row->file, nullptr, _IONBF, 0);
        rows_.push_back(std::move(row));
    }
    std::lock_guard lock(mutex_);
    for (const auto& row : rows_)
        std::fprintf(terminal_, "%d:\n", row->device);
    std::fflush(terminal_);
}

ChipBoard::~ChipBoard() {
    for (const auto& row : rows_)
        std::fclose(row->file);
}

std::FILE* ChipBoard::stream(std::size_t index) const {
    return rows_.at(index)->file;
}

std::vector<std::string> ChipBoard::lines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const auto& row : rows_)
        out.push_back(row->shown);
    return out;
}

ssize_t ChipBoard::write(void* cookie, const char* data, std::size_t size) {
    auto* row = static_cast<Row*>(cookie);
    std::lock_guard lock(row->board->mutex_);
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (row->escape) {
            // A control sequence ends with a letter ("\x1b[K").
            row->escape = !((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
        } else if (c == '\x1b') {
            row->escape = true;
        } else if (c == '\r' || c == '\n') {
            if (!row->building.empty()) {
                // The lines of one message stay together on the chip's line.
                const bool message = c == '\n' && row->afterLineEnd;
                row->shown =
                    message && row->shownIsMessage ? row->shown + " " + row->building : row->building;
                row->shownIsMessage = message;
            }
            row->building.clear();
            row->afterLineEnd = c == '\n';
        } else {
            row->building.push_back(c);
        }
    }
    // A status redrawn with its bar shows at once, before its line ends.
    if (!row->building.empty() && !row->afterLineEnd) {
        row->shown = row->building;
        row->shownIsMessage = false;
    }
    row->board->redraw();
    return static_cast<ssize_t>(size);
}

void ChipBoard::redraw() {
    // Up to the board's first line, each line anew, and back below it.
    std::fprintf(terminal_, "\x1b[%zuA", rows_.size());
    for (const auto& row : rows_)
        std::fprintf(terminal_, "\r\x1b[K%d: %s\n", row->device, row->shown.c_str());
    std::fflush(terminal_);
}

} // namespace corvane::cli
