#pragma once

#include "platform/error_codes.h"
#include "shredder/storage.h"
#include "shredder/write_behind.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace shredder {

namespace detail {
struct EntryInfo;
}

enum class ItemKind { File, Folder, Link, Special, Missing };

// Which entry a name led to: its file system, inode and the mount it was reached through
// (0 where the kernel does not tell). Two bind mounts of one file system share a device
// number but not a mount id.
struct Identity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t mount = 0;
    bool mountRoot = false; // the entry is where a mount is attached

    bool operator==(const Identity &other) const
    {
        return device == other.device && inode == other.inode && mount == other.mount;
    }
};

// What one item would take, learnt before anything is destroyed; shredding acts on this
// and on nothing that has taken its place since.
struct Plan
{
    ItemKind kind = ItemKind::Missing;
    std::string path;             // absolute, with links in its folder part resolved once, here
    Identity item;                // the item itself
    Identity folder;              // the folder it was found in
    std::uint64_t size = 0;       // bytes of content
    std::uint64_t passBytes = 0;  // bytes one pass writes: the data a file holds, up to its last block
    std::uint64_t files = 0;      // regular files to overwrite
    unsigned warnings = 0;        // Warning bits
    std::string fsType;
    int error = 0;                // errno when the item could not be looked at
    std::uint64_t unreadable = 0; // folders in the tree that could not be read, so are not counted
    std::uint64_t mountPoints = 0;// mounts inside the tree: never entered, never shredded
    // The listed folder is where a mount is attached: what it holds is shredded, the folder
    // itself stays (it can't be removed while mounted).
    bool keepFolder = false;
    // Files seen with more than one name (inode, link count); the user was warned of these,
    // and any other file that has gained a name by the time it is shredded is refused.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> linked;
    // Every entry of a folder tree as (device, inode), sorted: what the user was asked about.
    // Whatever appears in the tree later is left where it is and reported.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
};

// Looks at a file, link or folder tree the way shredding will walk it: links are not
// followed and mounts are not entered. `stop` ends a long walk.
Plan scan(const std::string &path, const DescribeDevice &describe = describeDevice,
          const std::atomic<bool> *stop = nullptr);

// errno of a shred that found something else where the confirmed item was.
constexpr int ChangedSinceScan = ESTALE;
// errno of an item on a file system that is the kernel's interface (proc, sysfs), not storage.
constexpr int KernelInterface = ENODEV;

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
    // A cancel that came while a file was being overwritten: that file, still there under
    // its name, with its length, its data partly overwritten. Empty when none was.
    std::string partlyOverwritten;
};

// Overwrites files with random data and removes them. The item is reached from its folder,
// opened one component at a time without following links, and must still be the one the
// plan looked at. A file is checked through an O_PATH descriptor before it is opened for
// writing, its data overwritten up to its last block pass by pass (each pass synced; holes
// hold no old data and stay holes), truncated, renamed to ever shorter random names and
// unlinked, and its folder synced. Nothing is overwritten that could not then be removed.
// Links and special files are only renamed away and removed. Folders are emptied depth
// first with a bounded number of open descriptors, never entering a mount, and removed
// once empty.
class Shredder
{
public:
    explicit Shredder(Options options = {}, const std::atomic<bool> *stop = nullptr);
    ~Shredder();
    Shredder(const Shredder &) = delete;
    Shredder &operator=(const Shredder &) = delete;

    // Called from the working thread after every chunk and when a file starts; keep it cheap.
    std::function<void(std::uint64_t bytesDone, const std::string &currentFile)> onProgress;
    // Test hooks, so races can be staged without timing: with a file's folder and name
    // just before it is opened; with the opened file before its first write; with the open
    // file after its last pass, before it is truncated.
    std::function<void(int dirFd, const std::string &name)> beforeOpen;
    std::function<void(int fd)> beforeWrite;
    std::function<void(int fd)> beforeTruncate;
    // With the file's folder and the name about to be renamed away, and the name about to
    // be removed, once the file's data is gone.
    std::function<void(int dirFd, const std::string &name)> beforeRename;
    std::function<void(int dirFd, const std::string &name)> beforeRemove;
    // How written data is sent to the device; a test stands in for a failing one here.
    WriteBackCalls writeBack;

    Outcome shred(const Plan &plan);
    Outcome shred(const std::string &path); // looks, then shreds what it saw

    std::uint64_t bytesDone() const { return m_bytesDone; }

private:
    struct Run;
    class Tree;
    void shredFile(int dirFd, const std::string &name, const detail::EntryInfo &folder, const detail::EntryInfo &seen,
                   Run &run);
    void shredFolder(int parentFd, const std::string &name, const detail::EntryInfo &info, Run &run);
    bool removeEntry(int dirFd, const std::string &name, bool folder, const Identity &expected, Run &run);
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    Options m_options;
    const std::atomic<bool> *m_stop;
    std::uint64_t m_bytesDone = 0;
    std::string m_current; // the file being shredded, as last told to onProgress
    std::chrono::steady_clock::time_point m_currentAt;
    struct Buffer;
    std::unique_ptr<Buffer> m_buffer;
};

} // namespace shredder
