#include "shredder/wipe.h"

#include "platform/capabilities.h"
#include "platform/file_calls.h"
#include "platform/file_lock.h"
#include "platform/mount_info.h"
#include "platform/storage_calls.h"
#include "shredder/file_access.h"
#include "shredder/random_stream.h"
#include "shredder/tree_walk.h"
#include "shredder/write_behind.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <string_view>

namespace shredder {

using namespace detail;

namespace {

constexpr std::size_t chunkSize = RandomStream::chunkSize;
constexpr std::uint64_t namedFileSize = std::uint64_t(1) << 30; // under FAT's 4 GiB a file

std::string parentOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string &path) { return path.substr(path.rfind('/') + 1); }

std::string join(const std::string &folder, const std::string &name)
{
    return folder == "/" ? folder + name : folder + '/' + name;
}

// Where the file system holding `path` (resolved) is mounted: the nearest folder above it
// that is a mount's root.
std::string mountPointOf(std::string path)
{
    for (;;) {
        EntryInfo info;
        if (path == "/" || look(platform::currentFolder, path, info) != 0 || info.identity.mountRoot)
            return path;
        EntryInfo above;
        if (look(platform::currentFolder, parentOf(path), above) != 0 || isMountPoint(info, above))
            return path;
        path = parentOf(path);
    }
}

bool hasOption(const std::string &options, std::initializer_list<std::string_view> names)
{
    return std::any_of(names.begin(), names.end(), [&](std::string_view name) { return hasMountOption(options, name); });
}

bool onlyDigits(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isOneOf(std::string_view type, std::initializer_list<std::string_view> names)
{
    return std::find(names.begin(), names.end(), type) != names.end();
}

// A record names the fill folder by its identity and its path: "DEVICE INODE\nPATH". It is
// small; anything bigger is no record of ours.
constexpr std::size_t maxRecordBytes = platform::maxPathBytes + 64;

struct FillRecord
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string path;
};

std::string recordText(const FillRecord &record)
{
    return std::to_string(record.device) + ' ' + std::to_string(record.inode) + '\n' + record.path;
}

bool parseRecord(std::string_view text, FillRecord &record)
{
    const std::size_t blank = text.find(' '), end = text.find('\n');
    if (blank == std::string_view::npos || end == std::string_view::npos || blank > end)
        return false;
    const std::string_view device = text.substr(0, blank), inode = text.substr(blank + 1, end - blank - 1);
    if (!onlyDigits(device) || !onlyDigits(inode)
        || std::from_chars(device.data(), device.data() + device.size(), record.device).ec != std::errc()
        || std::from_chars(inode.data(), inode.data() + inode.size(), record.inode).ec != std::errc())
        return false;
    record.path = text.substr(end + 1);
    return record.path.size() > 1 && record.path.front() == '/' && record.path.find('\0') == std::string::npos
           && nameOf(record.path).rfind(wipeFolderPrefix, 0) == 0;
}

// Makes a folder and the folders above it, as `mkdir -p` does.
bool makeFolders(const std::string &path)
{
    if (path.empty() || path == "/")
        return true;
    const int error = platform::makeFolderAt(platform::currentFolder, path, 0700);
    if (error == 0 || error == EEXIST)
        return true;
    if (error != ENOENT || !makeFolders(parentOf(path)))
        return false;
    const int again = platform::makeFolderAt(platform::currentFolder, path, 0700);
    return again == 0 || again == EEXIST;
}

// The ledger folder. The folder above it is reached as named (the state folder may be a
// link, as a home may be); the ledger itself never through a link, and only if it is ours.
UniqueFd openLedger(const std::string &ledger, bool create, int &error)
{
    error = 0;
    if (ledger.empty() || ledger.front() != '/' || nameOf(ledger).empty()) {
        error = EINVAL;
        return UniqueFd();
    }
    const std::string above = parentOf(ledger), name = nameOf(ledger);
    if (create && !makeFolders(above)) {
        error = errno ? errno : EACCES;
        return UniqueFd();
    }
    const UniqueFd parent = platform::openAt(platform::currentFolder, above, platform::ReadOnly | platform::FolderOnly);
    if (!parent.valid()) {
        error = errno;
        return UniqueFd();
    }
    if (create) {
        if (const int made = platform::makeFolderAt(parent.get(), name, 0700); made != 0 && made != EEXIST) {
            error = made;
            return UniqueFd();
        }
    }
    UniqueFd folder = platform::openAt(parent.get(), name, platform::ReadOnly | platform::FolderOnly | platform::NoFollow);
    EntryInfo info;
    if (!folder.valid())
        error = errno;
    else if ((error = look(folder.get(), {}, info)) == 0 && info.owner != platform::effectiveUser())
        error = EPERM;
    return error ? UniqueFd() : std::move(folder);
}

// Reads a record without blocking on it and without following a link: only a small regular
// file of ours is read, and only once its lock is taken, so a running wipe's record is left.
enum class RecordState { Read, Held, Foreign };

RecordState readRecord(int ledger, const std::string &name, UniqueFd &file, FillRecord &record)
{
    // Looked at first, so no device is ever opened; the open itself can't block or follow.
    EntryInfo seen, info;
    if (look(ledger, name, seen) != 0 || !platform::isRegularFile(seen.mode))
        return RecordState::Foreign;
    file = platform::openAt(ledger, name, platform::ReadOnly | platform::NoFollow | platform::NonBlocking | platform::NoTerminal);
    if (!file.valid() || look(file.get(), {}, info) != 0 || !platform::isRegularFile(info.mode)
        || info.owner != platform::effectiveUser() || info.size > maxRecordBytes)
        return RecordState::Foreign;
    if (const int locked = platform::tryLockFile(file.get()))
        return locked == EWOULDBLOCK ? RecordState::Held : RecordState::Foreign;
    std::string text(maxRecordBytes + 1, '\0');
    std::size_t total = 0;
    for (std::size_t got = 1; got && total < text.size();) {
        if (platform::readSome(file.get(), text.data() + total, text.size() - total, got) != 0)
            return RecordState::Foreign;
        total += got;
    }
    text.resize(total);
    return total <= maxRecordBytes && parseRecord(text, record) ? RecordState::Read : RecordState::Foreign;
}

enum class Leftover { Removed, Gone, Kept };

// Removes a fill folder the record names, if it is still the one the wipe made: the same
// device and inode, ours, a folder. In it only the fill's own files go: regular files of
// ours named by a number, with no other name.
Leftover removeFillFolder(const FillRecord &record)
{
    const std::string name = nameOf(record.path);
    int error = 0;
    const UniqueFd parent = openFolderNoLinks(parentOf(record.path), error);
    EntryInfo info;
    if (!parent.valid())
        return error == ENOENT ? Leftover::Gone : Leftover::Kept;
    if ((error = look(parent.get(), name, info)) != 0)
        return error == ENOENT ? Leftover::Gone : Leftover::Kept;
    if (info.identity.device != record.device || info.identity.inode != record.inode)
        return Leftover::Gone; // another entry has the name now: not ours to touch
    if (!platform::isFolder(info.mode) || info.owner != platform::effectiveUser())
        return Leftover::Kept;
    const UniqueFd folder = openSubfolder(parent.get(), name, info.identity, error);
    if (!folder.valid())
        return Leftover::Kept;
    for (const std::string &entry : entryNames(folder.get(), error)) {
        EntryInfo file;
        if (onlyDigits(entry) && look(folder.get(), entry, file) == 0 && platform::isRegularFile(file.mode)
            && file.owner == platform::effectiveUser() && file.links == 1)
            platform::removeAt(folder.get(), entry, false);
    }
    // Still the folder that was emptied, then removed (rmdir takes only an empty folder).
    EntryInfo again;
    if (look(parent.get(), name, again) != 0 || again.identity.device != record.device
        || again.identity.inode != record.inode)
        return Leftover::Kept;
    const bool removed = platform::removeAt(parent.get(), name, true) == 0;
    platform::syncFile(parent.get());
    return removed ? Leftover::Removed : Leftover::Kept;
}

} // namespace

