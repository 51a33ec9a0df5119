#include "platform/unique_fd.h"

#include <io.h>

#include <cerrno>

namespace platform {

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0) {
        const int error = errno;
        ::_close(m_fd);
        errno = error;
    }
    m_fd = fd;
}

// No positioned write on a C runtime descriptor.
int pwriteAll(int, const void *, std::size_t, std::int64_t)
{
    return ENOSYS;
}

} // namespace platform
