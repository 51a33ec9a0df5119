#include "platform/file_io.h"
#include "platform/files.h"

#include "platform/save_journal.h"
#include "platform/unique_fd.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

bool writeAllAt(int fd, QByteArrayView data, off_t offset, int *systemError)
{
    if (const int error = pwriteAll(fd, data.data(), size_t(data.size()), offset)) {
        *systemError = error;
        return false;
    }
    return true;
}

// EINVAL: the file system has no way to sync; nothing more can be done there.
bool syncFile(int fd, int *systemError)
{
    if (::fsync(fd) == 0 || errno == EINVAL)
        return true;
    *systemError = errno;
    return false;
}

void syncFolder(const QByteArray &folder)
{
    // Makes a rename or a new name durable; a file system that can't do this still has it.
    const UniqueFd fd(openRetrying(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

// The extended attributes of a file (ACLs, security labels, user attributes) as sorted
// name and value pairs; empty where the file system has none.
template <typename List, typename Get>
std::optional<std::vector<std::pair<QByteArray, QByteArray>>> attributesOf(List list, Get get)
{
    std::vector<std::pair<QByteArray, QByteArray>> attributes;
    const ssize_t size = list(nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP ? std::make_optional(attributes) : std::nullopt;
    QByteArray names(qsizetype(size), Qt::Uninitialized);
    const ssize_t got = list(names.data(), size_t(names.size()));
    if (got < 0)
        return std::nullopt;
    names.truncate(got);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = get(name.constData(), nullptr, 0);
        QByteArray value(qsizetype(std::max<ssize_t>(length, 0)), Qt::Uninitialized);
        if (length < 0 || get(name.constData(), value.data(), size_t(value.size())) != length)
            return std::nullopt;
        attributes.emplace_back(name, value);
    }
    std::sort(attributes.begin(), attributes.end());
    return attributes;
}

// Gives the new file everything that makes the old one what it is, short of its content and
// inode: owner, group, permissions and extended attributes. False when that can't be done:
// only root may give a file away, and others may only pick a group they belong to.
bool takeIdentity(int fd, const QByteArray &oldPath, const struct stat &old)
{
    // The mode while the file is still ours to change; a new owner may then clear set-id bits.
    struct stat st;
    if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &st) != 0)
        return false;
    if ((st.st_uid != old.st_uid || st.st_gid != old.st_gid)
        && (::fchown(fd, old.st_uid, old.st_gid) != 0 || ::fstat(fd, &st) != 0))
        return false;
    // A set-id bit the system cleared silently counts as a change too.
    if (st.st_uid != old.st_uid || st.st_gid != old.st_gid || (st.st_mode & 07777) != (old.st_mode & 07777))
        return false;
    const auto oldAttributes = attributesOf(
        [&](char *names, size_t size) { return ::llistxattr(oldPath.constData(), names, size); },
        [&](const char *name, void *value, size_t size) {
            return ::lgetxattr(oldPath.constData(), name, value, size);
        });
    const auto newAttributes = attributesOf(
        [&](char *names, size_t size) { return ::flistxattr(fd, names, size); },
        [&](const char *name, void *value, size_t size) { return ::fgetxattr(fd, name, value, size); });
    return oldAttributes && newAttributes && *oldAttributes == *newAttributes;
}

// The file that takes the new content before it takes the old one's place. It sits beside
// the old one, so the rename stays on one file system, and has no name (O_TMPFILE) until it
// is complete and synced: a save killed half-way leaves nothing behind. Where the file
// system can't make unnamed files, it is a hidden file named after the target from the
// start. A name it was given is removed again unless the rename took it.
class NewFile
{
public:
    NewFile(int folder, QByteArray target) : m_folder(folder), m_target(std::move(target)) {}
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;
    ~NewFile()
    {
        if (!m_name.isEmpty())
            ::unlinkat(m_folder, m_name.constData(), 0);
    }

    bool create(mode_t mode, int *systemError)
    {
        m_fd.reset(::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (m_fd.get() >= 0)
            return true;
        // Older kernels say EISDIR, some file systems EINVAL or EOPNOTSUPP.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            *systemError = errno;
            return false;
        }
        return createNamed(mode, systemError);
    }

    int fd() const { return m_fd.get(); }

    // Renames the file over the target, giving it a hidden name first when it has none.
    bool replaceTarget(int *systemError)
    {
        if (m_name.isEmpty() && !link(systemError))
            return false;
        if (::renameat(m_folder, m_name.constData(), m_folder, m_target.constData()) != 0) {
            *systemError = errno;
            return false;
        }
        m_name.clear();
        return true;
    }

private:
    // Hidden, and named after the target so that a leftover is recognisable.
    QByteArray randomName() const
    {
        const QByteArray suffix = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        return '.' + m_target.left(NAME_MAX - 32) + '.' + suffix + ".tmp";
    }

    bool createNamed(mode_t mode, int *systemError)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = randomName();
            m_fd.reset(::openat(m_folder, name.constData(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
            if (m_fd.get() >= 0) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST) {
                *systemError = errno;
                return false;
            }
        }
        *systemError = EEXIST;
        return false;
    }

    // Links the unnamed file into the folder: through /proc, or, where that isn't mounted,
    // by its descriptor (which needs privileges).
    bool link(int *systemError)
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const QByteArray name = randomName();
            int linked = ::linkat(AT_FDCWD, self.constData(), m_folder, name.constData(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno == ENOENT)
                linked = ::linkat(m_fd.get(), "", m_folder, name.constData(), AT_EMPTY_PATH);
            if (linked == 0) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST) {
                *systemError = errno;
                return false;
            }
        }
        *systemError = EEXIST;
        return false;
    }

    const int m_folder;
    const QByteArray m_target; // its name in the folder
    UniqueFd m_fd;
    QByteArray m_name; // empty while the file has none
};