std::vector<WipeableFileSystem> wipeableFileSystems(const std::string &home)
{
    std::vector<MountRecord> mounts;
    for (MountRecord &r : platform::readMountInfo()) {
        if (hasMountOption(r.mountOptions, "ro") || hasMountOption(r.superOptions, "ro"))
            continue;
        platform::EntryStatus sourceInfo;
        const bool block = r.source.rfind("/dev/", 0) == 0 && platform::statusFollowingLinks(r.source, sourceInfo) == 0
                           && platform::isBlockDevice(sourceInfo.mode);
        if (!block && r.fsType != "fuseblk")
            continue; // a file system in memory keeps nothing of a deleted file
        // A later mount at the same place hides this one.
        std::erase_if(mounts, [&](const MountRecord &m) { return m.mountPoint == r.mountPoint; });
        mounts.push_back(std::move(r));
    }
    std::map<std::string, MountRecord> best;
    for (const MountRecord &r : mounts) {
        auto [found, added] = best.emplace(r.device, r);
        const MountRecord &b = found->second;
        if (!added && std::pair(r.root != "/", r.mountPoint.size()) < std::pair(b.root != "/", b.mountPoint.size()))
            found->second = r;
    }
    platform::EntryStatus homeInfo;
    const bool haveHome = !home.empty() && platform::statusFollowingLinks(home, homeInfo) == 0;
    std::vector<WipeableFileSystem> entries;
    for (const auto &[device, r] : best) {
        platform::FileSystemCounts counts;
        platform::EntryStatus pointInfo;
        // A mount point that now shows another file system (a mount over its parent) is left
        // out. The mount id tells; btrfs's device numbers differ from the table's.
        const UniqueFd point = platform::openAt(platform::currentFolder, r.mountPoint, platform::PathOnly | platform::FolderOnly);
        if (!point.valid() || platform::entryStatus(point.get(), {}, pointInfo) != 0
            || platform::fileSystemCountsAt(r.mountPoint, counts) != 0)
            continue;
        if (const std::uint64_t id = platform::mountIdOf(point.get()); id && r.id ? id != r.id
                                                                          : platform::deviceNumberText(pointInfo.device) != device)
            continue;
        WipeableFileSystem entry{r.mountPoint, r.fsType, counts.blocks * counts.blockSize,
                                 counts.available * counts.blockSize, {}};
        if (platform::mayChangeFolderAt(r.mountPoint))
            entry.folder = r.mountPoint;
        else if (haveHome && homeInfo.device == pointInfo.device && platform::mayChangeFolderAt(home))
            entry.folder = home;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const WipeableFileSystem &a, const WipeableFileSystem &b) { return a.mountPoint < b.mountPoint; });
    return entries;
}

