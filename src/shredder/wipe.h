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
    std::uint64_t mountId = 0;   // the mount the folder was reached through; 0 where unknown
    std::uint64_t total = 0;
    std::uint64_t free = 0;      // free blocks, root's reserve included
    std::uint64_t available = 0; // what this user may fill
    std::uint64_t reserve = 0;   // free blocks the file system keeps for root (ext2/3/4, f2fs)
    unsigned warnings = 0;       // Warning bits of the file system and its medium
    bool quotas = false;         // a quota may end the fill before the disk is full
    bool unnamed = false;        // unnamed files work here: nothing can be left behind
    bool mayTrim = false;        // this user may tell the device which blocks are free
    bool fillsReserve = false;   // this user may write root's reserve, so the fill takes it too
    bool inMemory = false;       // tmpfs, ramfs: a deleted file's data is gone already

    // Free blocks kept for root that this user can't fill, so can't wipe.
    std::uint64_t reserved() const { return fillsReserve ? 0 : reserve; }
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

// The writable file systems a user could fill: those on a block device and through fuseblk
// (never one in memory, which keeps nothing of a deleted file), each device once at its
// whole-file-system mount (else its shortest), a mount hidden by a later one at the same
// place left out. The fill goes in the mount point where this user
// may write there, else in `home` when it is on that file system. Names stay bytes.
std::vector<WipeableFileSystem> wipeableFileSystems(const std::string &home);

FreeSpace examineFreeSpace(const std::string &folder, const DescribeDevice &describe = describeDevice);

struct WipeOutcome
{
    Status status = Status::Failed;
    int error = 0;
    std::uint64_t filled = 0;   // bytes the fill held when the disk was full
    std::uint64_t written = 0;  // bytes written over all passes
    std::uint64_t expected = 0; // the free space the file system reported before the fill
    int fullWith = 0;           // what ended the fill: ENOSPC, or EDQUOT for a quota

    // The fill ended well short of the free space reported (a quota, or a file system whose
    // count was generous), so part of the free space was never written.
    bool stoppedEarly() const;
};

// Fills a file system's free space with random data, pass by pass (each synced), then lets
// it go. The fill is made of unnamed files (O_TMPFILE), which the kernel frees however the
// wipe ends, even by SIGKILL. Where the file system has none, named files go in one hidden
// folder that is recorded in `ledger` until it is removed again, so that a killed run's
// leftovers are found by the next start; the record names the folder's identity and stays
// locked while the wipe runs, so no other start takes a running wipe's fill for a leftover.
// Writes bypass the page cache where they can, so the fill takes no memory from other
// programs and a cancel lets go at once. A file system in memory is refused (EINVAL).
class Wiper
{
public:
    explicit Wiper(Options options = {}, const std::atomic<bool> *stop = nullptr);
    ~Wiper();
    Wiper(const Wiper &) = delete;
    Wiper &operator=(const Wiper &) = delete;

    // Folder that records named fills until they are removed; none when empty. When one is
    // given and the record can't be made, the named fill doesn't start.
    std::string ledger;
    // Called from the working thread after every chunk; keep it cheap.
    std::function<void(std::uint64_t written, std::uint64_t filled)> onProgress;
    // Called when the disk is full, before anything is let go (for tests).
    std::function<void()> whenFull;
    // Use named files even where unnamed ones work (for tests).
    bool namedOnly = false;
    // Write through the page cache even where the file system takes writes past it (for
    // tests), and the write-back calls such files make (tests stand in for them).
    bool throughCache = false;
    WriteBackCalls writeBack;

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

// Removes what killed wipes left: each folder recorded in `ledger` whose record no running
// wipe holds and which is still the folder the wipe made (device, inode, owner), and in it
// only the fill files. The records are outside input: anything but a small regular file of
// ours is passed over, and the ledger folder itself is never reached through a link. The
// folders removed are returned, so the caller can say so.
std::vector<std::string> removeWipeLeftovers(const std::string &ledger);

// Tells the device which blocks of the file system holding `folder` are free (FITRIM), so
// flash storage can forget them. Returns 0 and the bytes trimmed, or an errno.
int trimFreeSpace(const std::string &folder, std::uint64_t &trimmed);

} // namespace shredder
