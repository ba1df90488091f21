// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state behind a hex view: its own copy of the bytes, the cursor (byte,
// column, digit), the first shown row, the bytes the user changed and the undo
// history. Editing only overwrites: the data size changes only through
// setDataSize, never through typing.

#include "image/hex_view_layout.h"
#include "image/memory_images.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane {

enum class HexMove {
    Left,
    Right,
    Up,
    Down,
    PageUp,
    PageDown,
    RowStart,
    RowEnd,
    DataStart,
    DataEnd,
};

class HexViewModel {
public:
    // Data.
    std::size_t dataSize() const { return data_.size(); }
    const TBuffer& data() const { return data_; }
    std::uint8_t byteAt(std::size_t offset) const { return data_[offset]; }
    // Resizes the data (new bytes are 0xFF) and starts afresh: no change
    // marks, no undo history, cursor on byte 0, first row at the top.
    void setDataSize(std::size_t size);
    // Copies the first min(size, dataSize()) bytes into the view from offset 0
    // and starts afresh as setDataSize does. The data size stays.
    void refresh(const std::uint8_t* bytes, std::size_t size);
    void refresh(const TBuffer& bytes) { refresh(bytes.data(), bytes.size()); }
    // Copies the first min(count, dataSize()) bytes of the view into dest.
    void copyTo(TBuffer& dest, std::size_t count) const;

    // Change marks and undo.
    bool isChanged(std::size_t offset) const { return offset < edits_.size() && edits_[offset] > 0; }
    bool isModified() const { return !undo_.empty(); }
    std::size_t changedCount() const;
    bool canUndo() const { return !undo_.empty(); }
    // Takes back the last typed digit or character and returns the cursor to
    // where it was before it. False when there is nothing to undo.
    bool undo();

    // Cursor.
    std::size_t cursor() const { return cursor_; }
    HexColumn column() const { return column_; }
    int nibble() const { return nibble_; }
    void setCursor(std::size_t offset, HexColumn column, int nibble = 0);
    void toggleColumn();
    void navigate(HexMove move);

    // Typing: a hexadecimal digit in the hex column, a character from
    // U+0020 to U+00FF (except U+007F) in the character column. Returns false
    // (and changes nothing) for anything else.
    bool typeChar(char32_t ch);

    // Scrolling.
    std::size_t rowCount() const { return hexRowCount(data_.size()); }
    std::size_t topRow() const { return topRow_; }
    void setTopRow(std::size_t row);
    std::size_t maxTopRow() const;
    int visibleRows() const { return visibleRows_; }
    void setVisibleRows(int rows);
    void ensureCursorVisible();

private:
    struct Edit {
        std::size_t offset;
        std::uint8_t oldValue;
        HexColumn column;
        int nibble;
    };

    void overwrite(std::uint8_t value);
    void startAfresh();

    TBuffer data_;
    std::vector<std::uint32_t> edits_; // per byte: edits still in the undo history
    std::vector<Edit> undo_;
    std::size_t cursor_ = 0;
    HexColumn column_ = HexColumn::Hex;
    int nibble_ = 0;
    std::size_t topRow_ = 0;
    int visibleRows_ = 1;
};

// Character shown for a byte in the character column: the byte itself
// (Latin-1) where it has a glyph, a point for control codes.
char16_t hexDisplayChar(std::uint8_t byte);

} // namespace corvane
