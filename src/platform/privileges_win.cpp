#include "platform/privileges.h"

namespace platform {

// Windows has no uid 0; the embedded browser's sandbox works for administrators too.
bool runningAsRoot()
{
    return false;
}

} // namespace platform
