#include "shredder/file_access.h"

#include "platform/capabilities.h"
#include "platform/entry_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace shredder::detail {

namespace {

// One component at a time from the root, for kernels without openat2.
UniqueFd walkFolder(const std::string &path, int &error)
{
    UniqueFd at(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
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
        at.reset(::openat(at.get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    if (!at.valid()) {
        error = errno;
        return at;
    }
    UniqueFd folder(::openat(at.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
    info.identity.device = dev_t(seen.device);
    info.identity.inode = ino_t(seen.inode);
    info.identity.mount = seen.mount;
    info.identity.mountRoot = seen.mountRoot;
    info.mode = mode_t(seen.mode);
    info.links = nlink_t(seen.links);
    info.owner = uid_t(seen.owner);
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
    UniqueFd folder = platform::openNoLinks(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC, openError);
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
    UniqueFd folder(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
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

UniqueFd reopenForWriting(int pathFd, int &error, bool direct)
{
    constexpr int flags = O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int directError = 0;
    UniqueFd file = direct ? platform::reopenFound(pathFd, flags | O_DIRECT, directError) : UniqueFd();
    if (!file.valid() && (!direct || directError == EINVAL))
        file = platform::reopenFound(pathFd, flags, error);
    else if (!file.valid())
        error = directError;
    return file;
}

bool changeMode(int pathFd, mode_t mode) { return platform::changeModeOfFound(pathFd, mode) == 0; }

int removalRefused(int dirFd, const EntryInfo &folder, const EntryInfo &entry)
{
    if (::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    if (platform::isAppendOnlyOrImmutable(dirFd))
        return EPERM;
    const uid_t me = ::geteuid();
    if ((folder.mode & S_ISVTX) && me != entry.owner && me != folder.owner
        && !platform::hasCapability(platform::Capability::OverrideOwnership))
        return EPERM;
    return 0;
}

} // namespace shredder::detail