FreeSpace examineFreeSpace(const std::string &folder, const DescribeDevice &describe)
{
    FreeSpace space;
    if ((space.error = platform::resolvePath(folder, space.folder)) != 0)
        return space;
    const UniqueFd dir = openFolderNoLinks(space.folder, space.error);
    EntryInfo info;
    platform::FileSystemCounts counts;
    if (!dir.valid())
        return space;
    if ((space.error = look(dir.get(), {}, info)) != 0)
        return space;
    if ((space.error = platform::fileSystemCounts(dir.get(), counts)) != 0)
        return space;
    // Nothing can be written there: said now, before anyone is asked.
    if (platform::mayChangeFolder(dir.get()) == EROFS) {
        space.error = EROFS;
        return space;
    }
    space.device = info.identity.device;
    space.mountId = platform::mountIdOf(dir.get());
    space.mountPoint = mountPointOf(space.folder);
    space.total = counts.blocks * counts.blockSize;
    space.free = counts.free * counts.blockSize;
    space.available = counts.available * counts.blockSize;

    const DeviceFacts facts = describe({space.device, space.mountId});
    space.fsType = facts.fsType;
    // A folder made there may be a new kernel object (a cgroup), and no file holds data.
    if (isKernelInterface(facts)) {
        space.error = KernelInterface;
        return space;
    }
    space.warnings = warningsFor(facts);
    space.inMemory = isOneOf(facts.fsType, {"tmpfs", "ramfs", "devtmpfs", "hugetlbfs"});
    space.quotas = hasOption(facts.options, {"quota", "usrquota", "grpquota", "prjquota", "usrjquota", "grpjquota"});
    // Only these keep blocks for root; elsewhere the gap between free and available is
    // space no fill reaches (btrfs's metadata, say). Who may write the reserve is the
    // kernel's rule: the reserve's user or group (root by default), or CAP_SYS_RESOURCE.
    if (isOneOf(facts.fsType, {"ext2", "ext3", "ext4", "f2fs"})) {
        space.reserve = space.free - std::min(space.free, space.available);
        const auto idOption = [&](std::string_view option) {
            const std::size_t at = ("," + facts.options + ",").find("," + std::string(option) + "=");
            unsigned id = 0;
            if (at != std::string::npos) {
                const char *start = facts.options.data() + at + option.size() + 1;
                std::from_chars(start, facts.options.data() + facts.options.size(), id);
            }
            return id;
        };
        const unsigned group = idOption("resgid");
        space.fillsReserve = space.reserve
                             && (platform::hasCapability(platform::Capability::UseReserve)
                                 || platform::actsAsUser(idOption("resuid")) || (group != 0 && platform::actsInGroup(group)));
        if (space.fillsReserve)
            space.available = space.free;
    } else {
        space.free = space.available;
    }
    space.mayTrim = facts.medium == Medium::Flash && platform::hasCapability(platform::Capability::Administer);
    const UniqueFd probe = platform::openAt(dir.get(), ".", platform::Unnamed | platform::WriteOnly, 0600);
    // A full disk or quota refuses even the probe; what it says of unnamed files is nothing.
    space.unnamed = probe.valid() || errno == ENOSPC || errno == EDQUOT;
    return space;
}

