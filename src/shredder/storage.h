#pragma once

#include "platform/mount_info.h"
#include "platform/storage_medium.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shredder {

// What kind of medium holds a file system's blocks.
using Medium = platform::StorageMedium;

// The facts about a mounted file system that decide whether overwriting in place really
// reaches the old blocks.
struct DeviceFacts
{
    std::string fsType; // as the mount table names it: "ext4", "btrfs", "fuse.sshfs"
    Medium medium = Medium::Unknown;
    std::string options; // the file system's own mount options: "rw,data=journal"
};

// Which mounted file system an entry is on: its device number (st_dev) and the id of the
// mount it was reached through (0 where the kernel gives none). The device number alone
// misses btrfs, whose subvolumes have numbers the mount table doesn't list; the mount id
// finds every one. A bare device number still converts, for callers that know no more.
struct FileSystemKey
{
    FileSystemKey(std::uint64_t device = 0, std::uint64_t mount = 0) : device(device), mount(mount) {}
    operator std::uint64_t() const { return device; }
    bool operator<(const FileSystemKey &other) const
    {
        return device != other.device ? device < other.device : mount < other.mount;
    }

    std::uint64_t device;
    std::uint64_t mount;
};

// Looks up the file system an entry is on: by mount id, else by device number. The real one
// reads the mount table and sysfs; tests pass their own.
using DescribeDevice = std::function<DeviceFacts(FileSystemKey where)>;
DeviceFacts describeDevice(FileSystemKey where);

// Reasons why overwriting may leave the old data somewhere, one bit each.
enum Warning : unsigned {
    CopyOnWrite = 1u << 0,    // btrfs, zfs, f2fs, nilfs2, bcachefs write new data elsewhere
    FlashStorage = 1u << 1,   // wear levelling moves writes to fresh cells
    NetworkStorage = 1u << 2, // the server keeps its own caches and snapshots
    OtherHardLinks = 1u << 3, // the same data is reachable under other names
    InMemory = 1u << 4,       // tmpfs pages may have gone to swap
    Overlay = 1u << 5,        // a file from a lower layer stays there untouched
    UnknownStorage = 1u << 6, // the medium could not be told
    JournalledData = 1u << 7, // ext3/ext4 data=journal: the journal holds whole copies of the content
};

unsigned warningsFor(const DeviceFacts &facts);

// Whether the file system is one of the kernel's interfaces (proc, sysfs, cgroup, efivarfs,
// devtmpfs...): its files are settings, triggers and device nodes, never stored data.
bool isKernelInterface(const DeviceFacts &facts);

// A line of the mount table (platform::readMountInfo), names as bytes.
using MountRecord = platform::MountEntry;

// Whether a comma-separated option list holds `name`, alone or as `name=value`.
bool hasMountOption(const std::string &options, std::string_view name);

} // namespace shredder
