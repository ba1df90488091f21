// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/hex_view_model.h"

#include "core/hex_digit.h"

#include <algorithm>
#include <cstring>

namespace corvane {

char16_t hexDisplayChar(std::uint8_t byte) {
    if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0))
        return u'.';
    return static_cast<char16_t>(byte);
}

void HexViewModel::startAfresh() {
    edits_.assign(data_.size(), 0);
    undo_.clear();
    cursor_ = 0;
    column_ = HexColumn::Hex;
    nibble_ = 0;
    topRow_ = 0;
}

void HexViewModel::setDataSize(std::size_t size) {
    data_.resize(size, kErased);
    startAfresh();
}

void HexViewModel::refresh(const std::uint8_t* bytes, std::size_t size) {
    const std::size_t n = std::min(size, data_.size());
    if (n > 0)
        std::memcpy(data_.data(), bytes, n);
    startAfresh();
}

void HexViewModel::copyTo(TBuffer& dest, std::size_t count) const {
    const std::size_t n = std::min(count, data_.size());
    if (dest.size() < n)
        dest.resize(n);
    std::copy_n(data_.begin(), n, dest.begin());
}

std::size_t HexViewModel::changedCount() const {
    return static_cast<std::size_t>(
        std::count_if(edits_.begin(), edits_.end(), [](auto e) { return e > 0; }));
}

bool HexViewModel::undo() {
    if (undo_.empty())
        return false;
    const Edit e = undo_.back();
    undo_.pop_back();
    data_[e.offset] = e.oldValue;
    --edits_[e.offset];
    cursor_ = e.offset;
    column_ = e.column;
    nibble_ = e.nibble;
    ensureCursorVisible();
    return true;
}

void HexViewModel::setCursor(std::size_t offset, HexColumn column, int nibble) {
    if (data_.empty()) {
        cursor_ = 0;
    } else {
        cursor_ = std::min(offset, data_.size() - 1);
    }
    column_ = column;
    nibble_ = column == HexColumn::Hex ? std::clamp(nibble, 0, 1) : 0;
    ensureCursorVisible();
}

void HexViewModel::toggleColumn() {
    column_ = column_ == HexColumn::Hex ? HexColumn::Char : HexColumn::Hex;
    nibble_ = 0;
}

void HexViewModel::navigate(HexMove move) {
    if (data_.empty())
        return;
    const std::size_t last = data_.size() - 1;
    const std::size_t row = cursor_ / kHexBytesPerRow;
    const std::size_t lastRow = last / kHexBytesPerRow;
    const std::size_t page = static_cast<std::size_t>(std::max(1, visibleRows_));
    const bool hex = column_ == HexColumn::Hex;

    switch (move) {
    case HexMove::Left:
        if (hex && nibble_ == 1) {
            nibble_ = 0;
        } else if (cursor_ > 0) {
            --cursor_;
            nibble_ = hex ? 1 : 0;
        }
        break;
    case HexMove::Right:
        if (hex && nibble_ == 0) {
            nibble_ = 1;
        } else if (cursor_ < last) {
            ++cursor_;
            nibble_ = 0;
        }
        break;
    case HexMove::Up:
        if (row > 0)
            cursor_ -= kHexBytesPerRow;
        break;
    case HexMove::Down:
        if (row < lastRow)
            cursor_ = std::min(cursor_ + kHexBytesPerRow, last);
        break;
    case HexMove::PageUp: {
        const std::size_t rows = std::min(row, page);
        cursor_ -= rows * kHexBytesPerRow;
        topRow_ -= std::min(topRow_, rows);
        break;
    }
    case HexMove::PageDown: {
        const std::size_t rows = std::min(lastRow - row, page);
        cursor_ = std::min(cursor_ + rows * kHexBytesPerRow, last);
        topRow_ = std::min(topRow_ + rows, maxTopRow());
        break;
    }
    case HexMove::RowStart:
        cursor_ = row * kHexBytesPerRow;
        nibble_ = 0;
        break;
    case HexMove::RowEnd:
        cursor_ = std::min(row * kHexBytesPerRow + kHexBytesPerRow - 1, last);
        nibble_ = 0;
        break;
    case HexMove::DataStart:
        cursor_ = 0;
        nibble_ = 0;
        break;
    case HexMove::DataEnd:
        cursor_ = last;
        nibble_ = 0;
        break;
    }
    ensureCursorVisible();
}

void HexViewModel::overwrite(std::uint8_t value) {
    undo_.push_back({cursor_, data_[cursor_], column_, nibble_});
    ++edits_[cursor_];
    data_[cursor_] = value;
}

bool HexViewModel::typeChar(char32_t ch) {
    if (data_.empty())
        return false;
    const std::size_t last = data_.size() - 1;
    if (column_ == HexColumn::Hex) {
        const int digit = hexDigitValue(ch);
        if (digit < 0)
            return false;
        const std::uint8_t old = data_[cursor_];
        const auto value =
            static_cast<std::uint8_t>(nibble_ == 0 ? (old & 0x0F) | (digit << 4) : (old & 0xF0) | digit);
        overwrite(value);
        if (nibble_ == 0) {
            nibble_ = 1;
        } else {
            // After the last byte's low digit the cursor goes back to its
            // high digit: the data never grows.
            if (cursor_ < last)
                ++cursor_;
            nibble_ = 0;
        }
    } else {
        if (ch < 0x20 || ch > 0xFF || ch == 0x7F)
            return false;
        overwrite(static_cast<std::uint8_t>(ch));
        if (cursor_ < last)
            ++cursor_;
    }
    ensureCursorVisible();
    return true;
}

std::size_t HexViewModel::maxTopRow() const {
    const std::size_t rows = rowCount();
    const auto shown = static_cast<std::size_t>(std::max(1, visibleRows_));
    return rows > shown ? rows - shown : 0;
}

void HexViewModel::setTopRow(std::size_t row) {
    topRow_ = std::min(row, maxTopRow());
}

void HexViewModel::setVisibleRows(int rows) {
    visibleRows_ = std::max(1, rows);
    topRow_ = std::min(topRow_, maxTopRow());
}

void HexViewModel::ensureCursorVisible() {
    const std::size_t row = cursor_ / kHexBytesPerRow;
    const auto shown = static_cast<std::size_t>(std::max(1, visibleRows_));
    if (row < topRow_)
        topRow_ = row;
    else if (row >= topRow_ + shown)
        topRow_ = row - shown + 1;
    topRow_ = std::min(topRow_, maxTopRow());
}

} // namespace corvane
