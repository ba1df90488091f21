// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/start_options.h"

#include "core/app_info.h"

#include <cstring>

namespace corvane {

StartAnswer startAnswerFor(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0)
            return StartAnswer::Help;
        if (std::strcmp(arg, "--version") == 0)
            return StartAnswer::Version;
    }
    return StartAnswer::None;
}

QString windowHelpText() {
    return QStringLiteral(
        "Usage: corvane [--simulate [FOLDER]] [Qt options]\n"
        "Device programmer window for AT89C5131(A) and AT89C5130(A) controllers with a USB bootloader.\n"
        "\n"
        "Options:\n"
        "  --simulate [FOLDER]  Work on the simulated bench in state folder FOLDER (without it, the\n"
        "                       folder CORVANE_SIM_DIR names) instead of the USB devices.\n"
        "  -h, --help           Show this help and end.\n"
        "  --version            Show the version and end.\n"
        "\n"
        "Any argument, --simulate and Qt's own options such as -style included, leaves the\n"
        "CONFIG settings unwritten when the window closes. The command-line programmer is\n"
        "corvane-cli.\n");
}

std::optional<int> answerStartOptions(int argc, const char* const* argv, std::FILE* out) {
    QString text;
    switch (startAnswerFor(argc, argv)) {
    case StartAnswer::None:
        return std::nullopt;
    case StartAnswer::Help:
        text = windowHelpText();
        break;
    case StartAnswer::Version:
        text = titleText() + QLatin1Char('\n');
        break;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
    std::fflush(out);
    return 0;
}

} // namespace corvane