enum class Replaced { Yes, Failed, NotPossible };

// The new content in a new file, renamed over the old one: atomic, and the way of choice
// wherever the new file can be made just like the old one.
Replaced replaceByRename(int folder, const QByteArray &target, const struct stat *old, QByteArrayView data,
                         int *systemError)
{
    // Until it carries the target's own permissions, nobody else may read it.
    NewFile file(folder, nameOf(target));
    if (!file.create(old ? 0600 : 0666, systemError))
        return old ? Replaced::NotPossible : Replaced::Failed; // a read-only folder, say
    if (old && !takeIdentity(file.fd(), target, *old))
        return Replaced::NotPossible;
    if (!writeAllAt(file.fd(), data, 0, systemError) || !syncFile(file.fd(), systemError))
        return Replaced::Failed;
    // A folder that lets nobody replace another's file (sticky), a file that is a mount
    // point: the old file is still there to be written in place.
    if (!file.replaceTarget(systemError))
        return old ? Replaced::NotPossible : Replaced::Failed;
    syncFolder(folderOf(target));
    return Replaced::Yes;
}

bool cutTo(int fd, off_t size, int *systemError)
{
    while (::ftruncate(fd, size) != 0) {
        if (errno != EINTR) {
            *systemError = errno;
            return false;
        }
    }
    return true;
}

// Up to `size` bytes from the start of the file; fewer where it is shorter.
bool readAll(int fd, off_t size, QByteArray *bytes, int *systemError)
{
    bytes->resize(qsizetype(size));
    qsizetype got = 0;
    while (got < bytes->size()) {
        const ssize_t n = ::pread(fd, bytes->data() + got, size_t(bytes->size() - got), off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *systemError = errno;
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes->truncate(got);
    return true;
}


// Makes the folder and those it lies in, for the user alone, durably: a journal in a folder
// whose own name a crash could lose would be lost with it.
bool makeFolders(const QByteArray &path, int *systemError)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) == 0) {
            syncFolder(folderOf(part));
        } else if (errno != EEXIST) {
            *systemError = errno;
            return false;
        }
        if (slash < 0)
            return true;
    }
}

struct JournalPlace
{
    QByteArray folder;
    QByteArray name;
};

