#include "platform/storage_calls.h"

#include <cerrno>

namespace platform {

// The system writes back on its own here.
int startWriteBack(int, std::uint64_t, std::uint64_t) { return 0; }
int finishWriteBack(int, std::uint64_t, std::uint64_t) { return 0; }

int trimFreeBlocks(int, std::uint64_t &)
{
    return ENOSYS;
}

} // namespace platform
