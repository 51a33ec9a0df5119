#include "platform/mount_info.h"

#include <sys/sysmacros.h>

#include <fstream>
#include <iterator>

namespace platform {

std::vector<MountEntry> readMountInfo()
{
    std::ifstream in("/proc/self/mountinfo", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parseMountInfo(text);
}

std::string deviceNumberText(std::uint64_t device)
{
    return std::to_string(major(device)) + ':' + std::to_string(minor(device));
}

} // namespace platform
