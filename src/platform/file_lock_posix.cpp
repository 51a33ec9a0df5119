#include "platform/file_lock.h"

#include <sys/file.h>

#include <cerrno>

namespace platform {

int tryLockFile(int fd)
{
    // flock's lock belongs to the open file description: the kernel lets go of it at exit,
    // even at SIGKILL, so a killed run's records are free again.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno == EAGAIN ? EWOULDBLOCK : errno;
    }
    return 0;
}

} // namespace platform
