#include "platform/capabilities.h"

namespace platform {

bool hasCapability(Capability)
{
    return false;
}

bool actsAsUser(unsigned)
{
    return false;
}

bool actsInGroup(unsigned)
{
    return false;
}

} // namespace platform
