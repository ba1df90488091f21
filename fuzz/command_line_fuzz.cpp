// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's command line: the input is split into arguments at NUL bytes,
// decoded as the tool decodes them (each must encode back to its bytes).
// Parsing either refuses with a text to show or gives values inside their
// ranges.

#include "cli/options.h"
#include "core/local_text.h"
#include "fuzz_support.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace corvane;
    QStringList arguments{QStringLiteral("corvane-cli")};
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& a : bytes.split('\0')) {
        arguments << decodeFileName(a);
        fuzz::require(encodeFileName(arguments.back()) == a, "an argument keeps its bytes");
    }

    cli::CommandLine options;
    QString error;
    switch (cli::parseCommandLine(arguments, options, error)) {
    case cli::ParseResult::Error:
        fuzz::require(!error.isEmpty(), "a refused command line says why");
        break;
    case cli::ParseResult::Run:
        fuzz::require(!options.devices.empty() || !options.devicePaths.isEmpty(), "at least one device");
        for (const QString& path : options.devicePaths)
            fuzz::require(cli::parseBusPortPath(path) == path, "a path in its plain form");
        for (int d : options.devices)
            fuzz::require(d >= 0 && d <= 7, "device numbers 0 to 7");
        fuzz::require(std::is_sorted(options.devices.begin(), options.devices.end()), "devices in order");
        fuzz::require(options.controllerIndex == 0 || options.controllerIndex == 1, "a known controller");
        fuzz::require(!options.command.isEmpty(), "a command to run");
        if (options.command == QLatin1String("convert"))
            fuzz::require(options.arguments.size() == 2, "convert takes IN and OUT");
        break;
    case cli::ParseResult::Help:
    case cli::ParseResult::Version:
        break;
    }
    return 0;
}
