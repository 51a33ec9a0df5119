#pragma once

// The plain file and folder calls the shredder core makes, so that it names no system
// header: opening relative to an open folder, removing, syncing, writing, and the counts of
// a file system. Plain C++. Calls that return an int give 0 or the errno of the failure;
// each fails with ENOSYS where the system has no such call.

#include "platform/entry_calls.h"
#include "platform/unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Stands for the working folder where a folder descriptor is asked for.
inline constexpr int currentFolder = -100;

// The longest path the system takes, with its terminating zero.
inline constexpr std::size_t maxPathBytes = 4096;

// What EntryStatus::mode holds: the entry's type, then its permission bits.
inline constexpr unsigned typeMask = 0170000;
inline constexpr unsigned ownerWriteBit = 0200;
inline constexpr unsigned stickyBit = 01000;
constexpr bool isRegularFile(unsigned mode) { return (mode & typeMask) == 0100000; }
constexpr bool isFolder(unsigned mode) { return (mode & typeMask) == 0040000; }
constexpr bool isSymbolicLink(unsigned mode) { return (mode & typeMask) == 0120000; }
constexpr bool isBlockDevice(unsigned mode) { return (mode & typeMask) == 0060000; }

// How to open an entry; every descriptor is closed on exec.
enum OpenFlag : unsigned {
    ReadOnly = 0,
    WriteOnly = 1u << 0,
    PathOnly = 1u << 1,     // opens nothing, only finds the entry
    FolderOnly = 1u << 2,   // fails unless the entry is a folder
    NoFollow = 1u << 3,     // fails at a link in the last component
    Create = 1u << 4,
    Exclusive = 1u << 5,    // with Create: fails if the entry exists
    Truncate = 1u << 6,
    NoTerminal = 1u << 7,
    NonBlocking = 1u << 8,
    PastCache = 1u << 9,    // writes bypass the page cache
    Unnamed = 1u << 10,     // a file with no name, in the folder opened
};

// Opens `name` relative to the open folder `dirFd` (or currentFolder); empty with errno
// set on failure.
UniqueFd openAt(int dirFd, const std::string &name, unsigned flags, unsigned mode = 0);

// Follows links, unlike entryStatus. Gives no mount id.
int statusFollowingLinks(const std::string &path, EntryStatus &status);

// The absolute name of `path` with every link and "." and ".." resolved.
int resolvePath(const std::string &path, std::string &resolved);

// Whether the process, with its effective ids, may add and remove entries in the open folder.
int mayChangeFolder(int dirFd);
// Whether the process, with its real ids, may add and remove entries in the folder at `path`.
bool mayChangeFolderAt(const std::string &path);

unsigned effectiveUser();

// Removes the entry, or the empty folder when `folder` is true.
int removeAt(int dirFd, const std::string &name, bool folder);
int makeFolderAt(int dirFd, const std::string &name, unsigned mode);
// Renames within one folder, replacing whatever has the new name.
int renameWithin(int dirFd, const std::string &from, const std::string &to);

int truncateFile(int fd, std::uint64_t length);
int syncFile(int fd);
int syncData(int fd);

// One write at `offset`, which may take fewer bytes than given; interruptions are retried.
int writeSome(int fd, const void *data, std::size_t size, std::uint64_t offset, std::size_t &written);
// One read from where the file is; `got` is 0 at its end.
int readSome(int fd, void *data, std::size_t size, std::size_t &got);

// Where the next data, or the next hole, at or after `from` begins; -1 with errno set (ENXIO:
// no more data).
std::int64_t nextData(int fd, std::uint64_t from);
std::int64_t nextHole(int fd, std::uint64_t from);

// The names in an open folder, "." and ".." left out; `error` is set when it could not be
// read whole.
std::vector<std::string> folderNames(int dirFd, int &error);

// A file system's size in blocks of `blockSize` bytes.
struct FileSystemCounts
{
    std::uint64_t blocks = 0;
    std::uint64_t free = 0;      // root's reserve included
    std::uint64_t available = 0; // what an ordinary user may fill
    std::uint64_t blockSize = 0;
};
int fileSystemCounts(int fd, FileSystemCounts &counts);
int fileSystemCountsAt(const std::string &path, FileSystemCounts &counts);

// Memory aligned as writes past the page cache need it; freed with freeAligned.
void *allocateAligned(std::size_t alignment, std::size_t size);
void freeAligned(void *memory);

} // namespace platform
