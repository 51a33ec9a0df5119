#include "shredder/shredder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio> // renameat2, RENAME_NOREPLACE
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace shredder {

namespace {

constexpr std::size_t chunkSize = 1 << 20;
constexpr std::size_t bufferAlignment = 4096;

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// xoshiro256**: several gigabytes a second from one core, far beyond any disk, seeded from
// the kernel's generator so no two runs write the same bytes.
class Xoshiro
{
public:
    Xoshiro()
    {
        std::size_t got = 0;
        auto *bytes = reinterpret_cast<unsigned char *>(m_state);
        while (got < sizeof m_state) {
            const ssize_t n = ::getrandom(bytes + got, sizeof m_state - got, 0);
            if (n > 0)
                got += static_cast<std::size_t>(n);
            else if (errno != EINTR)
                std::abort(); // never write predictable "random" data
        }
        if (!(m_state[0] | m_state[1] | m_state[2] | m_state[3]))
            m_state[0] = 1;
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = rotl(m_state[3], 45);
        return result;
    }

    void fill(unsigned char *data, std::size_t size)
    {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8) {
            const std::uint64_t value = next();
            std::memcpy(data + i, &value, 8);
        }
        if (i < size) {
            const std::uint64_t value = next();
            std::memcpy(data + i, &value, size - i);
        }
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t m_state[4];
};

std::uint64_t roundUp(std::uint64_t size, std::uint64_t block)
{
    return block ? (size + block - 1) / block * block : size;
}

std::vector<std::string> entryNames(int dirFd, int &error)
{
    std::vector<std::string> names;
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (!dir) {
        error = errno;
        if (copy >= 0)
            ::close(copy);
        return names;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
        errno = 0;
    }
    error = errno;
    ::closedir(dir);
    return names;
}

bool writeAll(int fd, const unsigned char *data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// The parent folder and the last name of a path; "a/b/" names b.
bool splitPath(const std::string &path, std::string &parent, std::string &name)
{
    namespace fs = std::filesystem;
    fs::path full = fs::path(path).lexically_normal();
    if (!full.has_filename() && full.has_relative_path())
        full = full.parent_path();
    name = full.filename().string();
    if (name.empty() || name == "." || name == "..")
        return false;
    parent = full.has_parent_path() ? full.parent_path().string() : std::string(".");
    return true;
}

bool writableFolder(int dirFd) { return ::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) == 0; }

void scanFolder(int parentFd, const std::string &name, dev_t device, Plan &plan, const std::atomic<bool> *stop)
{
    Descriptor dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!dir.valid() || ::fstat(dir.get(), &info) != 0 || info.st_dev != device)
        return;
    int error = 0;
    for (const std::string &entry : entryNames(dir.get(), error)) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        if (::fstatat(dir.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            scanFolder(dir.get(), entry, device, plan, stop);
        } else if (S_ISREG(info.st_mode)) {
            plan.size += static_cast<std::uint64_t>(info.st_size);
            plan.passBytes += roundUp(static_cast<std::uint64_t>(info.st_size), info.st_blksize);
            ++plan.files;
            if (info.st_nlink > 1)
                plan.warnings |= OtherHardLinks;
        }
    }
}

} // namespace

Plan scan(const std::string &path, const DescribeDevice &describe, const std::atomic<bool> *stop)
{
    Plan plan;
    std::string parent, name;
    if (!splitPath(path, parent, name)) {
        plan.error = EINVAL;
        return plan;
    }
    Descriptor dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!dir.valid() || ::fstatat(dir.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        plan.error = errno;
        return plan;
    }
    if (S_ISREG(info.st_mode)) {
        plan.kind = ItemKind::File;
        plan.size = static_cast<std::uint64_t>(info.st_size);
        plan.passBytes = roundUp(plan.size, info.st_blksize);
        plan.files = 1;
        if (info.st_nlink > 1)
            plan.warnings |= OtherHardLinks;
    } else if (S_ISDIR(info.st_mode)) {
        plan.kind = ItemKind::Folder;
        scanFolder(dir.get(), name, info.st_dev, plan, stop);
    } else {
        plan.kind = S_ISLNK(info.st_mode) ? ItemKind::Link : ItemKind::Special;
        return plan; // only a name goes: no data is overwritten, so nothing to warn about
    }
    const DeviceFacts facts = describe(info.st_dev);
    plan.fsType = facts.fsType;
    plan.warnings |= warningsFor(facts);
    return plan;
}

