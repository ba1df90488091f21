// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/serial_number.h"

#include <algorithm>

namespace corvane::cli {

namespace {

std::optional<std::uint64_t> parseHex(QString digits) {
    if (digits.startsWith(QLatin1Char('$')))
        digits.remove(0, 1);
    else if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits.remove(0, 2);
    if (digits.isEmpty() || digits.size() > 16)
        return std::nullopt;
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

} // namespace

std::optional<SerialFormat> parseSerialFormat(const QString& text) {
    if (text == QLatin1String("hex"))
        return SerialFormat::Hex;
    if (text == QLatin1String("bcd"))
        return SerialFormat::Bcd;
    if (text == QLatin1String("ascii"))
        return SerialFormat::Ascii;
    return std::nullopt;
}

std::optional<SerialPlace> parseSerialPlace(const QString& text) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    const QString memory = text.left(colon).toLower();
    SerialPlace place;
    if (memory == QLatin1String("flash"))
        place.memory = MEM_FLASH;
    else if (memory == QLatin1String("eeprom"))
        place.memory = MEM_EEPROM;
    else
        return std::nullopt;
    const auto address = parseHex(text.mid(colon + 1));
    if (!address || *address > 0xFFFF)
        return std::nullopt;
    place.address = std::uint32_t(*address);
    return place;
}

std::optional<std::uint64_t> parseSerialValue(const QString& text) {
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        return parseHex(text);
    if (text.isEmpty() || !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok, 10);
    return ok ? std::optional<std::uint64_t>(value) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> encodeSerial(std::uint64_t value, const SerialLayout& layout,
                                                      QString& error) {
    const auto size = std::size_t(layout.size);
    std::vector<std::uint8_t> bytes(size, 0);
    std::uint64_t rest = value;
    switch (layout.format) {
    case SerialFormat::Hex:
        for (std::size_t i = size; i-- > 0;) {
            bytes[i] = std::uint8_t(rest & 0xFF);
            rest >>= 8;
        }
        break;
    case SerialFormat::Bcd:
        for (std::size_t i = size; i-- > 0;) {
            bytes[i] = std::uint8_t((rest % 10) | ((rest / 10 % 10) << 4));
            rest /= 100;
        }
        break;
    case SerialFormat::Ascii:
        for (std::size_t i = size; i-- > 0;) {
            bytes[i] = std::uint8_t('0' + rest % 10);
            rest /= 10;
        }
        break;
    }
    if (rest != 0) {
        error =
            QStringLiteral("The serial number %1 does not fit into %2 byte(s).").arg(value).arg(layout.size);
        return std::nullopt;
    }
    if (layout.littleEndian)
        std::reverse(bytes.begin(), bytes.end());
    return bytes;
}

QString checkSerialPlace(const SerialLayout& layout, const TBuffer& image, std::size_t memorySize) {
    const char* memory = layout.place.memory == MEM_EEPROM ? "EEPROM" : "FLASH";
    if (std::size_t(layout.place.address) + std::size_t(layout.size) > memorySize)
        return QStringLiteral("The serial number at %1 %2 in %3 byte(s) goes past the end of %1 (%4 bytes).")
            .arg(QLatin1String(memory))
            .arg(layout.place.address, 4, 16, QLatin1Char('0'))
            .arg(layout.size)
            .arg(memorySize);
    if (layout.overwrite)
        return {};
    for (int i = 0; i < layout.size; ++i) {
        const std::size_t at = layout.place.address + std::size_t(i);
        if (at < image.size() && image[at] != kErased)
            return QStringLiteral("The serial number would overwrite image data at %1 %2; "
                                  "--serial-overwrite allows it.")
                .arg(QLatin1String(memory))
                .arg(at, 4, 16, QLatin1Char('0'));
    }
    return {};
}

void placeSerial(TBuffer& image, const SerialLayout& layout, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t at = layout.place.address + i;
        if (at < image.size())
            image[at] = bytes[i];
    }
}

} // namespace corvane::cli
