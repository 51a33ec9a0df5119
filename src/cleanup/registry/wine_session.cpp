#include "cleanup/registry/wine_session.h"

#include "cleanup/registry/wine_helper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cleanup::registry {

namespace {

// Reads a small file of the prefix's without following a link; nothing for anything else.
std::optional<QByteArray> readSmallFile(const QString &path, qsizetype limit)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info;
    QByteArray bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit) {
        bytes.resize(limit);
        const ssize_t got = ::read(fd, bytes.data(), size_t(limit));
        bytes.resize(got > 0 ? qsizetype(got) : 0);
        ::close(fd);
        return bytes;
    }
    ::close(fd);
    return std::nullopt;
}

// Where the server folders of the prefix's Wine are: Debian's Wine names a folder of its own
// in the prefix's "wineserver" file; upstream Wine uses /tmp/.wine-<uid>.
QStringList serverRoots(const QString &prefix)
{
    QStringList roots;
    if (const std::optional<QByteArray> named = readSmallFile(prefix + QStringLiteral("/wineserver"), 255)) {
        const QByteArray name = named->trimmed();
        if (!name.isEmpty() && !name.contains('/') && name != "." && name != "..")
            roots.append(QStringLiteral("/tmp/") + QFile::decodeName(name));
    }
    roots.append(QStringLiteral("/tmp/.wine-%1").arg(::getuid()));
    return roots;
}

std::optional<qint64> lockHolder(const QString &lockPath)
{
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool asked = ::fcntl(fd, F_GETLK, &lock) == 0;
    ::close(fd);
    if (!asked || lock.l_type == F_UNLCK)
        return std::nullopt;
    return qint64(lock.l_pid);
}

// The folder of the Wine data files (wine.inf), as the loader's build finds it.
QString wineDataFolder(const QString &loader)
{
    QStringList candidates;
    const QString canonical = QFileInfo(loader).canonicalFilePath();
    if (!canonical.isEmpty()) {
        const QString dir = QFileInfo(canonical).absolutePath();
        candidates << dir + QStringLiteral("/../share/wine") << dir + QStringLiteral("/../../share/wine");
    }
    candidates << QStringLiteral("/usr/share/wine") << QStringLiteral("/usr/local/share/wine");
    for (const QString &candidate : std::as_const(candidates)) {
        if (QFileInfo(candidate + QStringLiteral("/wine.inf")).isFile())
            return QDir::cleanPath(candidate);
    }
    return {};
}

// Whether a process of ours runs a program of the Wine at `loader` in `prefix`: its program
// lies in the loader's folder and its environment names the prefix.
bool wineProcessLeft(const QString &prefix, const QString &loader)
{
    const QString folder = QFileInfo(QFileInfo(loader).canonicalFilePath()).absolutePath();
    if (loader.isEmpty() || folder.isEmpty())
        return false;
    const QByteArray wanted = "WINEPREFIX=" + QFile::encodeName(prefix);
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool number = false;
        if (pid.toLongLong(&number) == ::getpid() || !number)
            continue;
        const QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (program.isEmpty() || QFileInfo(program).absolutePath() != folder)
            continue;
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        if (environment.open(QIODevice::ReadOnly) && environment.read(1 << 20).split('\0').contains(wanted))
            return true;
    }
    return false;
}

QString wineServerBeside(const QString &loader)
{
    const QString canonical = QFileInfo(loader).canonicalFilePath();
    const QString beside = QFileInfo(canonical).absolutePath() + QStringLiteral("/wineserver");
    const QFileInfo info(beside);
    if (!canonical.isEmpty() && info.isFile() && info.isExecutable())
        return beside;
    return QStringLiteral("wineserver");
}

} // namespace

std::optional<qint64> wineServerProcess(const QString &prefix)
{
    struct stat info;
    if (prefix.isEmpty() || ::stat(QFile::encodeName(prefix).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    const QString folder = QStringLiteral("/server-%1-%2")
                               .arg(qulonglong(info.st_dev), 0, 16)
                               .arg(qulonglong(info.st_ino), 0, 16);
    const QStringList roots = serverRoots(prefix);
    for (const QString &root : roots) {
        if (const std::optional<qint64> pid = lockHolder(root + folder + QStringLiteral("/lock")))
            return pid;
    }
    return std::nullopt;
}

bool endWineServer(const QString &prefix, const QString &loader)
{
    if (loader.isEmpty())
        return false;
    QProcess server;
    server.setProgram(wineServerBeside(loader));
    server.setArguments({QStringLiteral("-k")});
    server.setProcessEnvironment(wineEnvironment(prefix, loader));
    server.setStandardInputFile(QProcess::nullDevice());
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    return server.startDetached();
}

bool waitForWineServerEnd(const QString &prefix, const QString &loader, int ms)
{
    // The server writes the hives as it ends: that may take a moment on a busy disk.
    constexpr int stepMs = 50;
    for (int waited = 0; wineServerProcess(prefix) || wineProcessLeft(prefix, loader); waited += stepMs) {
        if (waited >= ms)
            return false;
        QThread::msleep(stepMs);
    }
    return true;
}

std::optional<QString> otherWineBuild(const QString &prefix, const QString &loader)
{
    // Without Wine nothing can be started, and the run fails for that reason.
    const QFileInfo wine(loader);
    if (loader.isEmpty() || !wine.isFile() || !wine.isExecutable())
        return std::nullopt;
    const std::optional<QByteArray> stamp = readSmallFile(prefix + QStringLiteral("/.update-timestamp"), 64);
    // "disable" is the user's word that no Wine is to update the prefix.
    if (stamp && stamp->startsWith("disable"))
        return std::nullopt;
    const QString data = wineDataFolder(loader);
    struct stat inf;
    if (data.isEmpty() || ::stat(QFile::encodeName(data + QStringLiteral("/wine.inf")).constData(), &inf) != 0)
        return QStringLiteral("无法确认该前缀与系统的 Wine 是否同一版本，未改动");
    if (!stamp)
        return QStringLiteral("该前缀没有 Wine 的更新时间戳，系统的 Wine 会改写它，未改动");
    bool ok = false;
    const qulonglong written = stamp->trimmed().toULongLong(&ok);
    if (!ok || written != qulonglong(inf.st_mtime))
        return QStringLiteral("该前缀由其他版本的 Wine 建立或更新过，系统的 Wine 会改写它，未改动");
    return std::nullopt;
}

} // namespace cleanup::registry