struct Shredder::Buffer
{
    Buffer() : data(static_cast<unsigned char *>(std::aligned_alloc(bufferAlignment, chunkSize)))
    {
        if (!data)
            throw std::bad_alloc();
    }
    ~Buffer() { std::free(data); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;
    unsigned char *data;
    Xoshiro random;
};

// One item's account: the first failure and how many there were.
struct Shredder::Run
{
    bool cancelled = false;
    int error = 0;
    std::string where;
    std::uint64_t failures = 0;

    void fail(int systemError, const std::string &path)
    {
        if (!failures++) {
            error = systemError;
            where = path;
        }
    }
};

Shredder::Shredder(Options options, const std::atomic<bool> *stop)
    : m_options(options), m_stop(stop), m_buffer(std::make_unique<Buffer>())
{
    m_options.passes = std::max(m_options.passes, 1); // never remove a file without overwriting it
}

Shredder::~Shredder() = default;

Outcome Shredder::shred(const std::string &path)
{
    Run run;
    std::string parent, name;
    if (stopped()) {
        run.cancelled = true;
    } else if (!splitPath(path, parent, name)) {
        run.fail(EINVAL, path);
    } else if (Descriptor dir(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); !dir.valid()) {
        run.fail(errno, path);
    } else {
        struct stat info {};
        if (::fstatat(dir.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            run.fail(errno, path);
        } else if (!writableFolder(dir.get())) {
            run.fail(errno, path); // checked first, so nothing is overwritten that can't be removed
        } else if (S_ISDIR(info.st_mode)) {
            shredFolder(dir.get(), name, path, info.st_dev, run);
        } else if (S_ISREG(info.st_mode)) {
            shredFile(dir.get(), name, path, info, run);
        } else {
            removeEntry(dir.get(), name, path, 0, run);
        }
        if (::fsync(dir.get()) != 0 && errno != EINVAL && !run.failures)
            run.fail(errno, path);
    }

    Outcome outcome;
    outcome.status = run.cancelled ? Status::Cancelled : run.failures ? Status::Failed : Status::Shredded;
    outcome.error = run.error;
    outcome.where = run.where == path ? std::string() : run.where;
    outcome.failures = run.failures;
    return outcome;
}

// `seen` is what the caller found under the name. Records its own failure; a cancel leaves
// the file in place and marks the run cancelled.
void Shredder::shredFile(int dirFd, const std::string &name, const std::string &path, const struct stat &seen, Run &run)
{
    // O_NONBLOCK: should a FIFO have taken the name since the check, opening it must not hang.
    constexpr int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    Descriptor file(::openat(dirFd, name.c_str(), flags));
    if (!file.valid() && errno == EACCES && seen.st_uid == ::geteuid() && !(seen.st_mode & S_IWUSR)) {
        // Our own write-protected file: we may delete it anyway, so lift the protection.
        // Never through a link that may have taken the name meanwhile.
        if (::fchmodat(dirFd, name.c_str(), (seen.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0) {
            file.reset(::openat(dirFd, name.c_str(), flags));
            if (!file.valid()) {
                const int error = errno;
                ::fchmodat(dirFd, name.c_str(), seen.st_mode & 07777, AT_SYMLINK_NOFOLLOW);
                run.fail(error, path);
                return;
            }
        } else {
            errno = EACCES;
        }
    }
    if (!file.valid()) {
        run.fail(errno == ELOOP || errno == ENXIO ? ENOENT : errno, path);
        return;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        run.fail(errno, path);
        return;
    }
    if (!S_ISREG(info.st_mode) || info.st_ino != seen.st_ino || info.st_dev != seen.st_dev) {
        run.fail(ENOENT, path); // the file we looked at has been replaced
        return;
    }

    if (onProgress)
        onProgress(m_bytesDone, path);
    const std::uint64_t end = roundUp(static_cast<std::uint64_t>(info.st_size), info.st_blksize);
    for (int pass = 0; pass < m_options.totalPasses(); ++pass) {
        const bool zeros = pass >= m_options.passes;
        if (zeros) // only as much as this file's chunks will write
            std::memset(m_buffer->data, 0, static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, end)));
        for (std::uint64_t offset = 0; offset < end; offset += chunkSize) {
            if (stopped()) {
                run.cancelled = true;
                return;
            }
            const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, end - offset));
            if (!zeros)
                m_buffer->random.fill(m_buffer->data, size);
            if (!writeAll(file.get(), m_buffer->data, size, static_cast<off_t>(offset))) {
                run.fail(errno, path);
                return;
            }
            m_bytesDone += size;
            if (onProgress)
                onProgress(m_bytesDone, path);
        }
        if (::fdatasync(file.get()) != 0) {
            run.fail(errno, path);
            return;
        }
    }
    if (beforeTruncate)
        beforeTruncate(file.get());
    // No sync of its own: the folder's sync after the unlink commits the truncation too.
    if (::ftruncate(file.get(), 0) != 0) {
        run.fail(errno, path);
        return;
    }
    file.reset();
    removeEntry(dirFd, name, path, 0, run);
}

