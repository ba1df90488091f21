// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where each chip of a run gets its device link: every chip has one of its
// own, so that chips on different links work at the same time.

#include "link/device_link.h"

#include <QString>
#include <memory>

namespace corvane::cli {

class LinkSource {
public:
    virtual ~LinkSource() = default;
    virtual std::unique_ptr<DeviceLink> newLink() = 0;
    // True when the links may be used at the same time from several threads.
    virtual bool concurrent() const { return true; }

    // The simulated bench in folder (empty: the folder named by the
    // environment), shared by the links. Throws std::runtime_error when its
    // bench file or folder is bad.
    static std::unique_ptr<LinkSource> simulated(const QString& folder);
    // USB through libusb, a context per link.
    static std::unique_ptr<LinkSource> usb();
    // The one link given, lent to one chip at a time: the chips of a run take
    // turns instead of running at once.
    static std::unique_ptr<LinkSource> borrowed(DeviceLink& link);
};

} // namespace corvane::cli
