#include "platform/mount_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace platform {

namespace {

std::uint64_t mountIdFromStatus(int fd)
{
    struct statx seen {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &seen) != 0 || !(seen.stx_mask & STATX_MNT_ID))
        return 0;
    return seen.stx_mnt_id;
}

std::uint64_t mountIdFromHandle(int fd)
{
    // The mount id comes with the handle; a file system without handles gives none.
    const auto handle = std::make_unique<unsigned char[]>(sizeof(file_handle) + MAX_HANDLE_SZ);
    auto *h = reinterpret_cast<file_handle *>(handle.get());
    h->handle_bytes = MAX_HANDLE_SZ;
    int id = -1;
    if (::name_to_handle_at(fd, "", h, &id, AT_EMPTY_PATH) != 0 || id < 0)
        return 0;
    return std::uint64_t(id);
}

std::uint64_t mountIdFromFdInfo(int fd)
{
    std::ifstream in("/proc/self/fdinfo/" + std::to_string(fd));
    std::string line;
    for (int lines = 0; lines < 64 && std::getline(in, line); ++lines) {
        if (line.rfind("mnt_id:", 0) == 0) {
            char *end = nullptr;
            const unsigned long long id = std::strtoull(line.c_str() + 7, &end, 10);
            return end != line.c_str() + 7 ? id : 0;
        }
    }
    return 0;
}

} // namespace

std::vector<MountEntry> readMountInfo()
{
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseMountInfo(text);
}

std::string deviceNumberText(std::uint64_t device)
{
    return std::to_string(major(device)) + ':' + std::to_string(minor(device));
}

std::uint64_t mountIdOf(int fd, MountIdSource from)
{
    std::uint64_t id = 0;
    if (from == MountIdSource::Any || from == MountIdSource::Status)
        id = mountIdFromStatus(fd);
    if (!id && (from == MountIdSource::Any || from == MountIdSource::FileHandle))
        id = mountIdFromHandle(fd);
    if (!id && (from == MountIdSource::Any || from == MountIdSource::FdInfo))
        id = mountIdFromFdInfo(fd);
    return id;
}

} // namespace platform
