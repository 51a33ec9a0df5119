#include "platform/unique_fd.h"

#include <unistd.h>

#include <cerrno>

namespace platform {

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0) {
        const int error = errno;
        ::close(m_fd);
        errno = error;
    }
    m_fd = fd;
}

int pwriteAll(int fd, const void *data, std::size_t size, std::int64_t offset)
{
    const auto *next = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, next, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        next += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return 0;
}

} // namespace platform
