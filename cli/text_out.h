// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text the tool prints: UTF-8, flushed at once so that lines of several
// threads and of stdout and stderr reach a log in the order written.

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace corvane::cli {

inline void write(std::FILE* to, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace corvane::cli
