// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options the tool knows, one entry each, for the parser and the help.

#include <QString>
#include <vector>

namespace corvane::cli {

// One option: its names, the value it takes (none: a flag; "=NAME": an
// optional one after "="), and its help.
struct OptionSpec {
    const char* shortName;
    const char* longName;
    const char* value;
    const char* help;
};

const std::vector<OptionSpec>& optionTable();
// The option of this long (or, with shortForm, one-letter) name; nullptr for none.
const OptionSpec* findOption(const QString& name, bool shortForm);
// "5131|5130"
QString controllerValues();

} // namespace corvane::cli
