#include "platform/file_lock.h"

#include <cerrno>

namespace platform {

// The shredder core's file calls have no counterpart here yet.
int tryLockFile(int)
{
    return ENOSYS;
}

} // namespace platform
