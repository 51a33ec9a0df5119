#pragma once

// What holds a mounted file system's blocks, as far as the system tells. Plain C++.

#include "platform/mount_info.h"

#include <cstdint>

namespace platform {

enum class StorageMedium { Unknown, Rotating, Flash, NoDevice };

// The medium under the file system of device number `device` (st_dev), mounted as `mount`
// says: a partition asks its disk, a device mapper or RAID device every device below it, a
// loop device the file system of its backing file. NoDevice for a file system with no
// block device at all (tmpfs, a network share).
StorageMedium mediumOf(std::uint64_t device, const MountEntry &mount);

} // namespace platform
