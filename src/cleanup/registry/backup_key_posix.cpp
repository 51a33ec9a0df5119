#include "cleanup/registry/backup_seal.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cleanup::registry {

namespace {

constexpr qsizetype keyBytes = 32;

std::optional<QByteArray> readKey(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    QByteArray key(keyBytes + 1, '\0');
    ssize_t got = -1;
    // Anyone else able to read the key could forge backups; anyone able to write it, too.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
        got = ::read(fd, key.data(), size_t(key.size()));
    ::close(fd);
    if (got != keyBytes)
        return std::nullopt;
    key.resize(keyBytes);
    return key;
}

} // namespace

QString backupKeyPath(const QString &folder)
{
    return folder + QStringLiteral("/.key");
}

std::optional<QByteArray> backupKey(const QString &folder, bool create)
{
    const QByteArray path = QFile::encodeName(backupKeyPath(folder));
    if (std::optional<QByteArray> key = readKey(path))
        return key;
    if (!create)
        return std::nullopt;
    QByteArray key(keyBytes, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(key.data()),
                                         reinterpret_cast<quint32 *>(key.data() + keyBytes));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Another run made it meanwhile.
        return errno == EEXIST ? readKey(path) : std::nullopt;
    }
    const bool written = ::write(fd, key.constData(), size_t(keyBytes)) == keyBytes && ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(path.constData());
        return std::nullopt;
    }
    return key;
}

} // namespace cleanup::registry
