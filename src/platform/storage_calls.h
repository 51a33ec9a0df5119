#pragma once

// What the wipe and the shredder ask of the storage under a file system: writing back a
// file's new pages a window at a time, and telling the device which blocks are free. Plain C++.

#include <cstdint>

namespace platform {

// Starts writing back [from, from + length) of the file without waiting for it.
void startWriteBack(int fd, std::uint64_t from, std::uint64_t length);
// Writes back [from, from + length) of the file and waits until it is on the device.
void finishWriteBack(int fd, std::uint64_t from, std::uint64_t length);

// Asks the device under the file system that holds the open folder `folderFd` to discard
// its free blocks; `trimmed` is how many bytes it did. 0, or the errno of the failure.
int trimFreeBlocks(int folderFd, std::uint64_t &trimmed);

} // namespace platform
