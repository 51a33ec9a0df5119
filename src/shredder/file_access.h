#pragma once

// The shredder's system calls that decide what it may touch: looking at entries with their
// mount, opening folders without following links, and the checks that tell whether a file
// could be removed once overwritten. No Qt, and no system header: the calls themselves are
// in platform/entry_calls.h and platform/file_calls.h.

#include "platform/unique_fd.h"
#include "shredder/shredder.h"

#include <cstdint>
#include <string>

namespace shredder::detail {

using platform::UniqueFd;

// An entry as it is now, never following a link.
struct EntryInfo
{
    Identity identity;
    unsigned mode = 0; // type and permission bits, as platform/file_calls.h reads them
    std::uint64_t links = 0;
    unsigned owner = 0;
    std::uint64_t size = 0;
    std::uint64_t allocated = 0; // bytes of blocks the file holds (less than size when sparse)
    std::uint64_t blockSize = 0;
};

// statx on an entry of a folder, or on the descriptor itself when `name` is empty. Returns
// an errno, 0 on success.
int look(int dirFd, const std::string &name, EntryInfo &info);

// Opens a folder by its absolute name, one component at a time, following no link on the
// way. Fails with ELOOP or ENOTDIR where a component is a link.
UniqueFd openFolderNoLinks(const std::string &path, int &error);

// Opens a folder inside another without following a link; the result must still be the
// entry that was looked at (identity), else ESTALE.
UniqueFd openSubfolder(int dirFd, const std::string &name, const Identity &expected, int &error);

// Reopens a regular file found by `pathFd` (an O_PATH descriptor) for writing, through the
// descriptor itself, so no other entry can take its place between the look and the open.
UniqueFd reopenForWriting(int pathFd, int &error);

// Sets a file's permission bits through its O_PATH descriptor.
bool changeMode(int pathFd, unsigned mode);

// errno that removing `entry` from the folder would fail with, or 0 when it may be removed:
// write access, an append-only or immutable folder, and the sticky folder's owner rule.
int removalRefused(int dirFd, const EntryInfo &folder, const EntryInfo &entry);

} // namespace shredder::detail
