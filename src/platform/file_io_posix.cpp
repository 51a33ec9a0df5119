#include "platform/file_io.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::detail {

namespace {

int openRetrying(const char *path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Follows a chain of symbolic links to the file that really gets written; a dangling
// link yields the path it points at, which is then created.
bool resolveLinks(QByteArray *path, int *systemError)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path->constData(), &st) != 0) {
            if (errno == ENOENT)
                return true;
            *systemError = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode))
            return true;
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : PATH_MAX), Qt::Uninitialized);
        const ssize_t length = ::readlink(path->constData(), target.data(), size_t(target.size()));
        if (length < 0) {
            *systemError = errno;
            return false;
        }
        target.truncate(length);
        if (target.isEmpty()) {
            *systemError = ENOENT;
            return false;
        }
        *path = target.startsWith('/') ? target : folderOf(*path) + '/' + target;
    }
    *systemError = ELOOP;
    return false;
}

bool writeAll(int fd, QByteArrayView data, int *systemError)
{
    const char *next = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, size_t(std::min<qsizetype>(left, SSIZE_MAX)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            *systemError = errno;
            return false;
        }
        next += written;
        left -= written;
    }
    return true;
}

// The temporary file sits beside the target, so the final rename stays on one file
// system and is atomic. Hidden, and named after the target so a leftover is recognisable.
int createTemporary(const QByteArray &target, bool targetExists, QByteArray *tempPath,
                    int *systemError)
{
    // Until it carries the target's own permissions, nobody else may read it.
    const mode_t mode = targetExists ? 0600 : 0666;
    const QByteArray folder = folderOf(target);
    const QByteArray name = nameOf(target).left(NAME_MAX - 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray suffix = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        *tempPath = folder + "/." + name + '.' + suffix + ".tmp";
        const int fd = openRetrying(tempPath->constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            *systemError = errno;
            return -1;
        }
    }
    *systemError = EEXIST;
    return -1;
}

void syncFolder(const QByteArray &folder)
{
    // Makes the rename itself durable; a file system that can't do this still renamed.
    const int fd = openRetrying(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReadOnlyFile::open(const QString &path, int *systemError)
{
    close();
    // Non-blocking, so a named pipe in place of the file can't stall the open.
    const int fd = openRetrying(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *systemError = errno;
        return false;
    }
    // Only a regular file holds lines: a pipe or a device (/dev/zero) would never end.
    struct stat st;
    const int error = ::fstat(fd, &st) != 0 ? errno
                      : S_ISDIR(st.st_mode)  ? EISDIR
                      : !S_ISREG(st.st_mode) ? EINVAL
                                             : 0;
    if (error != 0) {
        *systemError = error;
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

qint64 ReadOnlyFile::read(char *data, qint64 maxSize, int *systemError)
{
    if (!isOpen()) {
        *systemError = EBADF;
        return -1;
    }
    for (;;) {
        const size_t wanted = size_t(std::min<qint64>(maxSize, SSIZE_MAX));
        const ssize_t got = ::read(int(m_handle), data, wanted);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            *systemError = errno;
            return -1;
        }
    }
}

void ReadOnlyFile::close()
{
    if (isOpen()) {
        ::close(int(m_handle));
        m_handle = invalidHandle;
    }
}

bool replaceFile(const QString &path, QByteArrayView data, int *systemError)
{
    QByteArray target = QFile::encodeName(path);
    if (target.isEmpty()) {
        *systemError = ENOENT;
        return false;
    }
    if (!resolveLinks(&target, systemError))
        return false;

    struct stat old;
    bool exists = ::stat(target.constData(), &old) == 0;
    if (!exists && errno != ENOENT) {
        *systemError = errno;
        return false;
    }
    if (exists && S_ISDIR(old.st_mode)) {
        *systemError = EISDIR;
        return false;
    }
    // Only a regular file is replaced; anything else (a device, a pipe) is written as if new.
    exists = exists && S_ISREG(old.st_mode);
    // The rename needs only the folder's permission, but a file we may not write (read-only,
    // or another user's) must stay as it is, as it would if it were written in place.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0) {
        *systemError = errno;
        return false;
    }

    QByteArray tempPath;
    int fd = createTemporary(target, exists, &tempPath, systemError);
    if (fd < 0)
        return false;

    const auto fail = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tempPath.constData());
        *systemError = error;
        return false;
    };

    if (exists) {
        // Owner first: a change of owner clears set-id bits, which the mode then restores.
        // Only root may give a file away; anyone else keeps the file as theirs.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return fail(errno);
    }
    int error = 0;
    if (!writeAll(fd, data, &error))
        return fail(error);
    // EINVAL: the file system has no way to sync; nothing more can be done there.
    if (::fsync(fd) != 0 && errno != EINVAL)
        return fail(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR)
        return fail(errno);
    if (::rename(tempPath.constData(), target.constData()) != 0)
        return fail(errno);
    syncFolder(folderOf(target));
    return true;
}

} // namespace platform::detail
