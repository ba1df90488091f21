// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/stream_names.h"

#include "core/local_text.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace corvane {

namespace {

constexpr int kMaxLinks = 40; // as the system allows in one path

QByteArray realFolder(const QByteArray& folder) {
    char* real = ::realpath(folder.constData(), nullptr);
    if (!real)
        return {};
    QByteArray result(real);
    std::free(real); // realpath allocates with malloc
    return result;
}

// Whether folder (a real path) is this process's descriptor folder,
// /proc/PID/fd or /proc/PID/task/TID/fd.
bool isOwnDescriptorFolder(const QByteArray& folder) {
    const QByteArray own = "/proc/" + QByteArray::number(qint64(::getpid()));
    if (folder == own + "/fd")
        return true;
    if (!folder.startsWith(own + "/task/") || !folder.endsWith("/fd"))
        return false;
    const QByteArray task = folder.mid(own.size() + 6, folder.size() - own.size() - 9);
    return !task.isEmpty() &&
           std::all_of(task.begin(), task.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<int> descriptorNamed(const QString& fileName) {
    QByteArray path = encodeFileName(fileName);
    for (int hop = 0; hop < kMaxLinks && !path.isEmpty(); ++hop) {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray folder = realFolder(slash < 0    ? QByteArray(".")
                                             : slash == 0 ? QByteArray("/")
                                                          : path.left(slash));
        const QByteArray base = path.mid(slash + 1);
        if (folder.isEmpty() || base.isEmpty())
            return std::nullopt;
        if (isOwnDescriptorFolder(folder)) {
            bool ok = false;
            const int fd = base.toInt(&ok);
            if (ok && fd >= 0 &&
                std::all_of(base.begin(), base.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return fd;
            return std::nullopt;
        }
        // Follow a symbolic link one step, from its own folder.
        const QByteArray here = (folder == "/" ? QByteArray() : folder) + '/' + base;
        std::array<char, PATH_MAX> target{};
        const ssize_t n = ::readlink(here.constData(), target.data(), target.size());
        if (n <= 0 || std::size_t(n) >= target.size())
            return std::nullopt; // not a link: a file of its own
        path = QByteArray(target.data(), qsizetype(n));
        if (!path.startsWith('/'))
            path.prepend((folder == "/" ? QByteArray() : folder) + '/');
    }
    return std::nullopt;
}

} // namespace corvane
