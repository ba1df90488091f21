// SPDX-License-Identifier: GPL-3.0-or-later
// corvane-cli: the command-line programmer over the device engine.

#include "cli/cli.h"
#include "cli/signals.h"
#include "core/local_text.h"

#include <QString>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(corvane::decodeFileName(argv[i])); // file names keep their bytes
    corvane::cli::installStopSignals();
    return corvane::cli::runCli(arguments, stdout, stderr, [] { return corvane::cli::stopRequested(); });
}
