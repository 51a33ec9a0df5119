#pragma once

#include "shredder/shredder.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace shredder {

class PassData;

// The free space of one file system, as a wipe would fill it, learnt before it starts.
struct FreeSpace
{
    int error = 0;
    std::string folder;         // where the fill goes: a folder of that file system, resolved
    std::string mountPoint;     // where the file system is mounted
    std::string fsType;
    std::uint64_t device = 0;
    std::uint64_t total = 0;
    std::uint64_t free = 0;      // free blocks, root's reserve included
    std::uint64_t available = 0; // what this user may fill
    unsigned warnings = 0;       // Warning bits of the file system and its medium
    bool quotas = false;         // a quota may end the fill before the disk is full
    bool unnamed = false;        // unnamed files work here: nothing can be left behind
    bool mayTrim = false;        // this user may tell the device which blocks are free

    // Free blocks kept for root that this user can't fill, so can't wipe.
    std::uint64_t reserved() const { return free > available ? free - available : 0; }
};

// A file system a wipe could fill, as a list of them shows it.
struct WipeableFileSystem
{
    std::string mountPoint;
    std::string fsType;
    std::uint64_t size = 0;
    std::uint64_t free = 0;
    std::string folder; // where the fill would go; empty when this user can't fill it
};

// The writable file systems a user could fill: those on a block device, through fuseblk, and
// tmpfs, each device once at its whole-file-system mount (else its shortest), a mount hidden
// by a later one at the same place left out. The fill goes in the mount point where this user
// may write there, else in `home` when it is on that file system. Names stay bytes.
std::vector<WipeableFileSystem> wipeableFileSystems(const std::string &home);

FreeSpace examineFreeSpace(const std::string &folder, const DescribeDevice &describe = describeDevice);

struct WipeOutcome
{
    Status status = Status::Failed;
    int error = 0;
    std::uint64_t filled = 0;  // bytes the fill held when the disk was full
    std::uint64_t written = 0; // bytes written over all passes
};

// Fills a file system's free space with random data, pass by pass (each synced), then lets
// it go. The fill is made of unnamed files (O_TMPFILE), which the kernel frees however the
// wipe ends, even by SIGKILL. Where the file system has none, named files go in one hidden
// folder that is recorded in `ledger` until it is removed again, so that a killed run's
// leftovers are found by the next start. Writes bypass the page cache where they can, so the
// fill takes no memory from other programs and a cancel lets go at once.
class Wiper
{
public:
    explicit Wiper(Options options = {}, const std::atomic<bool> *stop = nullptr);
    ~Wiper();
    Wiper(const Wiper &) = delete;
    Wiper &operator=(const Wiper &) = delete;

    // Folder that records named fills until they are removed; none when empty.
    std::string ledger;
    // Called from the working thread after every chunk; keep it cheap.
    std::function<void(std::uint64_t written, std::uint64_t filled)> onProgress;
    // Called when the disk is full, before anything is let go (for tests).
    std::function<void()> whenFull;
    // Use named files even where unnamed ones work (for tests).
    bool namedOnly = false;

    WipeOutcome wipe(const FreeSpace &space);

private:
    struct Fill;
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }
    int fillUp(Fill &fill, bool zeros, WipeOutcome &outcome);
    int overwrite(Fill &fill, bool zeros, WipeOutcome &outcome);
    int writeChunk(Fill &fill, std::size_t index, std::uint64_t offset, std::size_t size, bool zeros,
                   WipeOutcome &outcome, std::size_t &done);

    Options m_options;
    const std::atomic<bool> *m_stop;
    std::unique_ptr<PassData> m_data;
};

// The prefix of the hidden folders that hold a named fill.
inline constexpr char wipeFolderPrefix[] = ".brisquel-wipe-";

// Removes what killed wipes left: the folders recorded in `ledger`, and any fill folder of
// ours directly inside `folder` when one is given. Only our own fill files are removed; the
// folders removed are returned, so the caller can say so.
std::vector<std::string> removeWipeLeftovers(const std::string &ledger, const std::string &folder = {});

// Tells the device which blocks of the file system holding `folder` are free (FITRIM), so
// flash storage can forget them. Returns 0 and the bytes trimmed, or an errno.
int trimFreeSpace(const std::string &folder, std::uint64_t &trimmed);

} // namespace shredder
