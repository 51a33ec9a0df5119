#pragma once

// An advisory lock on an open file, held by that open file (not by the process): a second
// open of the same file, in this process or another, doesn't get it while the first holds
// it, and it goes when the file is closed, however the holder ends. Plain C++.

namespace platform {

// Takes the file's exclusive lock without waiting: 0, EWOULDBLOCK while another open file
// holds it, or another errno.
int tryLockFile(int fd);

} // namespace platform
