#pragma once

// What the wipe and the shredder ask of the storage under a file system: writing back a
// file's new pages a window at a time, and telling the device which blocks are free. Plain C++.

#include <cstdint>

namespace platform {

// Asks the system to start writing [from, from + length) of the file to the device and
// returns without waiting. It promises nothing about the data's safety: 0 says only that
// the request was taken; an errno is a failure the caller must treat as a failed write.
int startWriteBack(int fd, std::uint64_t from, std::uint64_t length);

// Writes [from, from + length) of the file to the device and waits for those pages. It
// neither writes the file's metadata nor flushes the device's own cache, so it is no
// substitute for syncData. It does report, and so use up, any write error the system
// recorded for the file: once it has returned EIO a later syncData may return 0, so its
// error is the write's failure and must not be dropped.
int finishWriteBack(int fd, std::uint64_t from, std::uint64_t length);

// Asks the device under the file system that holds the open folder `folderFd` to discard
// its free blocks; `trimmed` is how many bytes it did. 0, or the errno of the failure.
int trimFreeBlocks(int folderFd, std::uint64_t &trimmed);

} // namespace platform
