// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/serial_store.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <functional>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::cli {

namespace {

const std::string kLogHeader = "time,device,serial,result\n";

QString systemError(const QString& what, const QString& fileName) {
    return QStringLiteral("%1 %2: %3").arg(what, fileName, QString::fromLocal8Bit(std::strerror(errno)));
}

// An open file descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

// Opens the file (creating it) and locks it exclusively. The lock must be on
// the file that the name names when it is granted: a program that replaced
// the file meanwhile leaves the lock on the old one, so that one is let go
// and the new one opened.
bool openLocked(const std::string& path, int flags, Fd& fd, QString& error, const QString& fileName) {
    for (;;) {
        fd.reset(::open(path.c_str(), flags | O_CREAT | O_CLOEXEC, 0644));
        if (fd.get() < 0) {
            error = systemError(QStringLiteral("Cannot open"), fileName);
            return false;
        }
        int r;
        do {
            r = ::flock(fd.get(), LOCK_EX);
        } while (r != 0 && errno == EINTR);
        if (r != 0) {
            error = systemError(QStringLiteral("Cannot lock"), fileName);
            return false;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd.get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_ino == named.st_ino && held.st_dev == named.st_dev)
            return true;
    }
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

std::optional<std::string> readAll(int fd) {
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(buffer, std::size_t(n));
        if (text.size() > 4096)
            return std::nullopt;
    }
}

} // namespace

std::optional<std::uint64_t> takeSerials(const QString& fileName, std::uint64_t first, std::uint64_t count,
                                         QString& error, const std::function<QString(std::uint64_t)>& usable,
                                         SerialProblem* problem) {
    SerialProblem ignored = SerialProblem::None;
    SerialProblem& kind = problem ? *problem : ignored;
    kind = SerialProblem::Access;
    const std::string path = QFile::encodeName(fileName).toStdString();
    Fd fd;
    if (!openLocked(path, O_RDWR, fd, error, fileName))
        return std::nullopt;
    const auto text = readAll(fd.get());
    if (!text) {
        error = QStringLiteral("Cannot read %1, or it is not a counter file.").arg(fileName);
        return std::nullopt;
    }
    const QString number = QString::fromStdString(*text).trimmed();
    std::uint64_t next = first;
    if (!number.isEmpty()) {
        bool ok = false;
        next = number.toULongLong(&ok, 10);
        if (!ok || !std::all_of(number.begin(), number.end(), [](QChar c) { return c.isDigit(); })) {
            error = QStringLiteral("%1 holds no serial number (a decimal number is expected).").arg(fileName);
            kind = SerialProblem::Content;
            return std::nullopt;
        }
    }
    if (count == 0 || next > UINT64_MAX - count) {
        error = QStringLiteral("%1: the serial numbers are used up.").arg(fileName);
        kind = SerialProblem::Unusable;
        return std::nullopt;
    }

    if (usable) {
        error = usable(next);
        if (!error.isEmpty()) {
            kind = SerialProblem::Unusable;
            return std::nullopt;
        }
    }

    // The new number goes into a file beside it that then takes its name.
    const std::string temporary = path + ".new-" + std::to_string(::getpid());
    Fd out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    const std::string content = std::to_string(next + count) + "\n";
    const bool written = out.get() >= 0 && writeAll(out.get(), content) && ::fsync(out.get()) == 0;
    out.reset();
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = systemError(QStringLiteral("Cannot store the next serial number in"), fileName);
        ::unlink(temporary.c_str());
        return std::nullopt;
    }
    kind = SerialProblem::None;
    return next;
}

bool openSerialLog(const QString& fileName, QString& error) {
    const std::string path = QFile::encodeName(fileName).toStdString();
    Fd fd;
    if (!openLocked(path, O_WRONLY | O_APPEND, fd, error, fileName))
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && st.st_size == 0 && !writeAll(fd.get(), kLogHeader)) {
        error = systemError(QStringLiteral("Cannot write"), fileName);
        return false;
    }
    return true;
}

bool appendSerialLog(const QString& fileName, int device, std::uint64_t serial, const QString& result,
                     QString& error) {
    const std::string path = QFile::encodeName(fileName).toStdString();
    Fd fd;
    if (!openLocked(path, O_WRONLY | O_APPEND, fd, error, fileName))
        return false;
    struct stat st {};
    std::string row;
    if (::fstat(fd.get(), &st) == 0 && st.st_size == 0)
        row = kLogHeader;
    QString cell = result;
    if (cell.contains(QLatin1Char(',')) || cell.contains(QLatin1Char('"')) ||
        cell.contains(QLatin1Char('\n')))
        cell = QLatin1Char('"') + cell.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    row += QStringLiteral("%1,%2,%3,%4\n")
               .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs))
               .arg(device)
               .arg(serial)
               .arg(cell)
               .toStdString();
    if (!writeAll(fd.get(), row)) {
        error = systemError(QStringLiteral("Cannot write"), fileName);
        return false;
    }
    return true;
}

} // namespace corvane::cli
