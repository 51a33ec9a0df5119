#include "cleanup/files/files_in_use.h"

#include "platform/unique_dir.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace cleanup::files {

namespace {

bool isNumber(const char *name)
{
    if (*name == '\0')
        return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

} // namespace

FilesInUse::FilesInUse()
{
    const platform::UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const platform::UniqueDir processes = proc.valid() ? platform::UniqueDir::listing(proc.get()) : platform::UniqueDir();
    if (!processes)
        return;
    while (const dirent *process = ::readdir(processes.get())) {
        if (!isNumber(process->d_name))
            continue;
        const platform::UniqueFd fds(
            ::openat(proc.get(), (std::string(process->d_name) + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fds.valid()) {
            // Gone meanwhile is nothing; not ours to look into is a blind spot.
            if (errno == EACCES || errno == EPERM)
                ++m_unreadable;
            continue;
        }
        const platform::UniqueDir list = platform::UniqueDir::listing(fds.get());
        if (!list)
            continue;
        while (const dirent *fd = ::readdir(list.get())) {
            if (!isNumber(fd->d_name))
                continue;
            // Following the descriptor's link reaches the open file itself, even a deleted one.
            struct stat st;
            if (::fstatat(fds.get(), fd->d_name, &st, 0) == 0 && !S_ISDIR(st.st_mode))
                m_files.insert({quint64(st.st_dev), quint64(st.st_ino)});
        }
    }
}

} // namespace cleanup::files
