#include "shredder/file_access.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace shredder::detail {

namespace {

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

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

bool hasCapability(int capability)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    return data[capability / 32].effective & (1u << (capability % 32));
}

int look(int dirFd, const std::string &name, EntryInfo &info)
{
    struct statx seen {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name.empty() ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name.c_str(), flags, STATX_BASIC_STATS | STATX_MNT_ID, &seen) != 0)
        return errno;
    info.identity.device = makedev(seen.stx_dev_major, seen.stx_dev_minor);
    info.identity.inode = seen.stx_ino;
    // Kernels before 5.8 give no mount id; the device number is all there is to compare then.
    info.identity.mount = (seen.stx_mask & STATX_MNT_ID) ? seen.stx_mnt_id : 0;
    info.identity.mountRoot = (seen.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                              && (seen.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    info.mode = seen.stx_mode;
    info.links = seen.stx_nlink;
    info.owner = seen.stx_uid;
    info.size = seen.stx_size;
    info.allocated = seen.stx_blocks * 512;
    info.blockSize = seen.stx_blksize;
    return 0;
}

UniqueFd openFolderNoLinks(const std::string &path, int &error)
{
    if (path.empty() || path.front() != '/') {
        error = EINVAL;
        return UniqueFd();
    }
    open_how how{};
    how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0)
        return UniqueFd(static_cast<int>(fd));
    if (errno != ENOSYS && errno != EPERM) { // EPERM: a sandbox that filters unknown calls
        error = errno;
        return UniqueFd();
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
    UniqueFd file(::open(procPath(pathFd).c_str(), flags | (direct ? O_DIRECT : 0)));
    if (!file.valid() && direct && errno == EINVAL)
        file.reset(::open(procPath(pathFd).c_str(), flags));
    if (!file.valid()) {
        error = errno;
        if (error == ENOENT && ::access("/proc/self/fd", X_OK) != 0)
            error = ENOSYS; // without /proc there is no way to reopen what was checked
    }
    return file;
}

bool changeMode(int pathFd, mode_t mode) { return ::chmod(procPath(pathFd).c_str(), mode & 07777) == 0; }

int removalRefused(int dirFd, const EntryInfo &folder, const EntryInfo &entry)
{
    if (::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return errno;
    int flags = 0;
    if (::ioctl(dirFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)))
        return EPERM;
    const uid_t me = ::geteuid();
    if ((folder.mode & S_ISVTX) && me != entry.owner && me != folder.owner && !hasCapability(CAP_FOWNER))
        return EPERM;
    return 0;
}

} // namespace shredder::detail