// Beside the file first, then the state folder, where the name comes from the file's
// absolute path, so that two files never share a journal.
std::vector<JournalPlace> journalPlaces(const QByteArray &target)
{
    std::vector<JournalPlace> places{{folderOf(target), journalNameBeside(nameOf(target))}};
    const QByteArray state = stateFolder();
    if (char *folder = ::realpath(folderOf(target).constData(), nullptr)) {
        QByteArray absolute(folder);
        ::free(folder);
        if (!absolute.endsWith('/'))
            absolute += '/';
        if (!state.isEmpty())
            places.push_back({state, journalNameInStateFolder(absolute + nameOf(target))});
    }
    return places;
}

void removeJournal(const JournalPlace &place)
{
    if (::unlink((place.folder + '/' + place.name).constData()) == 0)
        syncFolder(place.folder);
}

// The journal of one in-place save: written whole and synced under its name, removed again
// when the save is done or failed with the old content whole, kept when the file was left
// part-written.
class SaveJournal
{
public:
    explicit SaveJournal(QByteArray target) : m_places(journalPlaces(target)) {}
    SaveJournal(const SaveJournal &) = delete;
    SaveJournal &operator=(const SaveJournal &) = delete;
    ~SaveJournal()
    {
        if (m_written)
            removeJournal(*m_written);
    }

    bool write(QByteArrayView bytes, int *systemError)
    {
        for (const JournalPlace &place : m_places) {
            const bool beside = &place == &m_places.front();
            if (beside && ::faccessat(AT_FDCWD, place.folder.constData(), W_OK, AT_EACCESS) != 0) {
                *systemError = errno;
                continue;
            }
            if ((beside || makeFolders(place.folder, systemError)) && writeAt(place, bytes, systemError)) {
                m_written = &place;
                return true;
            }
        }
        return false;
    }
    // The save is complete: a journal a former save left for this file is out of date too.
    void removeAll()
    {
        for (const JournalPlace &place : m_places)
            removeJournal(place);
        m_written = nullptr;
    }
    void keep() { m_written = nullptr; }

private:
    static bool writeAt(const JournalPlace &place, QByteArrayView bytes, int *systemError)
    {
        const UniqueFd folder(openRetrying(place.folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() < 0) {
            *systemError = errno;
            return false;
        }
        NewFile file(folder.get(), place.name);
        if (!file.create(0600, systemError) || !writeAllAt(file.fd(), bytes, 0, systemError)
            || !syncFile(file.fd(), systemError) || !file.replaceTarget(systemError))
            return false;
        syncFolder(place.folder);
        return true;
    }

    const std::vector<JournalPlace> m_places;
    const JournalPlace *m_written = nullptr;
};

// The holes of the file before `end`, as start and length.
std::vector<std::pair<off_t, off_t>> holesBefore(int fd, off_t end)
{
    std::vector<std::pair<off_t, off_t>> holes;
    for (off_t at = 0; at < end;) {
        const off_t hole = ::lseek(fd, at, SEEK_HOLE);
        if (hole < 0 || hole >= end)
            break;
        const off_t data = ::lseek(fd, hole, SEEK_DATA);
        const off_t holeEnd = data < 0 ? end : std::min(data, end);
        holes.emplace_back(hole, holeEnd - hole);
        at = holeEnd;
    }
    return holes;
}

// Claims the space the new content needs without changing the file, so that a full disk
// fails while the old content is still whole.
bool claimSpace(int fd, off_t newSize, int *systemError)
{
    if (newSize == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, newSize) == 0)
        return true;
    // EOPNOTSUPP (and EINVAL from some): a file system that can't claim space, and hasn't.
    if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL)
        return true;
    *systemError = errno;
    return false;
}

// Gives back exactly what a claim took, even one that failed part-way: a cut to the old
// length frees what lies past it, and the holes the old file had are punched again.
bool giveBack(int fd, off_t oldSize, const std::vector<std::pair<off_t, off_t>> &holes)
{
    int ignored = 0;
    const bool cut = cutTo(fd, oldSize, &ignored);
    for (const auto &[start, length] : holes)
        ::fallocate(fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, start, length);
    return cut;
}

