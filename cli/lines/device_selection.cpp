// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/lines/device_selection.h"

#include <QStringList>

#include <array>

namespace corvane::lines {

namespace {

constexpr unsigned kBootVendor = 0x03EB;
constexpr unsigned kBootProduct = 0x2FFD;

std::optional<int> deviceNumber(const QString& text) {
    if (text.size() != 1 || text[0] < QLatin1Char('0') || text[0] > QLatin1Char('7'))
        return std::nullopt;
    return text[0].unicode() - '0';
}

} // namespace

std::optional<std::vector<int>> parseDeviceList(const QString& text, QString& error) {
    std::array<bool, kDeviceCount> named{};
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& raw : items) {
        const QString item = raw.trimmed();
        const QStringList ends = item.split(QLatin1Char('-'));
        const auto low = deviceNumber(ends.first().trimmed());
        const auto high = ends.size() == 2 ? deviceNumber(ends.last().trimmed()) : low;
        if (item.isEmpty() || ends.size() > 2 || !low || !high) {
            error = QStringLiteral("Bad device list '%1': give numbers 0 to 7 and ranges such as 0,2-5.")
                        .arg(text);
            return std::nullopt;
        }
        if (*high < *low) {
            error = QStringLiteral("Bad device range '%1': the first number is the lower one.").arg(item);
            return std::nullopt;
        }
        for (int n = *low; n <= *high; ++n) {
            if (named[std::size_t(n)]) {
                error = QStringLiteral("Device %1 is named twice.").arg(n);
                return std::nullopt;
            }
            named[std::size_t(n)] = true;
        }
    }
    std::vector<int> devices;
    for (int n = 0; n < kDeviceCount; ++n) {
        if (named[std::size_t(n)])
            devices.push_back(n);
    }
    return devices;
}

std::vector<int> attachedBootloaders(DeviceLink& link) {
    std::vector<int> found;
    for (int n = 0; n < kDeviceCount; ++n) {
        if (!link.open(n)) {
            // Attached but refused to this user or held by another program:
            // named, so that its failure shows.
            if (link.lastOpenDenied() || link.lastOpenFailure() == OpenFailure::Busy)
                found.push_back(n);
            continue;
        }
        DeviceDescriptor d{};
        if (link.getDeviceDescriptor(d) && (d[8] | (d[9] << 8)) == kBootVendor &&
            (d[10] | (d[11] << 8)) == kBootProduct)
            found.push_back(n);
        link.close();
    }
    return found;
}

} // namespace corvane::lines
