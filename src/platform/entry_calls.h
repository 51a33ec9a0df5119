#pragma once

// Calls on the entries of an open folder that plain POSIX lacks, for code that must reach
// exactly the entry it looked at: what an entry is (with its mount), opening without
// following any link, renaming without replacing, and acting on what an O_PATH descriptor
// found. Plain C++; each fails with ENOSYS where the system has no such call.

#include "platform/unique_fd.h"

#include <cstdint>
#include <string>

namespace platform {

// An entry as it is now, never following a link.
struct EntryStatus
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t mount = 0; // the mount's id; 0 where the kernel gives none
    bool mountRoot = false;  // the entry is where a mount is attached
    unsigned mode = 0; // type and permission bits; platform/file_calls.h tells them apart
    std::uint64_t links = 0;
    unsigned owner = 0;
    std::uint64_t size = 0;
    std::uint64_t allocated = 0; // bytes of blocks the file holds (less than size when sparse)
    std::uint64_t blockSize = 0;
};

// The entry `name` of a folder, or the descriptor itself when `name` is empty, followed
// into no automount. 0, or an errno.
int entryStatus(int dirFd, const std::string &name, EntryStatus &status);

// Opens an absolute path with `flags` (OpenFlag bits, platform/file_calls.h), failing (ELOOP) at any symbolic link on the way.
// ENOSYS where that can't be done in one call (an old kernel, or a sandbox that refuses
// calls it doesn't know); the caller then walks the path itself.
UniqueFd openNoLinks(const std::string &path, unsigned flags, int &error);

// Renames `from` to `to` in the folder unless `to` exists (EEXIST). EINVAL or ENOSYS where
// the file system or the system can't do that in one step.
int renameNoReplace(int dirFd, const std::string &from, const std::string &to);

// Opens, with `flags`, the entry that the O_PATH descriptor `pathFd` found, through the
// descriptor itself: no other entry can take its place. ENOSYS where that has no way
// (no /proc).
UniqueFd reopenFound(int pathFd, unsigned flags, int &error);

// Sets the permission bits of the entry an O_PATH descriptor found. 0, or an errno.
int changeModeOfFound(int pathFd, unsigned mode);

// Whether the file system marks the open entry append-only or immutable (chattr +a, +i);
// false where it can't tell.
bool isAppendOnlyOrImmutable(int fd);

} // namespace platform
