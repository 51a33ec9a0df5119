#include "platform/capabilities.h"

namespace platform {

bool hasCapability(Capability)
{
    return false;
}

} // namespace platform
