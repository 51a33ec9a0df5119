#include "platform/storage_calls.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <climits>

namespace platform {

int startWriteBack(int fd, std::uint64_t from, std::uint64_t length)
{
    if (::sync_file_range(fd, static_cast<off_t>(from), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE) != 0)
        return errno;
    return 0;
}

int finishWriteBack(int fd, std::uint64_t from, std::uint64_t length)
{
    // Waiting afterwards takes the file's recorded write error for itself: it is returned
    // here or nowhere.
    if (::sync_file_range(fd, static_cast<off_t>(from), static_cast<off_t>(length),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0)
        return errno;
    return 0;
}

int trimFreeBlocks(int folderFd, std::uint64_t &trimmed)
{
    fstrim_range range{0, ULLONG_MAX, 0};
    if (::ioctl(folderFd, FITRIM, &range) != 0)
        return errno;
    trimmed = range.len;
    return 0;
}

} // namespace platform
