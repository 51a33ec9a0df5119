#pragma once

#include "shredder/storage.h"

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace shredder {

enum class ItemKind { File, Folder, Link, Special, Missing };

// What one item would take, learnt before anything is destroyed.
struct Plan
{
    ItemKind kind = ItemKind::Missing;
    std::uint64_t size = 0;       // bytes of content
    std::uint64_t passBytes = 0;  // bytes one pass writes: every file up to its last block
    std::uint64_t files = 0;      // regular files to overwrite
    unsigned warnings = 0;        // Warning bits
    std::string fsType;
    int error = 0;                // errno when the item could not be looked at
};

// Looks at a file, link or folder tree the way shredding will walk it: links are not
// followed and folders on other file systems are not entered. `stop` ends a long walk.
Plan scan(const std::string &path, const DescribeDevice &describe = describeDevice,
          const std::atomic<bool> *stop = nullptr);

struct Options
{
    int passes = 1;        // random passes
    bool zeroPass = false; // one more pass of zeros, so the file looks blank afterwards

    int totalPasses() const { return passes + (zeroPass ? 1 : 0); }
};

enum class Status { Shredded, Cancelled, Failed };

struct Outcome
{
    Status status = Status::Failed;
    int error = 0;        // the first failure's errno
    std::string where;    // the entry that failed, when it is not the item itself
    std::uint64_t failures = 0;
};

// Overwrites files with random data and removes them: a file is opened without following
// links, overwritten up to its last block pass by pass (each pass synced), truncated,
// renamed to ever shorter random names and unlinked, and its folder synced. Links and
// special files are only renamed away and removed. Folders are emptied depth first,
// never leaving their own file system, and removed once empty.
class Shredder
{
public:
    explicit Shredder(Options options = {}, const std::atomic<bool> *stop = nullptr);
    ~Shredder();
    Shredder(const Shredder &) = delete;
    Shredder &operator=(const Shredder &) = delete;

    // Called from the working thread after every chunk and when a file starts; keep it cheap.
    std::function<void(std::uint64_t bytesDone, const std::string &currentFile)> onProgress;
    // Called with the open file after its last pass, before it is truncated (for tests).
    std::function<void(int fd)> beforeTruncate;

    Outcome shred(const std::string &path);

    std::uint64_t bytesDone() const { return m_bytesDone; }

private:
    struct Run;
    void shredFile(int dirFd, const std::string &name, const std::string &path, const struct stat &seen, Run &run);
    void shredFolder(int parentFd, const std::string &name, const std::string &path, dev_t device, Run &run);
    bool removeEntry(int dirFd, const std::string &name, const std::string &path, int flags, Run &run);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    Options m_options;
    const std::atomic<bool> *m_stop;
    std::uint64_t m_bytesDone = 0;
    struct Buffer;
    std::unique_ptr<Buffer> m_buffer;
};

} // namespace shredder
