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

// Looks up the file system that a device number (st_dev) belongs to. The real one reads
// the mount table and sysfs; tests pass their own.
using DescribeDevice = std::function<DeviceFacts(std::uint64_t device)>;
DeviceFacts describeDevice(std::uint64_t device);

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

// A line of the mount table (platform::readMountInfo), names as bytes.
using MountRecord = platform::MountEntry;

// Whether a comma-separated option list holds `name`, alone or as `name=value`.
bool hasMountOption(const std::string &options, std::string_view name);

} // namespace shredder
