// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/convert.h"

#include "cli/outcome.h"
#include "core/local_text.h"
#include "image/image_file.h"

namespace corvane::cli {

int convertFiles(const CommandLine& options, std::FILE* err) {
    TBuffer image(chipVariant(options.controllerIndex).flashSize, kErased);
    FileResult r = loadImageFile(options.arguments.at(0), image, {options.truncate, options.firstFormat});
    if (r.ok())
        r = saveImageFile(options.arguments.at(1), image, {options.secondFormat});
    if (r.ok()) {
        if (!options.quiet && r.name != options.arguments.at(1)) {
            const QByteArray note =
                (QStringLiteral("saved as ") + escapeControlChars(r.name) + QLatin1Char('\n')).toUtf8();
            std::fwrite(note.constData(), 1, std::size_t(note.size()), err);
        }
        return ExitOk;
    }
    const QByteArray text = (QStringLiteral("corvane-cli: ") + r.message + QLatin1Char('\n')).toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), err);
    return r.problem == FileResult::Problem::Access ? ExitFileAccess : ExitFileContent;
}

} // namespace corvane::cli