// Writes over the old file itself, which keeps everything that makes it that file. The new
// content goes to a journal first; then the space it needs is claimed, and where the file
// system can't do that, the part of the new content that lies past the old end goes there
// first, so that a full disk fails while the old content is still whole. Only then is the
// old content overwritten. A failure there puts the old content back; where even that
// fails, the journal stays for the next start.
bool writeInPlace(int folder, const QByteArray &target, QByteArrayView data, int *systemError, bool *oldKept,
                  const SaveHooks *hooks)
{
    UniqueFd fd(::openat(folder, nameOf(target).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        *systemError = errno;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *systemError = EINVAL;
        return false;
    }
    // One in-place save of a file at a time, across processes; another one waits for nothing.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        *systemError = errno == EWOULDBLOCK ? EBUSY : errno;
        return false;
    }
    const off_t oldSize = st.st_size;
    const off_t newSize = off_t(data.size());
    QByteArray old;
    if (oldSize > maxJournalledBytes || newSize > maxJournalledBytes) {
        *systemError = EFBIG;
        return false;
    }
    if (!readAll(fd.get(), oldSize, &old, systemError))
        return false;

    SaveJournal journal(target);
    if (!journal.write(encodeJournal(quint64(st.st_dev), quint64(st.st_ino), old, data), systemError))
        return false;
    if (hooks && hooks->journalSynced)
        hooks->journalSynced();
    const auto holes = holesBefore(fd.get(), std::min(oldSize, newSize));
    if (!claimSpace(fd.get(), newSize, systemError)) {
        giveBack(fd.get(), oldSize, holes);
        return false;
    }

    qint64 written = 0;
    const auto overwrite = [&](QByteArrayView part, off_t at) {
        constexpr qsizetype piece = 64 * 1024;
        for (qsizetype done = 0; done < part.size(); done += piece) {
            const QByteArrayView next = part.sliced(done, std::min(piece, part.size() - done));
            if (!writeAllAt(fd.get(), next, at + off_t(done), systemError))
                return false;
            written += next.size();
            if (hooks && hooks->overwriting)
                hooks->overwriting(written);
        }
        return true;
    };
    if (newSize > oldSize && !overwrite(data.sliced(qsizetype(oldSize)), oldSize)) {
        if (!giveBack(fd.get(), oldSize, holes)) {
            journal.keep();
            *oldKept = false;
        }
        return false;
    }
    if (!overwrite(data.first(qsizetype(std::min(oldSize, newSize))), 0)
        || (newSize < oldSize && !cutTo(fd.get(), newSize, systemError)) || !syncFile(fd.get(), systemError)) {
        int ignored = 0;
        if (!writeAllAt(fd.get(), old, 0, &ignored) || !giveBack(fd.get(), oldSize, holes)
            || !syncFile(fd.get(), &ignored)) {
            journal.keep();
            *oldKept = false;
        }
        return false;
    }
    // Synced, the new content stays whatever close says. The file is closed, and so
    // unlocked, only once the journal is gone, so that no other save starts before.
    journal.removeAll();
    return true;
}

// Reads a journal this user made; std::nullopt for none, or one that is someone else's.
std::optional<QByteArray> readOwnJournal(const JournalPlace &place)
{
    const UniqueFd fd(openRetrying((place.folder + '/' + place.name).constData(),
                                     O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()
        || st.st_size > 2 * maxJournalledBytes)
        return std::nullopt;
    QByteArray bytes;
    int ignored = 0;
    if (!readAll(fd.get(), st.st_size, &bytes, &ignored))
        return std::nullopt;
    return bytes;
}

} // namespace

bool ReadOnlyFile::open(const QString &path, int *systemError)
{
    close();
    // Non-blocking, so a named pipe in place of the file can't stall the open.
    UniqueFd fd(openRetrying(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        *systemError = errno;
        return false;
    }
    // Only a regular file holds lines: a pipe or a device (/dev/zero) would never end.
    struct stat st;
    const int error = ::fstat(fd.get(), &st) != 0 ? errno
                      : S_ISDIR(st.st_mode)  ? EISDIR
                      : !S_ISREG(st.st_mode) ? EINVAL
                                             : 0;
    if (error != 0) {
        *systemError = error;
        return false;
    }
    m_fd = std::move(fd);
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
        const ssize_t got = ::read(m_fd.get(), data, wanted);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            *systemError = errno;
            return -1;
        }
    }
}

