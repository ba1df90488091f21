// SPDX-License-Identifier: GPL-3.0-or-later
// What -d names: device numbers, ranges and bus-port paths.

#include "cli/options.h"

#include <array>

namespace corvane::cli {

std::optional<QString> parseBusPortPath(const QString& text) {
    QString rest = text.trimmed();
    if (rest.startsWith(QLatin1String("usb:")))
        rest.remove(0, 4);
    const qsizetype dash = rest.indexOf(QLatin1Char('-'));
    if (dash < 0)
        return std::nullopt;
    auto number = [](const QString& t) -> std::optional<int> {
        if (t.isEmpty() || t.size() > 3)
            return std::nullopt;
        for (QChar c : t) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const int n = t.toInt();
        return n >= 1 && n <= 255 ? std::optional<int>(n) : std::nullopt;
    };
    const auto bus = number(rest.left(dash));
    const QStringList ports = rest.mid(dash + 1).split(QLatin1Char('.'));
    if (!bus || ports.size() > 7)
        return std::nullopt;
    QString path = QString::number(*bus);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const auto port = number(ports[i]);
        if (!port)
            return std::nullopt;
        path += (i == 0 ? QStringLiteral("-") : QStringLiteral(".")) + QString::number(*port);
    }
    return path;
}

std::optional<DeviceSelection> parseDeviceSelection(const QString& text, QString& error) {
    DeviceSelection selection;
    QStringList numbers;
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& raw : items) {
        const QString item = raw.trimmed();
        if (!item.contains(QLatin1Char('.')) && !item.startsWith(QLatin1String("usb:"))) {
            numbers << item;
            selection.list = selection.list || item.contains(QLatin1Char('-'));
            continue;
        }
        const auto path = parseBusPortPath(item);
        if (!path) {
            error =
                QStringLiteral("Bad bus-port path '%1': give the bus and the ports as libusb numbers them, "
                               "such as 1-2.1, or usb:1-2 for a port of the root hub.")
                    .arg(item);
            return std::nullopt;
        }
        if (selection.paths.contains(*path)) {
            error = QStringLiteral("Device %1 is named twice.").arg(*path);
            return std::nullopt;
        }
        selection.paths << *path;
    }
    if (!numbers.isEmpty()) {
        const auto list = parseDeviceList(numbers.join(QLatin1Char(',')), error);
        if (!list) {
            // The error names what was given, paths included.
            if (!selection.paths.isEmpty())
                error.replace(QStringLiteral("'%1'").arg(numbers.join(QLatin1Char(','))),
                              QStringLiteral("'%1'").arg(text));
            return std::nullopt;
        }
        selection.numbers = *list;
    }
    selection.list = selection.list || items.size() > 1;
    return selection;
}

std::optional<std::vector<int>> parseDeviceList(const QString& text, QString& error) {
    std::array<bool, kDeviceCount> named{};
    auto number = [](const QString& t) -> std::optional<int> {
        if (t.size() != 1 || t[0] < QLatin1Char('0') || t[0] > QLatin1Char('7'))
            return std::nullopt;
        return t[0].unicode() - '0';
    };
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString item = raw.trimmed();
        const QStringList ends = item.split(QLatin1Char('-'));
        const auto low = number(ends.first().trimmed());
        const auto high = ends.size() == 2 ? number(ends.last().trimmed()) : low;
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

} // namespace corvane::cli
