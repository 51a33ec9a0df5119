#pragma once

// The system's open flags for platform::OpenFlag, for the *_posix.cpp files that open.

#include "platform/file_calls.h"

#include <fcntl.h>

namespace platform {

inline int systemOpenFlags(unsigned flags)
{
    static constexpr struct
    {
        unsigned ours;
        int system;
    } table[] = {
        {PathOnly, O_PATH},     {FolderOnly, O_DIRECTORY}, {NoFollow, O_NOFOLLOW},   {Create, O_CREAT},
        {Exclusive, O_EXCL},    {Truncate, O_TRUNC},       {NoTerminal, O_NOCTTY},   {NonBlocking, O_NONBLOCK},
        {PastCache, O_DIRECT},  {Unnamed, O_TMPFILE},
    };
    int system = O_CLOEXEC | ((flags & WriteOnly) ? O_WRONLY : O_RDONLY);
    for (const auto &flag : table) {
        if (flags & flag.ours)
            system |= flag.system;
    }
    return system;
}

} // namespace platform
