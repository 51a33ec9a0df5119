#include "platform/random_bytes.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

int fillRandom(void *data, std::size_t size)
{
    auto *bytes = static_cast<unsigned char *>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::getrandom(bytes + got, size - got, 0);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

} // namespace platform