// The files that hold the fill, and where they are.
struct Wiper::Fill
{
    struct File
    {
        UniqueFd fd;
        std::uint64_t size = 0;
        bool direct = false;
        WriteBehind behind; // for files going through the cache
    };

    int dir = -1;
    bool unnamed = false;
    UniqueFd folder; // the named fill's own folder
    std::string folderName;
    UniqueFd ledger;     // where the named fill is recorded
    UniqueFd record;     // the record, locked while the fill exists
    std::string recordName;
    std::vector<File> files;
    std::uint64_t filled = 0;
    int fullWith = 0;

    // Records the named fill's folder (identity and path) under a name the clean-up passes
    // over, locks it, then gives it its own name: no clean-up ever sees it unlocked.
    int recordFolder(const std::string &ledgerPath, const std::string &path, const Identity &made)
    {
        int error = 0;
        ledger = openLedger(ledgerPath, true, error);
        if (!ledger.valid())
            return error;
        // Named as the folder without its leading dot; the dotted name is the draft's.
        const std::string name = nameOf(path).substr(1), draft = '.' + name;
        record = platform::openAt(ledger.get(), draft,
                                  platform::WriteOnly | platform::Create | platform::Exclusive | platform::NoFollow, 0600);
        if (!record.valid())
            return errno;
        const std::string text = recordText({made.device, made.inode, path});
        std::size_t written = 0;
        if ((error = platform::tryLockFile(record.get())) != 0
            || (error = platform::writeSome(record.get(), text.data(), text.size(), 0, written)) != 0
            || (error = written == text.size() ? 0 : EIO) != 0 || (error = platform::syncFile(record.get())) != 0
            || (error = platform::renameWithin(ledger.get(), draft, name)) != 0) {
            platform::removeAt(ledger.get(), draft, false);
            record.reset();
            return error;
        }
        recordName = name;
        platform::syncFile(ledger.get());
        return 0;
    }

    // A new fill file; written past the page cache where the file system allows it, else
    // sent on to the disk through `calls`.
    int add(const WriteBackCalls *calls, bool pastCache)
    {
        const std::string name = std::to_string(files.size());
        const auto open = [&](unsigned flags) {
            using namespace platform;
            return unnamed ? openAt(dir, ".", Unnamed | WriteOnly | flags, 0600)
                           : openAt(folder.get(), name, Create | Exclusive | WriteOnly | NoFollow | flags, 0600);
        };
        File file;
        file.behind = WriteBehind(0, calls);
        file.direct = pastCache;
        file.fd = open(pastCache ? platform::PastCache : 0);
        if (pastCache && !file.fd.valid() && errno == EINVAL) {
            file.direct = false;
            file.fd = open(0);
        }
        if (!file.fd.valid())
            return errno;
        files.push_back(std::move(file));
        return 0;
    }

