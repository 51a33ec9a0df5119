#include "platform/storage_calls.h"

#include <cerrno>

namespace platform {

// The system writes back on its own here.
void startWriteBack(int, std::uint64_t, std::uint64_t) {}
void finishWriteBack(int, std::uint64_t, std::uint64_t) {}

int trimFreeBlocks(int, std::uint64_t &)
{
    return ENOSYS;
}

} // namespace platform
