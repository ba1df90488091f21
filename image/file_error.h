// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Error types of the file module. EDateiError carries a file content problem
// (missing file, unknown extension, bad Intel HEX line); EFileIoError carries
// a failed open, read, write or close with its number and German text.

#include <QString>
#include <stdexcept>

namespace corvane {

// Base for both, so that what() gives the UTF-8 message to whoever catches a
// std::exception (the general error box).
class EFileError : public std::runtime_error {
public:
    explicit EFileError(const QString& message)
        : std::runtime_error(message.toStdString()), Message(message) {}
    const QString& message() const { return Message; }

private:
    QString Message;
};

class EDateiError : public EFileError {
public:
    using EFileError::EFileError;
};

// Numbers of the I/O error table. Everything else is shown with its own
// number and the generic text.
namespace IoErrorNumber {
constexpr int FileNotFound = 2;
constexpr int BadFileName = 3;
constexpr int TooManyOpenFiles = 4;
constexpr int AccessDenied = 5;
constexpr int ReadPastEnd = 100;
constexpr int DiskFull = 101;
constexpr int BadNumericInput = 106;
} // namespace IoErrorNumber

// German text of an I/O error number.
QString ioErrorText(int number);

// Number of the table for an operating system error code (errno): missing file
// 2, bad name 3, too many open files 4, refused access 5, no space 101;
// any other code keeps its own number.
int ioErrorNumberForErrno(int osError);

class EFileIoError : public EFileError {
public:
    // An error of the table (or any number shown with the generic text).
    explicit EFileIoError(int number);
    // An error from a failed system call, mapped onto the table. A code without
    // a table meaning keeps its own number and always gets the generic text,
    // even where that number happens to be in the table.
    static EFileIoError fromErrno(int osError);

    int number() const { return Number; }
    const QString& text() const { return Text; }

private:
    EFileIoError(int number, const QString& text);
    int Number;
    QString Text;
};

} // namespace corvane
