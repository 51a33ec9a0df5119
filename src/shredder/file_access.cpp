#include "shredder/file_access.h"

#include "platform/capabilities.h"
#include "platform/entry_calls.h"
#include "platform/file_calls.h"

#include <cerrno>

namespace shredder::detail {

namespace {

// One component at a time from the root, for kernels without openat2.
UniqueFd walkFolder(const std::string &path, int &error)
{
    UniqueFd at = platform::openAt(platform::currentFolder, "/", platform::PathOnly | platform::FolderOnly);
    std::size_t start = 1;
    while (at.valid() && start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            error = EINVAL; // names are resolved before they get here
            return UniqueFd();
        }
        at = platform::openAt(at.get(), part, platform::PathOnly | platform::FolderOnly | platform::NoFollow);
    }
    if (!at.valid()) {
        error = errno;
        return at;
    }
    UniqueFd folder = platform::openAt(at.get(), ".", platform::ReadOnly | platform::FolderOnly);
    if (!folder.valid())
        error = errno;
    return folder;
}

} // namespace

int look(int dirFd, const std::string &name, EntryInfo &info)
{
    platform::EntryStatus seen;
    if (const int error = platform::entryStatus(dirFd, name, seen))
        return error;
    info.identity.device = seen.device;
    info.identity.inode = seen.inode;
    info.identity.mount = seen.mount;
    info.identity.mountRoot = seen.mountRoot;
    info.mode = seen.mode;
    info.links = seen.links;
    info.owner = seen.owner;
    info.size = seen.size;
    info.allocated = seen.allocated;
    info.blockSize = seen.blockSize;
    return 0;
}

UniqueFd openFolderNoLinks(const std::string &path, int &error)
{
    if (path.empty() || path.front() != '/') {
        error = EINVAL;
        return UniqueFd();
    }
    int openError = 0;
    UniqueFd folder = platform::openNoLinks(path, platform::ReadOnly | platform::FolderOnly, openError);
    if (folder.valid())
        return folder;
    if (openError != ENOSYS) {
        error = openError;
        return folder;
    }
    return walkFolder(path, error);
}

UniqueFd openSubfolder(int dirFd, const std::string &name, const Identity &expected, int &error)
{
    // O_DIRECTORY refuses anything else before it is opened, so no FIFO or device is touched.
    UniqueFd folder = platform::openAt(dirFd, name, platform::ReadOnly | platform::FolderOnly | platform::NoFollow);
    if (!folder.valid()) {
        error = errno == ELOOP || errno == ENOTDIR ? ESTALE : errno;
        return folder;
    }
    EntryInfo info;
    if ((error = look(folder.get(), {}, info)) != 0)
        return UniqueFd();
    if (!(info.identity == expected)) {
        error = ESTALE;
        return UniqueFd();
    }
    return folder;
}

UniqueFd reopenForWriting(int pathFd, int &error)
{
    return platform::reopenFound(pathFd, platform::WriteOnly | platform::NoTerminal | platform::NonBlocking, error);
}

bool changeMode(int pathFd, unsigned mode) { return platform::changeModeOfFound(pathFd, mode) == 0; }

int removalRefused(int dirFd, const EntryInfo &folder, const EntryInfo &entry)
{
    if (const int error = platform::mayChangeFolder(dirFd))
        return error;
    if (platform::isAppendOnlyOrImmutable(dirFd))
        return EPERM;
    const unsigned me = platform::effectiveUser();
    if ((folder.mode & platform::stickyBit) && me != entry.owner && me != folder.owner
        && !platform::hasCapability(platform::Capability::OverrideOwnership))
        return EPERM;
    return 0;
}

} // namespace shredder::detail
