#include "shredder/storage.h"

#include <algorithm>
#include <string_view>

namespace shredder {

namespace {

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

DeviceFacts describeDevice(FileSystemKey where)
{
    DeviceFacts facts;
    const std::vector<MountRecord> table = platform::readMountInfo();
    const MountRecord *found = platform::findMountById(table, where.mount);
    if (!found)
        found = platform::findMount(table, where.device);
    if (!found)
        return facts;
    facts.fsType = found->fsType;
    facts.options = found->superOptions;
    facts.medium = platform::mediumOf(where.device, *found);
    return facts;
}

bool isKernelInterface(const DeviceFacts &facts)
{
    return isOneOf(facts.fsType, {"proc", "sysfs", "cgroup", "cgroup2", "devtmpfs", "devpts", "debugfs", "tracefs",
                                  "securityfs", "configfs", "efivarfs", "bpf", "pstore", "fusectl", "selinuxfs",
                                  "binfmt_misc", "mqueue", "nsfs", "rpc_pipefs"});
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
