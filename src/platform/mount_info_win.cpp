#include "platform/mount_info.h"

namespace platform {

// No such table here; drives come from the volume list instead.
std::vector<MountEntry> readMountInfo()
{
    return {};
}

// Nor device numbers that the table would name.
std::string deviceNumberText(std::uint64_t)
{
    return {};
}

// Nor mount ids.
std::uint64_t mountIdOf(int, MountIdSource)
{
    return 0;
}

} // namespace platform
