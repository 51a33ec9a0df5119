#include "platform/file_calls.h"

#include "platform/open_flags_posix.h"
#include "platform/unique_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform {

static_assert(currentFolder == AT_FDCWD);
static_assert(maxPathBytes == PATH_MAX);
static_assert(typeMask == S_IFMT && ownerWriteBit == S_IWUSR && stickyBit == S_ISVTX);
static_assert(isRegularFile(S_IFREG) && isFolder(S_IFDIR) && isSymbolicLink(S_IFLNK) && isBlockDevice(S_IFBLK));

UniqueFd openAt(int dirFd, const std::string &name, unsigned flags, unsigned mode)
{
    return UniqueFd(::openat(dirFd, name.c_str(), systemOpenFlags(flags), static_cast<mode_t>(mode)));
}

int statusFollowingLinks(const std::string &path, EntryStatus &status)
{
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0)
        return errno;
    status = {};
    status.device = seen.st_dev;
    status.inode = seen.st_ino;
    status.mode = seen.st_mode;
    status.links = seen.st_nlink;
    status.owner = seen.st_uid;
    status.size = static_cast<std::uint64_t>(seen.st_size);
    status.allocated = static_cast<std::uint64_t>(seen.st_blocks) * 512;
    status.blockSize = static_cast<std::uint64_t>(seen.st_blksize);
    return 0;
}

int resolvePath(const std::string &path, std::string &resolved)
{
    char *real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return errno;
    resolved = real;
    std::free(real);
    return 0;
}

int mayChangeFolder(int dirFd)
{
    return ::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

bool mayChangeFolderAt(const std::string &path)
{
    return ::access(path.c_str(), W_OK | X_OK) == 0;
}

unsigned effectiveUser()
{
    return ::geteuid();
}

int removeAt(int dirFd, const std::string &name, bool folder)
{
    return ::unlinkat(dirFd, name.c_str(), folder ? AT_REMOVEDIR : 0) == 0 ? 0 : errno;
}

int makeFolderAt(int dirFd, const std::string &name, unsigned mode)
{
    return ::mkdirat(dirFd, name.c_str(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
}

int renameWithin(int dirFd, const std::string &from, const std::string &to)
{
    return ::renameat(dirFd, from.c_str(), dirFd, to.c_str()) == 0 ? 0 : errno;
}

int truncateFile(int fd, std::uint64_t length)
{
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0 ? 0 : errno;
}

int syncFile(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int syncData(int fd)
{
    return ::fdatasync(fd) == 0 ? 0 : errno;
}

int writeSome(int fd, const void *data, std::size_t size, std::uint64_t offset, std::size_t &written)
{
    ssize_t n;
    do {
        n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno;
    written = static_cast<std::size_t>(n);
    return 0;
}

int readSome(int fd, void *data, std::size_t size, std::size_t &got)
{
    const ssize_t n = ::read(fd, data, size);
    if (n < 0)
        return errno;
    got = static_cast<std::size_t>(n);
    return 0;
}

std::int64_t nextData(int fd, std::uint64_t from)
{
    return ::lseek(fd, static_cast<off_t>(from), SEEK_DATA);
}

std::int64_t nextHole(int fd, std::uint64_t from)
{
    return ::lseek(fd, static_cast<off_t>(from), SEEK_HOLE);
}

std::vector<std::string> folderNames(int dirFd, int &error)
{
    std::vector<std::string> names;
    const UniqueDir dir = UniqueDir::listing(dirFd);
    if (!dir) {
        error = errno;
        return names;
    }
    ::rewinddir(dir.get());
    errno = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    error = errno;
    return names;
}

namespace {

void copyCounts(const struct statvfs &from, FileSystemCounts &counts)
{
    counts.blocks = from.f_blocks;
    counts.free = from.f_bfree;
    counts.available = from.f_bavail;
    counts.blockSize = from.f_frsize;
}

} // namespace

int fileSystemCounts(int fd, FileSystemCounts &counts)
{
    struct statvfs seen {};
    if (::fstatvfs(fd, &seen) != 0)
        return errno;
    copyCounts(seen, counts);
    return 0;
}

int fileSystemCountsAt(const std::string &path, FileSystemCounts &counts)
{
    struct statvfs seen {};
    if (::statvfs(path.c_str(), &seen) != 0)
        return errno;
    copyCounts(seen, counts);
    return 0;
}

void *allocateAligned(std::size_t alignment, std::size_t size)
{
    return std::aligned_alloc(alignment, size);
}

void freeAligned(void *memory)
{
    std::free(memory);
}

} // namespace platform
