#include "platform/entry_calls.h"

#include "platform/open_flags_posix.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio> // renameat2, RENAME_NOREPLACE

namespace platform {

namespace {

std::string procPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

} // namespace

int entryStatus(int dirFd, const std::string &name, EntryStatus &status)
{
    struct statx seen {};
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name.empty() ? AT_EMPTY_PATH : 0);
    if (::statx(dirFd, name.c_str(), flags, STATX_BASIC_STATS | STATX_MNT_ID, &seen) != 0)
        return errno;
    status.device = makedev(seen.stx_dev_major, seen.stx_dev_minor);
    status.inode = seen.stx_ino;
    // Kernels before 5.8 give no mount id; the device number is all there is to compare then.
    status.mount = (seen.stx_mask & STATX_MNT_ID) ? seen.stx_mnt_id : 0;
    status.mountRoot = (seen.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
                       && (seen.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    status.mode = seen.stx_mode;
    status.links = seen.stx_nlink;
    status.owner = seen.stx_uid;
    status.size = seen.stx_size;
    status.allocated = seen.stx_blocks * 512;
    status.blockSize = seen.stx_blksize;
    return 0;
}

UniqueFd openNoLinks(const std::string &path, unsigned flags, int &error)
{
    open_how how{};
    how.flags = static_cast<unsigned>(systemOpenFlags(flags));
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
    if (fd >= 0)
        return UniqueFd(static_cast<int>(fd));
    error = errno == EPERM ? ENOSYS : errno; // EPERM: a sandbox that filters unknown calls
    return UniqueFd();
}

int renameNoReplace(int dirFd, const std::string &from, const std::string &to)
{
    return ::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}

UniqueFd reopenFound(int pathFd, unsigned flags, int &error)
{
    UniqueFd file(::open(procPath(pathFd).c_str(), systemOpenFlags(flags)));
    if (!file.valid()) {
        error = errno;
        if (error == ENOENT && ::access("/proc/self/fd", X_OK) != 0)
            error = ENOSYS; // without /proc there is no way to reopen what was checked
    }
    return file;
}

int changeModeOfFound(int pathFd, unsigned mode)
{
    return ::chmod(procPath(pathFd).c_str(), mode & 07777) == 0 ? 0 : errno;
}

bool isAppendOnlyOrImmutable(int fd)
{
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL));
}

} // namespace platform