    // Gives the space back: unnamed files go as they are closed, named ones are removed.
    void release()
    {
        const std::size_t count = files.size();
        files.clear();
        if (unnamed || !folder.valid())
            return;
        for (std::size_t i = 0; i < count; ++i)
            platform::removeAt(folder.get(), std::to_string(i), false);
        folder.reset();
        // The record goes with the folder, while its lock is still held.
        if (platform::removeAt(dir, folderName, true) == 0 && record.valid())
            platform::removeAt(ledger.get(), recordName, false);
        platform::syncFile(dir);
        record.reset();
    }
};

Wiper::Wiper(Options options, const std::atomic<bool> *stop)
    : m_options(options), m_stop(stop), m_data(std::make_unique<PassData>())
{
    m_options.passes = std::max(m_options.passes, 1);
}

Wiper::~Wiper() = default;

// Writes one chunk, or as much of it as fits; `done` says how much went. A file going
// through the page cache is written back as it grows, so little is ever left to sync.
int Wiper::writeChunk(Fill &fill, std::size_t index, std::uint64_t offset, std::size_t size, bool zeros,
                      WipeOutcome &outcome, std::size_t &done)
{
    Fill::File &file = fill.files[index];
    const unsigned char *data = m_data->bytes(zeros, size);
    std::size_t n = 0;
    const int writeError = platform::writeSome(file.fd.get(), data, size, offset, n);
    if (writeError == EINVAL && file.direct) {
        // O_DIRECT was taken but not these writes: go on through the cache.
        int error = 0;
        UniqueFd buffered = reopenForWriting(file.fd.get(), error);
        if (!buffered.valid())
            return error;
        file.fd = std::move(buffered);
        file.direct = false;
        return writeChunk(fill, index, offset, size, zeros, outcome, done);
    }
    if (writeError)
        return writeError;
    done = n;
    outcome.written += done;
    if (file.direct)
        return 0;
    // The failed write-back took the file's error for itself: no later sync would report it.
    // It fails the wipe whatever its name, so a full disk met there isn't taken for the end
    // of a fill whose data never reached the device.
    const int writeBackError = file.behind.wrote(file.fd.get(), offset + done);
    return writeBackError == ENOSPC || writeBackError == EDQUOT ? EIO : writeBackError;
}

// The first pass: new data until the file system takes no more.
int Wiper::fillUp(Fill &fill, bool zeros, WipeOutcome &outcome)
{
    std::size_t chunk = chunkSize;
    bool newFile = true;
    while (!stopped()) {
        if (newFile || (!fill.unnamed && fill.files.back().size >= namedFileSize)) {
            const int error = fill.add(&writeBack, !throughCache);
            if (error == ENOSPC || error == EDQUOT) {
                fill.fullWith = error;
                break;
            }
            if (error)
                return error;
            newFile = false;
        }
        Fill::File &file = fill.files.back();
        const std::size_t smallest = file.direct ? 4096 : 512;
        std::size_t done = 0;
        const int error = writeChunk(fill, fill.files.size() - 1, file.size, chunk, zeros, outcome, done);
        fill.files.back().size += done;
        fill.filled += done;
        if (onProgress)
            onProgress(outcome.written, fill.filled);
        if (error == ENOSPC || error == EDQUOT) {
            fill.fullWith = error;
            if (chunk <= smallest)
                break; // full
            chunk /= 2;
        } else if (error == EFBIG) {
            newFile = true;
        } else if (error) {
            return error;
        }
    }
    for (Fill::File &file : fill.files) {
        if (const int error = platform::syncData(file.fd.get()))
            return error;
    }
    outcome.filled = fill.filled;
    outcome.fullWith = fill.fullWith;
    return 0;
}

