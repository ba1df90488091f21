// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// corvane-cli: runs one command line and returns its exit status.

#include <QStringList>
#include <cstdio>

namespace corvane::cli {

int runCli(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace corvane::cli
