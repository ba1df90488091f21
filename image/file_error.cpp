// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/file_error.h"

#include <cerrno>

namespace corvane {

QString ioErrorText(int number) {
    switch (number) {
    case IoErrorNumber::FileNotFound:
        return QStringLiteral("Datei nicht gefunden");
    case IoErrorNumber::BadFileName:
        return QStringLiteral("Ungültiger Dateiname");
    case IoErrorNumber::TooManyOpenFiles:
        return QStringLiteral("Zu viele geöffnete Dateien");
    case IoErrorNumber::AccessDenied:
        return QStringLiteral("Dateizugriff verweigert");
    case IoErrorNumber::ReadPastEnd:
        return QStringLiteral("Versuch hinter dem Dateiende zu lesen");
    case IoErrorNumber::DiskFull:
        return QStringLiteral("Zu wenig Speicherplatz");
    case IoErrorNumber::BadNumericInput:
        return QStringLiteral("Ungültige numerische Eingabe");
    default:
        return QStringLiteral("E/A-Fehler %1").arg(number);
    }
}

namespace {

// Table number for an operating system code, 0 where the table has no meaning for it.
int tableNumberForErrno(int osError) {
    switch (osError) {
    case ENOENT:
        return IoErrorNumber::FileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case ENOTDIR:
        return IoErrorNumber::BadFileName;
    case EMFILE:
    case ENFILE:
        return IoErrorNumber::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return IoErrorNumber::AccessDenied;
    case ENOSPC:
    case EDQUOT:
        return IoErrorNumber::DiskFull;
    default:
        return 0;
    }
}

} // namespace

int ioErrorNumberForErrno(int osError) {
    const int number = tableNumberForErrno(osError);
    return number != 0 ? number : osError;
}

EFileIoError::EFileIoError(int number) : EFileIoError(number, ioErrorText(number)) {}

EFileIoError::EFileIoError(int number, const QString& text)
    : EFileError(QStringLiteral("Error #%1\r%2").arg(number).arg(text)), Number(number), Text(text) {}

EFileIoError EFileIoError::fromErrno(int osError) {
    const int number = tableNumberForErrno(osError);
    if (number == 0)
        return EFileIoError(osError, QStringLiteral("E/A-Fehler %1").arg(osError));
    return EFileIoError(number);
}

} // namespace corvane
