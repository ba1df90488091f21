// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tool's commands, one entry each: name, positional arguments, the
// options it takes besides the global ones, its help and the checks of its
// command line. Parsing, --help and the jobs all read this table.

#include "cli/options.h"

#include <QString>
#include <QStringList>
#include <span>

namespace corvane::cli {

struct Command {
    const char* name;
    const char* argumentNames; // shown after the name in the help ("IN OUT"), or empty
    int argumentCount;
    const char* argumentsNeeded; // "an input and an output file"
    QStringList options;         // long names
    // Help lines, already wrapped for the help's second column.
    const char* help;
    // What the command needs beyond the values of single options: the text
    // of the usage error, or an empty text.
    QString (*check)(const CommandLine& options);
    bool device; // runs on chips (not convert)
};

std::span<const Command> commands();
// The command of this name; nullptr for none.
const Command* findCommand(const QString& name);

// The "Commands:" block of --help.
QString commandsHelp();

} // namespace corvane::cli
