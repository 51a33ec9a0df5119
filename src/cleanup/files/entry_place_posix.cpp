#include "cleanup/files/entry_place.h"

#include "platform/unique_dir.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cleanup::files {

namespace {

// As many links as the kernel itself follows in one path.
constexpr int maxLinks = 40;

QString shown(const QByteArray &path)
{
    return QString::fromUtf8(path);
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

bool isLink(int folder, const QByteArray &name)
{
    struct stat st;
    return ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

QString linkRefusal(const QByteArray &path)
{
    return QStringLiteral("“%1”是符号链接，不跟随，未查找").arg(shown(path));
}

ReachedFolder failed(int error)
{
    ReachedFolder out;
    out.error = error;
    return out;
}

ReachedFolder refused(const QString &why)
{
    ReachedFolder out;
    out.refusal = why;
    return out;
}

// The reached folder opened for listing: each step above was only a path.
ReachedFolder readable(platform::UniqueFd step, QByteArray path)
{
    ReachedFolder out;
    out.path = std::move(path);
    out.fd.reset(::openat(step.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!out.fd.valid())
        out.error = errno;
    return out;
}

// A folder (a prefix, an anchor) reached from "/" one component at a time, every link on the
// way read by hand so its owner can be checked: another user's link may lead into that user's
// files. Gives the folder (a path descriptor) and its real path; `what` names it in a refusal.
ReachedFolder openThroughTrustedLinks(const QByteArray &folder, const QString &what)
{
    QByteArray absolute = folder;
    if (!absolute.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd))
            return failed(errno);
        absolute = joined(QByteArray(cwd), absolute);
    }
    std::deque<QByteArray> todo;
    for (const QByteArray &part : absolute.split('/'))
        todo.push_back(part);

    platform::UniqueFd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    QByteArray real;
    int links = 0;
    while (!todo.empty()) {
        const QByteArray name = todo.front();
        todo.pop_front();
        if (name.isEmpty() || name == ".")
            continue;
        if (name == "..") {
            current.reset(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
            real.truncate(std::max<qsizetype>(real.lastIndexOf('/'), 0));
            if (!current.valid())
                return failed(errno);
            continue;
        }
        struct stat st;
        if (::fstatat(current.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return failed(errno);
        if (S_ISLNK(st.st_mode)) {
            if (!trustedLinkOwner(st.st_uid))
                return refused(QStringLiteral("%1经由别的用户的符号链接“%2”到达，跳过").arg(what, shown(joined(real, name))));
            if (++links > maxLinks)
                return failed(ELOOP);
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(current.get(), name.constData(), target, sizeof target);
            if (length <= 0 || length == ssize_t(sizeof target))
                return failed(length < 0 ? errno : ENOENT);
            const QByteArray to(target, length);
            const QByteArrayList parts = to.split('/');
            for (auto it = parts.crbegin(); it != parts.crend(); ++it)
                todo.push_front(*it);
            if (to.startsWith('/')) {
                current.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                real.clear();
            }
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            return failed(ENOTDIR);
        current.reset(::openat(current.get(), name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!current.valid())
            return failed(errno);
        real = joined(real, name);
    }
    ReachedFolder out;
    out.fd = std::move(current);
    out.path = real.isEmpty() ? QByteArray("/") : real;
    return out;
}

} // namespace

QByteArray realPath(const QByteArray &path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr), &std::free);
    return real ? QByteArray(real.get()) : path;
}

bool trustedLinkOwner(unsigned owner)
{
    return owner == 0 || owner == unsigned(::geteuid());
}

std::optional<QByteArray> findName(int folder, const QByteArray &name, NameMatch match)
{
    struct stat st;
    if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return name;
    if (match == NameMatch::Exact || errno != ENOENT)
        return std::nullopt;
    const platform::UniqueFd listable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const platform::UniqueDir dir = listable.valid() ? platform::UniqueDir::listing(listable.get()) : platform::UniqueDir();
    if (!dir)
        return std::nullopt;
    const QString wanted = QString::fromUtf8(name);
    std::optional<QString> best;
    std::optional<QByteArray> bestBytes;
    while (const dirent *entry = ::readdir(dir.get())) {
        const QByteArray candidate(entry->d_name);
        if (candidate == "." || candidate == "..")
            continue;
        const QString text = QString::fromUtf8(candidate);
        if (text.compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        if (!best || text < *best) {
            best = text;
            bestBytes = candidate;
        }
    }
    return bestBytes;
}

ReachedFolder walkBelow(platform::UniqueFd from, QByteArray fromPath, const QByteArrayList &parts, NameMatch match)
{
    platform::UniqueFd current = std::move(from);
    QByteArray path = std::move(fromPath);
    for (const QByteArray &part : parts) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            return refused(QStringLiteral("路径含有“..”，未查找"));
        const std::optional<QByteArray> name = findName(current.get(), part, match);
        if (!name)
            return failed(ENOENT);
        platform::UniqueFd next(::openat(current.get(), name->constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        // O_PATH with O_NOFOLLOW opens a link itself; only a folder is a step.
        struct stat st;
        if (next.valid() && ::fstat(next.get(), &st) == 0 && S_ISLNK(st.st_mode))
            return refused(linkRefusal(joined(path, *name)));
        if (!next.valid()) {
            const int error = errno;
            if (isLink(current.get(), *name))
                return refused(linkRefusal(joined(path, *name)));
            return failed(error);
        }
        current = std::move(next);
        path = joined(path, *name);
    }
    return readable(std::move(current), std::move(path));
}

ReachedFolder reachBelowAnchor(const QByteArray &anchor, const QByteArrayList &parts)
{
    // The anchor is the one place a link is followed: ~/.cache may well live on another disk.
    // The working folder is where we already are: no link leads to it any more.
    ReachedFolder start;
    if (anchor == ".") {
        start.fd.reset(::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC));
        start.path = realPath(anchor);
        if (!start.fd.valid())
            return failed(errno);
    } else {
        start = openThroughTrustedLinks(anchor, QStringLiteral("“%1”").arg(shown(anchor)));
        if (!start.fd.valid())
            return start;
    }
    struct stat st;
    struct stat root;
    if (::fstat(start.fd.get(), &st) != 0)
        return failed(errno);
    if (::stat("/", &root) == 0 && st.st_dev == root.st_dev && st.st_ino == root.st_ino)
        return refused(QStringLiteral("“%1”就是根文件夹 /，不是可清理的位置，未查找").arg(shown(anchor)));
    return walkBelow(std::move(start.fd), std::move(start.path), parts, NameMatch::Exact);
}

ReachedFolder reachInPrefix(const QString &prefix, QChar drive, const QByteArrayList &parts)
{
    if (prefix.isEmpty())
        return failed(ENOENT);
    ReachedFolder prefixFolder = openThroughTrustedLinks(QFile::encodeName(prefix), QStringLiteral("Wine 前缀"));
    if (!prefixFolder.fd.valid())
        return prefixFolder;

    const int folder = prefixFolder.fd.get();
    platform::UniqueFd driveC(::openat(folder, "drive_c", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (driveC.valid() && ::fstat(driveC.get(), &st) == 0 && S_ISLNK(st.st_mode))
        driveC.reset();
    if (!driveC.valid()) {
        const int error = driveC.valid() ? ELOOP : errno;
        if (isLink(folder, "drive_c"))
            return refused(QStringLiteral("Wine 前缀的 drive_c 是符号链接，不跟随，未查找"));
        return failed(error);
    }

    // Drive C is drive_c; another letter only where the prefix maps it there too. Z: (the
    // whole file system) and the rest are never entered.
    if (drive.toLower() != u'c') {
        struct stat mapped;
        const QByteArray link = "dosdevices/" + QByteArray(1, char(drive.toLower().toLatin1())) + ':';
        if (::fstat(driveC.get(), &st) != 0 || ::fstatat(folder, link.constData(), &mapped, 0) != 0
            || mapped.st_dev != st.st_dev || mapped.st_ino != st.st_ino)
            return refused(QStringLiteral("%1: 盘不是 Wine 前缀自己的 C: 盘（drive_c），未查找").arg(drive.toUpper()));
    }
    return walkBelow(std::move(driveC), joined(prefixFolder.path, "drive_c"), parts, NameMatch::WithoutCase);
}

} // namespace cleanup::files
