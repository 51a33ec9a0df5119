#pragma once

// The mount table as the kernel lists it in /proc/self/mountinfo. Plain C++, so the shredder
// core reads it too; mount points are names anyone who may mount (a USB stick, FUSE)
// chooses, so the parser takes any text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One line of the table, its octal escapes (\040 for a blank) undone; names stay bytes.
struct MountEntry
{
    std::uint64_t id = 0;     // the mount's id, as statx's STATX_MNT_ID gives it
    std::string device;       // "MAJ:MIN"
    std::string root;         // the part of the file system mounted here
    std::string mountPoint;
    std::string mountOptions; // this mount's own: "rw,relatime"
    std::string fsType;
    std::string source;
    std::string superOptions; // the file system's: "rw,data=journal"
};

// Parses mountinfo text; lines that don't have the expected shape are passed over.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// This process's mount table, in the order the kernel lists it; empty where there is none.
std::vector<MountEntry> readMountInfo();

// A device number (st_dev) as the table writes it: "MAJ:MIN".
std::string deviceNumberText(std::uint64_t device);

// The first mount of a device number in the table, or null.
const MountEntry *findMount(const std::vector<MountEntry> &table, std::uint64_t device);

// The mount with this id, or null. Unlike the device number, the id names the mount of any
// file system: btrfs gives its files device numbers the table doesn't list.
const MountEntry *findMountById(const std::vector<MountEntry> &table, std::uint64_t id);

// Where the kernel is asked for an open file's mount id.
enum class MountIdSource {
    Any,        // the first that answers, in the order below
    Status,     // statx (Linux 5.8)
    FileHandle, // name_to_handle_at (Linux 2.6.39, where the file system has handles)
    FdInfo,     // /proc/self/fdinfo (Linux 3.15)
};

// The id of the mount that the open file `fd` was reached through; 0 where none is known.
std::uint64_t mountIdOf(int fd, MountIdSource from = MountIdSource::Any);

} // namespace platform
