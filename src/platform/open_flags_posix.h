#pragma once

// The system's open flags for platform::OpenFlag, for the *_posix.cpp files that open.

#include "platform/file_calls.h"

#include <fcntl.h>

namespace platform {

inline int systemOpenFlags(unsigned flags)
{
    int system = O_CLOEXEC | ((flags & WriteOnly) ? O_WRONLY : O_RDONLY);
    if (flags & PathOnly)
        system |= O_PATH;
    if (flags & FolderOnly)
        system |= O_DIRECTORY;
    if (flags & NoFollow)
        system |= O_NOFOLLOW;
    if (flags & Create)
        system |= O_CREAT;
    if (flags & Exclusive)
        system |= O_EXCL;
    if (flags & Truncate)
        system |= O_TRUNC;
    if (flags & NoTerminal)
        system |= O_NOCTTY;
    if (flags & NonBlocking)
        system |= O_NONBLOCK;
    if (flags & PastCache)
        system |= O_DIRECT;
    if (flags & Unnamed)
        system |= O_TMPFILE;
    return system;
}

} // namespace platform
