#include "platform/random_bytes.h"

#include <cerrno>

namespace platform {

int fillRandom(void *, std::size_t)
{
    return ENOSYS;
}

} // namespace platform