// A later pass: the same blocks again.
int Wiper::overwrite(Fill &fill, bool zeros, WipeOutcome &outcome)
{
    for (std::size_t index = 0; index < fill.files.size(); ++index) {
        Fill::File &file = fill.files[index];
        file.behind = WriteBehind(0, &writeBack);
        for (std::uint64_t offset = 0; offset < file.size;) {
            if (stopped())
                return 0;
            const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, file.size - offset));
            std::size_t done = 0;
            if (const int error = writeChunk(fill, index, offset, size, zeros, outcome, done))
                return error;
            if (!done)
                return EIO;
            offset += done;
            if (onProgress)
                onProgress(outcome.written, fill.filled);
        }
        if (const int error = platform::syncData(file.fd.get()))
            return error;
    }
    return 0;
}

WipeOutcome Wiper::wipe(const FreeSpace &space)
{
    WipeOutcome outcome;
    outcome.expected = space.available;
    int error = space.error ? space.error : space.inMemory ? EINVAL : 0;
    Fill fill;
    const UniqueFd dir = error ? UniqueFd() : openFolderNoLinks(space.folder, error);
    EntryInfo info;
    if (!error && (error = look(dir.get(), {}, info)) == 0 && info.identity.device != space.device)
        error = ChangedSinceScan;
    if (!error) {
        fill.dir = dir.get();
        fill.unnamed = space.unnamed && !namedOnly;
        if (!fill.unnamed) {
            Xoshiro random;
            fill.folderName = wipeFolderPrefix + std::to_string(random.next() % 1000000000000ull);
            if ((error = platform::makeFolderAt(dir.get(), fill.folderName, 0700)) == 0) {
                EntryInfo made;
                if ((error = look(dir.get(), fill.folderName, made)) == 0)
                    fill.folder = openSubfolder(dir.get(), fill.folderName, made.identity, error);
                // Without its record, a fill left by a killed run would hold the disk for good.
                if (!error && !ledger.empty())
                    error = fill.recordFolder(ledger, join(space.folder, fill.folderName), made.identity);
            }
        }
    }
    for (int pass = 0; !error && !stopped() && pass < m_options.totalPasses(); ++pass) {
        const bool zeros = pass >= m_options.passes;
        error = pass == 0 ? fillUp(fill, zeros, outcome) : overwrite(fill, zeros, outcome);
        if (pass == 0 && !error && !stopped() && whenFull)
            whenFull();
    }
    fill.release();
    outcome.error = error;
    outcome.status = stopped() ? Status::Cancelled : error ? Status::Failed : Status::Shredded;
    return outcome;
}

bool WipeOutcome::stoppedEarly() const
{
    // The free space a file system reports is an estimate (metadata, allocation units): a
    // little short of it is a full disk.
    const std::uint64_t slack = std::max<std::uint64_t>(std::uint64_t(8) << 20, expected / 50);
    return filled + slack < expected;
}

std::vector<std::string> removeWipeLeftovers(const std::string &ledger)
{
    std::vector<std::string> removed;
    int error = 0;
    const UniqueFd records = openLedger(ledger, false, error);
    if (!records.valid())
        return removed;
    for (const std::string &name : entryNames(records.get(), error)) {
        if (name.front() == '.')
            continue; // a record still being written
        UniqueFd file;
        FillRecord record;
        const RecordState state = readRecord(records.get(), name, file, record);
        if (state != RecordState::Read)
            continue; // a running wipe's, or nothing of ours
        const Leftover left = removeFillFolder(record);
        if (left == Leftover::Removed)
            removed.push_back(record.path);
        if (left != Leftover::Kept)
            platform::removeAt(records.get(), name, false);
    }
    if (!removed.empty())
        platform::syncFile(records.get());
    return removed;
}

int trimFreeSpace(const std::string &folder, std::uint64_t &trimmed)
{
    const UniqueFd dir = platform::openAt(platform::currentFolder, folder, platform::ReadOnly | platform::FolderOnly);
    if (!dir.valid())
        return errno;
    return platform::trimFreeBlocks(dir.get(), trimmed);
}

} // namespace shredder
