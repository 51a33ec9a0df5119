#include "platform/graphics_driver.h"

namespace platform {

// Windows loads its OpenGL driver from the display adapter's own entries; nothing to guess.
bool loadGraphicsDriverAhead()
{
    return false;
}

} // namespace platform
