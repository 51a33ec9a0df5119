#include "cli/console.h"

namespace cli {

namespace {

// The one place a signal handler can reach; lock-free atomics are safe to store to from one.
std::atomic<bool> &stopFlag()
{
    static std::atomic<bool> flag{false};
    return flag;
}

std::atomic<int> &stopCode()
{
    static std::atomic<int> code{0};
    return code;
}

} // namespace

void detail::noteStop(int exitCode)
{
    int none = 0;
    stopCode().compare_exchange_strong(none, exitCode);
    stopFlag().store(true);
}

void detail::prepareStopState()
{
    static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);
    stopFlag();
    stopCode();
}

const std::atomic<bool> &stopRequested()
{
    return stopFlag();
}

int stopExitCode()
{
    return stopCode().load();
}

} // namespace cli
