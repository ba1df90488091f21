// SPDX-License-Identifier: GPL-3.0-or-later
// A device link that tells each request as it goes (-v): the open, the
// descriptor read, and every class request with its setup fields, its data
// and how it went.

#pragma once

#include "link/device_link.h"

#include <QString>
#include <functional>

namespace corvane::cli {

class TracingLink : public ForwardingLink {
public:
    TracingLink(DeviceLink& to, std::function<void(const QString&)> tell)
        : ForwardingLink(to), tell_(std::move(tell)) {}

    bool open(int deviceNumber) override;
    bool getDeviceDescriptor(DeviceDescriptor& out) override;
    bool classRequest(const TClassRequest& setup, std::uint8_t* data, std::uint16_t length) override;
    void close() override;

private:
    QString outcome(bool ok) const;

    std::function<void(const QString&)> tell_;
};

// One request as -v shows it: "DNLOAD 21 01 0000 0004 0020: 05 01 30 00 ...".
QString requestText(const TClassRequest& setup, const std::uint8_t* data, std::uint16_t length,
                    bool withData);

} // namespace corvane::cli
