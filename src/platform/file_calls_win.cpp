#include "platform/file_calls.h"

#include <malloc.h>

#include <cerrno>

namespace platform {

// The shredder core's file calls have no counterpart here yet.

UniqueFd openAt(int, const std::string &, unsigned, unsigned)
{
    errno = ENOSYS;
    return UniqueFd();
}

int statusFollowingLinks(const std::string &, EntryStatus &)
{
    return ENOSYS;
}

int resolvePath(const std::string &, std::string &)
{
    return ENOSYS;
}

int mayChangeFolder(int)
{
    return ENOSYS;
}

bool mayChangeFolderAt(const std::string &)
{
    return false;
}

unsigned effectiveUser()
{
    return 0;
}

int removeAt(int, const std::string &, bool)
{
    return ENOSYS;
}

int makeFolderAt(int, const std::string &, unsigned)
{
    return ENOSYS;
}

int renameWithin(int, const std::string &, const std::string &)
{
    return ENOSYS;
}

int truncateFile(int, std::uint64_t)
{
    return ENOSYS;
}

int syncFile(int)
{
    return ENOSYS;
}

int syncData(int)
{
    return ENOSYS;
}

int writeSome(int, const void *, std::size_t, std::uint64_t, std::size_t &)
{
    return ENOSYS;
}

int readSome(int, void *, std::size_t, std::size_t &)
{
    return ENOSYS;
}

std::int64_t nextData(int, std::uint64_t)
{
    errno = ENOSYS;
    return -1;
}

std::int64_t nextHole(int, std::uint64_t)
{
    errno = ENOSYS;
    return -1;
}

std::vector<std::string> folderNames(int, int &error)
{
    error = ENOSYS;
    return {};
}

int fileSystemCounts(int, FileSystemCounts &)
{
    return ENOSYS;
}

int fileSystemCountsAt(const std::string &, FileSystemCounts &)
{
    return ENOSYS;
}

void *allocateAligned(std::size_t alignment, std::size_t size)
{
    return ::_aligned_malloc(size, alignment);
}

void freeAligned(void *memory)
{
    ::_aligned_free(memory);
}

} // namespace platform
