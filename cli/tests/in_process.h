// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli run in this process on a link: its exit status and what it
// printed on each stream.

#pragma once

#include "cli/cli.h"

#include <QByteArray>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <utility>

namespace corvane::cli {

struct Printed {
    int status = -1;
    QByteArray out, err;
};

inline Printed runInProcess(const QStringList& arguments, DeviceLink& link) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), &std::fclose);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), &std::fclose);
    Printed p{runCli(QStringList{"corvane-cli"} + arguments, out.get(), err.get(), link), {}, {}};
    for (auto [f, to] : {std::pair{out.get(), &p.out}, std::pair{err.get(), &p.err}}) {
        std::fflush(f);
        std::rewind(f);
        char buffer[4096];
        for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            to->append(buffer, qsizetype(n));
    }
    return p;
}

} // namespace corvane::cli
