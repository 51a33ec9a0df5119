#include "platform/entry_calls.h"

#include <cerrno>

namespace platform {

// The shredder's way of reaching exactly what it looked at has no counterpart here yet.

int entryStatus(int, const std::string &, EntryStatus &)
{
    return ENOSYS;
}

UniqueFd openNoLinks(const std::string &, unsigned, int &error)
{
    error = ENOSYS;
    return UniqueFd();
}

int renameNoReplace(int, const std::string &, const std::string &)
{
    return ENOSYS;
}

UniqueFd reopenFound(int, unsigned, int &error)
{
    error = ENOSYS;
    return UniqueFd();
}

int changeModeOfFound(int, unsigned)
{
    return ENOSYS;
}

bool isAppendOnlyOrImmutable(int)
{
    return false;
}

} // namespace platform
