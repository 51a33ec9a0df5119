#pragma once

// Owning a file descriptor, and writing all of a buffer through one. Plain C++ with no
// system header here, so the shredder core and the window's code share one owner.

#include <cstddef>
#include <cstdint>

namespace platform {

// Closes a descriptor when it goes out of scope; -1 owns nothing.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Closes what it owns, keeping errno as it was, and takes `fd`.
    void reset(int fd = -1);

private:
    int m_fd;
};

// Writes all `size` bytes at `offset`, going on after a short write or an interruption.
// 0, or the errno of the failure; a write that takes nothing is EIO, so it can't loop.
int pwriteAll(int fd, const void *data, std::size_t size, std::int64_t offset);

} // namespace platform
