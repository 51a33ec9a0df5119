#include "shredder/storage.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace shredder {

namespace {

namespace fs = std::filesystem;

std::string readFirstLine(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

Medium combine(Medium a, Medium b)
{
    if (a == Medium::Flash || b == Medium::Flash)
        return Medium::Flash;
    if (a == Medium::Unknown || b == Medium::Unknown)
        return Medium::Unknown;
    return Medium::Rotating;
}

// The medium under a block device: a partition asks its disk, a device mapper or RAID
// device asks every device below it, a loop device asks the file system of its backing
// file; the rest say it in queue/rotational.
Medium blockMedium(dev_t device, int depth)
{
    if (depth > 8)
        return Medium::Unknown;
    std::error_code error;
    fs::path node = fs::canonical(fs::path("/sys/dev/block") / platform::deviceNumberText(device), error);
    if (error)
        return Medium::Unknown;
    if (fs::exists(node / "partition", error))
        node = node.parent_path();

    const std::string backing = readFirstLine(node / "loop" / "backing_file");
    if (!backing.empty()) {
        struct stat info {};
        if (::stat(backing.c_str(), &info) != 0)
            return Medium::Unknown;
        if (major(info.st_dev) == 0) {
            const std::vector<MountRecord> table = platform::readMountInfo();
            const MountRecord *mount = platform::findMount(table, info.st_dev);
            struct stat source {};
            if (!mount || ::stat(mount->source.c_str(), &source) != 0 || !S_ISBLK(source.st_mode))
                return Medium::Unknown;
            return blockMedium(source.st_rdev, depth + 1);
        }
        return blockMedium(info.st_dev, depth + 1);
    }

    bool anySlave = false;
    Medium medium = Medium::Rotating;
    for (const auto &slave : fs::directory_iterator(node / "slaves", error)) {
        const std::string number = readFirstLine(slave.path() / "dev");
        unsigned maj = 0, min = 0;
        if (std::sscanf(number.c_str(), "%u:%u", &maj, &min) != 2)
            return Medium::Unknown;
        medium = combine(medium, blockMedium(makedev(maj, min), depth + 1));
        anySlave = true;
    }
    if (anySlave)
        return medium;

    const std::string rotational = readFirstLine(node / "queue" / "rotational");
    if (rotational == "0")
        return Medium::Flash;
    if (rotational == "1")
        return Medium::Rotating;
    return Medium::Unknown;
}

bool isOneOf(std::string_view type, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), type) != names.end();
}

} // namespace

bool hasMountOption(const std::string &options, std::string_view name)
{
    for (std::size_t start = 0; start <= options.size();) {
        std::size_t end = options.find(',', start);
        if (end == std::string::npos)
            end = options.size();
        const std::string_view option = std::string_view(options).substr(start, end - start);
        if (option == name || (option.size() > name.size() && option.substr(0, name.size()) == name && option[name.size()] == '='))
            return true;
        start = end + 1;
    }
    return false;
}

DeviceFacts describeDevice(dev_t device)
{
    DeviceFacts facts;
    const std::vector<MountRecord> table = platform::readMountInfo();
    const MountRecord *found = platform::findMount(table, device);
    if (!found)
        return facts;
    const MountRecord &mount = *found;
    facts.fsType = mount.fsType;
    facts.options = mount.superOptions;
    if (major(device) != 0) {
        facts.medium = blockMedium(device, 0);
        return facts;
    }
    // btrfs and others hand out anonymous device numbers; the mount source names the disk.
    struct stat source {};
    if (mount.source.rfind("/dev/", 0) == 0 && ::stat(mount.source.c_str(), &source) == 0 && S_ISBLK(source.st_mode))
        facts.medium = blockMedium(source.st_rdev, 0);
    else
        facts.medium = Medium::NoDevice;
    return facts;
}

unsigned warningsFor(const DeviceFacts &facts)
{
    const std::string_view type = facts.fsType;
    unsigned warnings = 0;
    if (isOneOf(type, {"btrfs", "zfs", "f2fs", "nilfs2", "bcachefs"}))
        warnings |= CopyOnWrite;
    if (isOneOf(type, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "glusterfs", "fuse.glusterfs", "sshfs",
                       "fuse.sshfs", "afs", "ncpfs", "lustre", "fuse.rclone", "davfs", "fuse.davfs2", "fuse.s3fs",
                       "fuse.gvfsd-fuse", "fuse.cephfs", "virtiofs"}))
        warnings |= NetworkStorage;
    else if (type.rfind("fuse", 0) == 0 && !isOneOf(type, {"fuseblk", "fuse.ntfs-3g"}))
        warnings |= UnknownStorage; // a user-space file system can store data anywhere
    if (isOneOf(type, {"tmpfs", "ramfs"}))
        warnings |= InMemory;
    if (isOneOf(type, {"ext3", "ext4"}) && hasMountOption(facts.options, "data=journal"))
        warnings |= JournalledData;
    if (isOneOf(type, {"overlay", "aufs", "unionfs"}))
        warnings |= Overlay;
    if (facts.medium == Medium::Flash)
        warnings |= FlashStorage;
    else if (facts.medium == Medium::Unknown && !(warnings & (NetworkStorage | Overlay | InMemory)))
        warnings |= UnknownStorage;
    return warnings;
}

} // namespace shredder
