// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/device_watch.h"

#include "ops/chip_session.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <thread>

namespace corvane::cli {

DeviceWatch::DeviceWatch(LinkSource& links, std::function<bool()> stop)
    : links_(links), stop_(std::move(stop)) {}

std::optional<std::vector<AttachedDevice>> DeviceWatch::now() {
    if (!link_)
        link_ = links_.newLink();
    auto list = link_->listDevices();
    if (!list) {
        const std::string why = link_->lastError();
        error_ = QStringLiteral("cannot list the attached devices") +
                 (why.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(why));
    }
    return list;
}

DeviceWatch::End DeviceWatch::waitUntil(const Test& ready, std::optional<int> seconds,
                                        std::vector<AttachedDevice>& last) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(seconds.value_or(0));
    for (;;) {
        auto list = now();
        if (!list)
            return End::Failed;
        last = std::move(*list);
        if (ready(last))
            return End::Ready;
        if (stop_ && stop_())
            return End::Stopped;
        if (seconds && Clock::now() >= deadline)
            return End::TimedOut;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
        if (stop_ && stop_())
            return End::Stopped;
    }
}

const AttachedDevice* deviceAt(const std::vector<AttachedDevice>& list, const QString& path) {
    const std::string wanted = path.toStdString();
    const auto at = std::find_if(list.begin(), list.end(),
                                 [&wanted](const AttachedDevice& d) { return busPortPath(d) == wanted; });
    return at == list.end() ? nullptr : &*at;
}

const AttachedDevice* deviceNumbered(const std::vector<AttachedDevice>& list, int number) {
    const auto at = std::find_if(list.begin(), list.end(),
                                 [number](const AttachedDevice& d) { return d.number == number; });
    return at == list.end() ? nullptr : &*at;
}

QString waitedFor(const CommandLine& o) {
    if (!o.deviceGiven)
        return QStringLiteral("a bootloader");
    QStringList named = o.devicePaths;
    for (int n : o.devices)
        named << QStringLiteral("device %1").arg(n);
    if (named.size() == 1)
        return named.first();
    const QString lastOne = named.takeLast();
    return named.join(QStringLiteral(", ")) + QStringLiteral(" and ") + lastOne;
}

namespace {

// The listed devices where a bootloader is: it answers, or the system
// refuses this user or another program holds it (so that its failure shows).
std::vector<int> bootloadersAmong(DeviceLink& link, const std::vector<AttachedDevice>& listed) {
    ChipSession session(link);
    std::vector<int> found;
    for (const AttachedDevice& d : listed) {
        const ErrorKind kind = session.open(d.number).kind;
        if (kind == ErrorKind::None || kind == ErrorKind::AccessDenied || kind == ErrorKind::InUse)
            found.push_back(d.number);
        session.close();
    }
    return found;
}

bool everyNamedAttached(const CommandLine& o, const std::vector<AttachedDevice>& list) {
    if (!o.deviceGiven)
        return !list.empty();
    return std::all_of(o.devices.begin(), o.devices.end(),
                       [&list](int n) { return deviceNumbered(list, n) != nullptr; }) &&
           std::all_of(o.devicePaths.begin(), o.devicePaths.end(),
                       [&list](const QString& p) { return deviceAt(list, p) != nullptr; });
}

Outcome waitForNamed(const CommandLine& o, DeviceWatch& watch,
                     const std::function<void(const QString&)>& tell, std::vector<AttachedDevice>& listed) {
    const QString what = waitedFor(o);
    tell(QStringLiteral("Waiting for %1 to be attached...").arg(what));
    const auto test = [&o](const std::vector<AttachedDevice>& list) { return everyNamedAttached(o, list); };
    switch (watch.waitUntil(test, o.waitSeconds, listed)) {
    case DeviceWatch::End::Ready:
        return {};
    case DeviceWatch::End::TimedOut:
        return Outcome::failed(
            Failure::NoDevice,
            QStringLiteral("%1 was not attached within %2 s").arg(what).arg(*o.waitSeconds));
    case DeviceWatch::End::Stopped:
        return Outcome::failed(Failure::Cancelled, QStringLiteral("stopped while waiting for %1").arg(what));
    case DeviceWatch::End::Failed:
        break;
    }
    return Outcome::failed(Failure::NoDevice, watch.error());
}

} // namespace

Outcome selectDevices(const CommandLine& o, DeviceWatch& watch,
                      const std::function<void(const QString&)>& tell, std::vector<SelectedDevice>& out) {
    const bool list = o.command == QLatin1String("list");
    std::vector<AttachedDevice> listed;
    bool known = true;
    if (o.wait) {
        if (Outcome waited = waitForNamed(o, watch, tell, listed); !waited.ok())
            return waited;
    } else if (auto now = watch.now()) {
        listed = std::move(*now);
    } else if (list || o.all || !o.devicePaths.isEmpty()) {
        return Outcome::failed(Failure::NoDevice, watch.error());
    } else {
        known = false; // the devices are opened by number all the same
    }

    std::vector<int> numbers;
    if (list) {
        for (const AttachedDevice& d : listed)
            numbers.push_back(d.number);
    } else if (o.all) {
        numbers = bootloadersAmong(watch.link(), listed);
        if (numbers.empty())
            return Outcome::failed(Failure::NoDevice, QStringLiteral("no bootloader is attached"));
    } else if (!o.deviceGiven && o.wait) {
        numbers.push_back(listed.front().number);
    } else {
        numbers = o.devices;
        for (const QString& path : o.devicePaths) {
            const AttachedDevice* d = deviceAt(listed, path);
            if (!d)
                return Outcome::failed(Failure::NoDevice,
                                       QStringLiteral("no bootloader is attached at %1").arg(path));
            if (std::find(numbers.begin(), numbers.end(), d->number) != numbers.end())
                return Outcome::failed(
                    Failure::Usage,
                    QStringLiteral("device %1 is named twice (%2 is device %1)").arg(d->number).arg(path));
            numbers.push_back(d->number);
        }
        std::sort(numbers.begin(), numbers.end());
    }
    for (int n : numbers) {
        const AttachedDevice* d = known ? deviceNumbered(listed, n) : nullptr;
        out.push_back({n, d ? QString::fromStdString(busPortPath(*d)) : QString()});
    }
    return {};
}

} // namespace corvane::cli
