// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options the window answers before it needs a display: --help and
// --version print their text on standard output and end the program.

#include <QString>
#include <cstdio>
#include <optional>

namespace corvane {

enum class StartAnswer { None, Help, Version };

// What the arguments (argv[1] on) ask to be answered without a window: the
// first "-h", "--help" or "--version" among them, else None.
StartAnswer startAnswerFor(int argc, const char* const* argv);

// The usage text of the window program.
QString windowHelpText();

// Prints the answer the arguments ask for on out and returns the exit
// status (0); nothing when the window is to start.
std::optional<int> answerStartOptions(int argc, const char* const* argv, std::FILE* out);

} // namespace corvane