// Renames an entry to random names, each shorter than the last, then removes it. Never
// replaces another entry. Records its own failure and returns false on one.
bool Shredder::removeEntry(int dirFd, const std::string &name, const std::string &path, int flags, Run &run)
{
    static constexpr char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    std::string current = name;
    bool renaming = true;
    for (std::size_t length = name.size(); renaming && length > 0; --length) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::string candidate(length, '0');
            for (char &c : candidate)
                c = alphabet[m_buffer->random.next() % (sizeof alphabet - 1)];
            if (candidate == current)
                continue;
            if (::renameat2(dirFd, current.c_str(), dirFd, candidate.c_str(), RENAME_NOREPLACE) == 0) {
                current = candidate;
                break;
            }
            if (errno == EEXIST)
                continue;
            if (errno == EINVAL || errno == ENOSYS) {
                // No atomic no-replace here (some network file systems): look, then rename.
                struct stat taken {};
                if (::fstatat(dirFd, candidate.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
                    continue;
                if (errno == ENOENT && ::renameat(dirFd, current.c_str(), dirFd, candidate.c_str()) == 0) {
                    current = candidate;
                    break;
                }
            }
            renaming = false; // keep the name we have; removing it is what matters
            break;
        }
    }
    if (::unlinkat(dirFd, current.c_str(), flags) != 0) {
        run.fail(errno, path);
        return false;
    }
    return true;
}

void Shredder::shredFolder(int parentFd, const std::string &name, const std::string &path, dev_t device, Run &run)
{
    Descriptor dir(::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!dir.valid() || ::fstat(dir.get(), &info) != 0) {
        run.fail(errno, path);
        return;
    }
    if (info.st_dev != device) {
        run.fail(EXDEV, path); // a mount point: its content belongs to another file system
        return;
    }
    if (!writableFolder(dir.get())) {
        run.fail(errno, path); // nothing inside could be removed, so nothing is overwritten
        return;
    }
    int error = 0;
    const std::vector<std::string> names = entryNames(dir.get(), error);
    if (error) {
        run.fail(error, path);
        return;
    }
    const std::uint64_t failuresBefore = run.failures;
    for (const std::string &entry : names) {
        if (stopped()) {
            run.cancelled = true;
            return;
        }
        const std::string entryPath = path + '/' + entry;
        if (::fstatat(dir.get(), entry.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) // gone by itself: nothing left to destroy
                run.fail(errno, entryPath);
        } else if (S_ISDIR(info.st_mode)) {
            shredFolder(dir.get(), entry, entryPath, device, run);
        } else if (S_ISREG(info.st_mode)) {
            shredFile(dir.get(), entry, entryPath, info, run);
        } else {
            removeEntry(dir.get(), entry, entryPath, 0, run);
        }
        if (run.cancelled)
            return;
    }
    // One sync for all the removals in this folder.
    if (::fsync(dir.get()) != 0 && errno != EINVAL)
        run.fail(errno, path);
    dir.reset();
    if (!run.cancelled && run.failures == failuresBefore)
        removeEntry(parentFd, name, path, AT_REMOVEDIR, run);
}

} // namespace shredder
