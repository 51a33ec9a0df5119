#pragma once

// Owning an open folder listing, for the *_posix.cpp files that read folders.

#include "platform/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <memory>

namespace platform {

struct CloseDir
{
    void operator()(DIR *dir) const
    {
        const int error = errno;
        ::closedir(dir);
        errno = error;
    }
};

class UniqueDir : public std::unique_ptr<DIR, CloseDir>
{
public:
    using std::unique_ptr<DIR, CloseDir>::unique_ptr;

    // A listing of the folder at `path`; empty with errno set when it can't be opened.
    static UniqueDir open(const char *path) { return UniqueDir(::opendir(path)); }

    // A listing of an open folder, on a copy of its descriptor: fdopendir takes over what it
    // is given, and the caller keeps its own for the *at calls. Empty with errno set.
    static UniqueDir listing(int folderFd)
    {
        UniqueFd copy(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
        if (!copy.valid())
            return UniqueDir();
        UniqueDir dir(::fdopendir(copy.get()));
        if (dir)
            copy.release();
        return dir;
    }
};

} // namespace platform
