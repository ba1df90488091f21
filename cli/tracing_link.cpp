// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/tracing_link.h"

#include "link/protocol.h"

#include <QStringList>

namespace corvane::cli {

namespace {

constexpr std::uint16_t kShownBytes = 16;

const char* requestName(std::uint8_t request) {
    static constexpr const char* kNames[] = {"DETACH",    "DNLOAD",   "UPLOAD", "GETSTATUS",
                                             "CLRSTATUS", "GETSTATE", "ABORT"};
    return request < std::size(kNames) ? kNames[request] : "REQUEST";
}

QString hexBytes(const std::uint8_t* data, std::uint16_t length) {
    QStringList bytes;
    for (std::uint16_t i = 0; i < length && i < kShownBytes; ++i)
        bytes << QString::number(data[i], 16).toUpper().rightJustified(2, QLatin1Char('0'));
    if (length > kShownBytes)
        bytes << QStringLiteral("... (%1 bytes)").arg(length);
    return bytes.join(QLatin1Char(' '));
}

QString hex(unsigned value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
}

} // namespace

QString requestText(const TClassRequest& setup, const std::uint8_t* data, std::uint16_t length,
                    bool withData) {
    QString text = QStringLiteral("%1 bmRequestType %2 bRequest %3 wValue %4 wIndex %5 wLength %6")
                       .arg(QLatin1String(requestName(setup.Request)), hex(setup.bmRequestType(), 2),
                            hex(setup.Request, 2), hex(setup.Value, 4), hex(setup.Index, 4))
                       .arg(length);
    if (withData && length > 0)
        text += QStringLiteral(": ") + hexBytes(data, length);
    return text;
}

QString TracingLink::outcome(bool ok) const {
    if (ok)
        return QStringLiteral("ok");
    const std::string why = target().lastError();
    return why.empty() ? QStringLiteral("failed")
                       : QStringLiteral("failed (%1)").arg(QString::fromStdString(why));
}

bool TracingLink::open(int deviceNumber) {
    const bool ok = target().open(deviceNumber);
    tell_(QStringLiteral("open device %1: %2").arg(deviceNumber).arg(outcome(ok)));
    return ok;
}

bool TracingLink::getDeviceDescriptor(DeviceDescriptor& out) {
    const bool ok = target().getDeviceDescriptor(out);
    tell_(QStringLiteral("device descriptor: %1")
              .arg(ok ? hexBytes(out.data(), std::uint16_t(out.size())) : outcome(false)));
    return ok;
}

bool TracingLink::classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) {
    const bool in = setup.Direction != 0;
    const bool ok = target().classRequest(setup, data, length);
    // What goes out is shown as sent, what comes in as answered.
    tell_(requestText(setup, data, length, !in || ok) + QStringLiteral(" -> ") + outcome(ok));
    return ok;
}

void TracingLink::close() {
    target().close();
    tell_(QStringLiteral("close"));
}

} // namespace corvane::cli
