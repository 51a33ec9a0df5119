#include "platform/storage_medium.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string readFirstLine(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

StorageMedium combine(StorageMedium a, StorageMedium b)
{
    if (a == StorageMedium::Flash || b == StorageMedium::Flash)
        return StorageMedium::Flash;
    if (a == StorageMedium::Unknown || b == StorageMedium::Unknown)
        return StorageMedium::Unknown;
    return StorageMedium::Rotating;
}

// The medium under a block device: a partition asks its disk, a device mapper or RAID
// device asks every device below it, a loop device asks the file system of its backing
// file; the rest say it in queue/rotational.
StorageMedium blockMedium(std::uint64_t device, int depth)
{
    if (depth > 8)
        return StorageMedium::Unknown;
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/dev/block") / deviceNumberText(device), error);
    if (error)
        return StorageMedium::Unknown;
    if (fs::exists(node / "partition", error))
        node = node.parent_path();

    const std::string backing = readFirstLine(node / "loop" / "backing_file");
    if (!backing.empty()) {
        struct stat info {};
        if (::stat(backing.c_str(), &info) != 0)
            return StorageMedium::Unknown;
        if (major(info.st_dev) == 0) {
            const std::vector<MountEntry> table = readMountInfo();
            const MountEntry *mount = findMount(table, info.st_dev);
            struct stat source {};
            if (!mount || ::stat(mount->source.c_str(), &source) != 0 || !S_ISBLK(source.st_mode))
                return StorageMedium::Unknown;
            return blockMedium(source.st_rdev, depth + 1);
        }
        return blockMedium(info.st_dev, depth + 1);
    }

    bool anySlave = false;
    StorageMedium medium = StorageMedium::Rotating;
    for (const auto &slave : fs::directory_iterator(node / "slaves", error)) {
        const std::string number = readFirstLine(slave.path() / "dev");
        unsigned maj = 0, min = 0;
        if (std::sscanf(number.c_str(), "%u:%u", &maj, &min) != 2)
            return StorageMedium::Unknown;
        medium = combine(medium, blockMedium(makedev(maj, min), depth + 1));
        anySlave = true;
    }
    if (anySlave)
        return medium;

    const std::string rotational = readFirstLine(node / "queue" / "rotational");
    if (rotational == "0")
        return StorageMedium::Flash;
    if (rotational == "1")
        return StorageMedium::Rotating;
    return StorageMedium::Unknown;
}

} // namespace

StorageMedium mediumOf(std::uint64_t device, const MountEntry &mount)
{
    if (major(device) != 0)
        return blockMedium(device, 0);
    // btrfs and others hand out anonymous device numbers; the mount source names the disk.
    struct stat source {};
    if (mount.source.rfind("/dev/", 0) == 0 && ::stat(mount.source.c_str(), &source) == 0 && S_ISBLK(source.st_mode))
        return blockMedium(source.st_rdev, 0);
    return StorageMedium::NoDevice;
}

} // namespace platform