bool replaceFile(const QString &path, QByteArrayView data, int *systemError, bool *oldKept, const SaveHooks *hooks)
{
    bool kept = true;
    if (!oldKept)
        oldKept = &kept;
    *oldKept = true;
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

    const UniqueFd folder(openRetrying(folderOf(target).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0) {
        *systemError = errno;
        return false;
    }
    // A rename would part a file with other names from them.
    if (exists && old.st_nlink > 1)
        return writeInPlace(folder.get(), target, data, systemError, oldKept, hooks);
    switch (replaceByRename(folder.get(), target, exists ? &old : nullptr, data, systemError)) {
    case Replaced::Yes:
        return true;
    case Replaced::Failed:
        return false;
    case Replaced::NotPossible:
        break;
    }
    return writeInPlace(folder.get(), target, data, systemError, oldKept, hooks);
}

Completion completeInterruptedSave(const QString &path, int *systemError)
{
    QByteArray target = QFile::encodeName(path);
    int ignored = 0;
    if (target.isEmpty() || !resolveLinks(&target, &ignored))
        return Completion::NothingToDo;
    std::vector<JournalPlace> places = journalPlaces(target);
    // What every start pays: a look for each journal.
    std::erase_if(places, [](const JournalPlace &place) {
        struct stat st;
        return ::lstat((place.folder + '/' + place.name).constData(), &st) != 0;
    });
    if (places.empty())
        return Completion::NothingToDo;

    const UniqueFd folder(openRetrying(folderOf(target).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd fd(folder.get() < 0 ? -1
                                         : ::openat(folder.get(), nameOf(target).constData(),
                                                    O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
        if (errno != ENOENT && errno != ELOOP) {
            *systemError = errno;
            return Completion::Failed;
        }
        st.st_mode = 0; // the file is gone: its journals are out of date
    }
    // Holding the lock, no save of the file can start or be under way: a journal seen now
    // is one that a crash left, and stays what it is until removed.
    if (fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return Completion::NothingToDo;

    // A file too big for any journal, or unreadable, counts as changed since.
    std::optional<QByteArray> current;
    if (S_ISREG(st.st_mode) && st.st_size <= maxJournalledBytes) {
        current.emplace();
        if (!readAll(fd.get(), st.st_size, &*current, &ignored))
            current.reset();
    }
    Completion completion = Completion::NothingToDo;
    for (const JournalPlace &place : places) {
        const std::optional<QByteArray> bytes = readOwnJournal(place);
        if (!bytes)
            continue;
        // A damaged journal, or one made for another file or another content, is never applied.
        const std::optional<Journal> journal = decodeJournal(*bytes);
        if (journal && current && quint64(st.st_dev) == journal->device && quint64(st.st_ino) == journal->inode
            && leftByInterruptedSave(*journal, *current)) {
            if (!writeAllAt(fd.get(), journal->data, 0, systemError)
                || !cutTo(fd.get(), off_t(journal->data.size()), systemError) || !syncFile(fd.get(), systemError)) {
                completion = Completion::Failed;
                continue;
            }
            current = journal->data;
            if (completion == Completion::NothingToDo)
                completion = Completion::Completed;
        }
        removeJournal(place);
    }
    return completion;
}

} // namespace platform::detail

namespace platform {

QByteArray stateFolder()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/')) // a relative value is to be ignored
        return state + "/brisquel";
    const QByteArray home = qgetenv("HOME");
    return home.startsWith('/') ? home + "/.local/state/brisquel" : QByteArray();
}

bool syncToDisk(QFile &file)
{
    // The data and the length that reads it back. EINVAL: the file system has no way to
    // sync; nothing more can be done there.
    return ::fdatasync(file.handle()) == 0 || errno == EINVAL;
}

void syncFolderEntry(const QString &path)
{
    detail::syncFolder(detail::folderOf(QFile::encodeName(path)));
}

} // namespace platform
