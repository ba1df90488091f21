// SPDX-License-Identifier: GPL-3.0-or-later
#include "image/disk_file.h"

#include "image/file_error.h"

#include "core/local_text.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr qsizetype kWriteChunk = 64 * 1024;

[[noreturn]] void raiseErrno(int osError) {
    throw EFileIoError::fromErrno(osError);
}

// Where a symbolic link leads: the file it finally names, or for a link to
// nothing the path it holds (from the link's folder when relative). Empty
// when that cannot be told.
QByteArray symLinkTarget(const QByteArray& link) {
    if (char* real = ::realpath(link.constData(), nullptr)) {
        QByteArray target(real);
        std::free(real); // realpath allocates with malloc
        return target;
    }
    std::array<char, PATH_MAX> buffer{};
    const ssize_t n = ::readlink(link.constData(), buffer.data(), buffer.size());
    if (n <= 0 || std::size_t(n) >= buffer.size())
        return {};
    QByteArray target(buffer.data(), qsizetype(n));
    if (!target.startsWith('/'))
        target.prepend(link.left(link.lastIndexOf('/') + 1));
    return target;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

void TDiskFile::resetState() noexcept {
    Fd = -1;
    Writing = false;
    Target.clear();
    TempName.clear();
    Pending.clear();
    KeepOwner = false;
    ReplacesExisting = false;
}

void TDiskFile::openRead(const QString& fileName) {
    discard();
    const QByteArray name = encodeFileName(fileName);
    if (name.isEmpty())
        raiseErrno(ENOENT);
    // Non-blocking open so that a FIFO put in place of the file cannot hang us.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        raiseErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        raiseErrno(e);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        raiseErrno(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    Fd = fd;
    Writing = false;
}

std::int64_t TDiskFile::size() const {
    struct stat st {};
    if (Fd < 0 || ::fstat(Fd, &st) != 0)
        raiseErrno(Fd < 0 ? EBADF : errno);
    return st.st_size;
}

qsizetype TDiskFile::read(char* data, qsizetype size) {
    qsizetype total = 0;
    while (total < size) {
        const ssize_t got = ::read(Fd, data + total, std::size_t(size - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            raiseErrno(errno);
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

void TDiskFile::openReplace(const QString& fileName) {
    discard();
    QByteArray target = encodeFileName(fileName);
    if (target.isEmpty())
        raiseErrno(ENOENT);

    // Write through a symbolic link to the file it names.
    struct stat linkStat {};
    if (::lstat(target.constData(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        const QByteArray resolved = symLinkTarget(target);
        if (!resolved.isEmpty())
            target = resolved;
    }

    struct stat st {};
    const bool exists = ::stat(target.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        raiseErrno(errno);
    if (exists && S_ISDIR(st.st_mode))
        raiseErrno(EISDIR);

    if (exists && !S_ISREG(st.st_mode)) {
        // A device or pipe cannot be swapped; write it in place.
        const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            raiseErrno(errno);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        Fd = fd;
        Writing = true;
        Target = target;
        return;
    }

    if (exists && ::access(target.constData(), W_OK) != 0)
        raiseErrno(errno);

    // The temporary file lies in the target's folder so that the swap is a rename.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray baseName = target.mid(slash + 1);
    QByteArray temp = target.left(slash + 1) + '.' +
                      (baseName.size() > 200 ? QByteArrayLiteral("corvane") : baseName) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    // A file cannot be made in a folder that does not exist: the name is
    // invalid, not a file that was not found.
    if (fd < 0)
        raiseErrno(errno == ENOENT ? ENOTDIR : errno);
    Fd = fd;
    Writing = true;
    Target = target;
    TempName = temp;
    ReplacesExisting = exists;
    if (exists) {
        ModeToKeep = st.st_mode & 07777;
        KeepOwner = true;
        OwnerUid = st.st_uid;
        OwnerGid = st.st_gid;
    } else {
        ModeToKeep = 0666 & ~currentUmask();
    }
}

void TDiskFile::adoptStream(int fd, bool writing) {
    discard();
    Fd = fd;
    Writing = writing;
}

void TDiskFile::flush() {
    qsizetype done = 0;
    while (done < Pending.size()) {
        const ssize_t n = ::write(Fd, Pending.constData() + done, std::size_t(Pending.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            raiseErrno(errno);
        }
        if (n == 0)
            throw EFileIoError(IoErrorNumber::DiskFull);
        done += n;
    }
    Pending.clear();
}

void TDiskFile::write(const char* data, qsizetype size) {
    if (Fd < 0 || !Writing)
        raiseErrno(EBADF);
    Pending.append(data, size);
    if (Pending.size() >= kWriteChunk)
        flush();
}

void TDiskFile::close() {
    if (Fd < 0)
        return;
    if (!Writing) {
        const int rc = ::close(Fd);
        const int e = errno;
        resetState();
        if (rc != 0 && e != EINTR)
            raiseErrno(e);
        return;
    }
    try {
        flush();
        if (!TempName.isEmpty()) {
            // An existing file is only swapped for data that is on the disk, so
            // that a crash right after the rename cannot leave it empty. A new
            // file has nothing to lose and is not waited for.
            if (ReplacesExisting && ::fsync(Fd) != 0)
                raiseErrno(errno);
            if (::fchmod(Fd, ModeToKeep) != 0)
                raiseErrno(errno);
            if (KeepOwner && ::fchown(Fd, OwnerUid, OwnerGid) != 0) {
                // Only a privileged user can give the file back to its owner; others keep theirs.
            }
        }
        const int rc = ::close(Fd);
        Fd = -1;
        if (rc != 0 && errno != EINTR)
            raiseErrno(errno);
        if (!TempName.isEmpty() && ::rename(TempName.constData(), Target.constData()) != 0)
            raiseErrno(errno);
    } catch (...) {
        discard();
        throw;
    }
    resetState();
}

void TDiskFile::discard() noexcept {
    if (Fd >= 0)
        ::close(Fd);
    if (Writing && !TempName.isEmpty())
        ::unlink(TempName.constData());
    resetState();
}

} // namespace corvane
