#include "shredder/wipe.h"

#include "platform/capabilities.h"
#include "platform/file_calls.h"
#include "platform/storage_calls.h"
#include "shredder/file_access.h"
#include "shredder/random_stream.h"
#include "shredder/tree_walk.h"
#include "shredder/write_behind.h"

#include <algorithm>
#include <cerrno>
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

bool onlyDigits(const std::string &name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class Leftover { Removed, Gone, Kept };

// Removes one fill folder of ours: only files named as the fill names them, then the folder.
Leftover removeFillFolder(const std::string &path)
{
    const std::string name = nameOf(path);
    if (name.rfind(wipeFolderPrefix, 0) != 0)
        return Leftover::Kept;
    int error = 0;
    const UniqueFd parent = openFolderNoLinks(parentOf(path), error);
    EntryInfo info;
    if (!parent.valid())
        return error == ENOENT ? Leftover::Gone : Leftover::Kept;
    if ((error = look(parent.get(), name, info)) != 0)
        return error == ENOENT ? Leftover::Gone : Leftover::Kept;
    if (!platform::isFolder(info.mode) || info.owner != platform::effectiveUser())
        return Leftover::Kept;
    const UniqueFd folder = openSubfolder(parent.get(), name, info.identity, error);
    if (!folder.valid())
        return Leftover::Kept;
    for (const std::string &entry : entryNames(folder.get(), error)) {
        EntryInfo file;
        if (onlyDigits(entry) && look(folder.get(), entry, file) == 0 && platform::isRegularFile(file.mode))
            platform::removeAt(folder.get(), entry, false);
    }
    const bool removed = platform::removeAt(parent.get(), name, true) == 0;
    platform::syncFile(parent.get());
    return removed ? Leftover::Removed : Leftover::Kept;
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

// Records a fill folder in the ledger until it is gone; returns the record's path.
std::string record(const std::string &ledger, const std::string &fillFolder)
{
    if (ledger.empty() || !makeFolders(ledger))
        return {};
    const std::string entry = join(ledger, nameOf(fillFolder));
    const UniqueFd file = platform::openAt(platform::currentFolder, entry,
                                           platform::WriteOnly | platform::Create | platform::Truncate | platform::NoFollow, 0600);
    std::size_t written = 0;
    if (!file.valid() || platform::writeSome(file.get(), fillFolder.data(), fillFolder.size(), 0, written) != 0
        || written != fillFolder.size() || platform::syncFile(file.get()) != 0) {
        platform::removeAt(platform::currentFolder, entry, false);
        return {};
    }
    if (const UniqueFd folder = platform::openAt(platform::currentFolder, ledger, platform::ReadOnly | platform::FolderOnly);
        folder.valid())
        platform::syncFile(folder.get());
    return entry;
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
        if (!block && r.fsType != "fuseblk" && r.fsType != "tmpfs")
            continue;
        if (r.mountPoint.rfind("/proc/", 0) == 0 || r.mountPoint.rfind("/sys/", 0) == 0)
            continue; // the kernel's own tmpfs mounts (cgroup) hold no one's files
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
        // A mount point that now shows another file system (a mount over its parent) is left out.
        if (platform::fileSystemCountsAt(r.mountPoint, counts) != 0
            || platform::statusFollowingLinks(r.mountPoint, pointInfo) != 0
            || platform::deviceNumberText(pointInfo.device) != device)
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
    space.device = info.identity.device;
    space.mountPoint = mountPointOf(space.folder);
    space.total = counts.blocks * counts.blockSize;
    space.free = counts.free * counts.blockSize;
    // The reserve is root's to fill, so root can wipe it too.
    space.available = platform::hasCapability(platform::Capability::UseReserve)
                          ? space.free
                          : counts.available * counts.blockSize;

    const DeviceFacts facts = describe(space.device);
    space.fsType = facts.fsType;
    space.warnings = warningsFor(facts);
    space.quotas = hasOption(facts.options, {"quota", "usrquota", "grpquota", "prjquota", "usrjquota", "grpjquota"});
    space.mayTrim = facts.medium == Medium::Flash && platform::hasCapability(platform::Capability::Administer);
    const UniqueFd probe = platform::openAt(dir.get(), ".", platform::Unnamed | platform::WriteOnly, 0600);
    space.unnamed = probe.valid();
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
    std::string recordPath;
    std::vector<File> files;
    std::uint64_t filled = 0;

    // A new fill file; written past the page cache where the file system allows it.
    int add()
    {
        const std::string name = std::to_string(files.size());
        const auto open = [&](unsigned flags) {
            using namespace platform;
            return unnamed ? openAt(dir, ".", Unnamed | WriteOnly | flags, 0600)
                           : openAt(folder.get(), name, Create | Exclusive | WriteOnly | NoFollow | flags, 0600);
        };
        File file;
        file.direct = true;
        file.fd = open(platform::PastCache);
        if (!file.fd.valid() && errno == EINVAL) {
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
        if (platform::removeAt(dir, folderName, true) == 0 && !recordPath.empty())
            platform::removeAt(platform::currentFolder, recordPath, false);
        platform::syncFile(dir);
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
    if (!file.direct)
        file.behind.wrote(file.fd.get(), offset + done);
    return 0;
}

// The first pass: new data until the file system takes no more.
int Wiper::fillUp(Fill &fill, bool zeros, WipeOutcome &outcome)
{
    std::size_t chunk = chunkSize;
    bool newFile = true;
    while (!stopped()) {
        if (newFile || (!fill.unnamed && fill.files.back().size >= namedFileSize)) {
            const int error = fill.add();
            if (error == ENOSPC || error == EDQUOT)
                break;
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
    return 0;
}

// A later pass: the same blocks again.
int Wiper::overwrite(Fill &fill, bool zeros, WipeOutcome &outcome)
{
    for (std::size_t index = 0; index < fill.files.size(); ++index) {
        Fill::File &file = fill.files[index];
        file.behind = WriteBehind();
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
    int error = space.error;
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
                fill.recordPath = record(ledger, join(space.folder, fill.folderName));
                EntryInfo made;
                if ((error = look(dir.get(), fill.folderName, made)) == 0)
                    fill.folder = openSubfolder(dir.get(), fill.folderName, made.identity, error);
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

std::vector<std::string> removeWipeLeftovers(const std::string &ledger, const std::string &folder)
{
    std::vector<std::string> removed;
    int error = 0;
    if (const UniqueFd records = platform::openAt(platform::currentFolder, ledger, platform::ReadOnly | platform::FolderOnly);
        records.valid()) {
        for (const std::string &name : entryNames(records.get(), error)) {
            const UniqueFd entry = platform::openAt(records.get(), name, platform::ReadOnly | platform::NoFollow);
            char path[platform::maxPathBytes];
            std::size_t size = 0;
            if (!entry.valid() || platform::readSome(entry.get(), path, sizeof path, size) != 0 || size == 0
                || size == sizeof path)
                continue;
            const std::string fillFolder(path, size);
            const Leftover left = removeFillFolder(fillFolder);
            if (left == Leftover::Removed)
                removed.push_back(fillFolder);
            if (left != Leftover::Kept)
                platform::removeAt(records.get(), name, false);
        }
    }
    if (!folder.empty()) {
        if (const UniqueFd dir = openFolderNoLinks(folder, error); dir.valid()) {
            for (const std::string &name : entryNames(dir.get(), error)) {
                const std::string path = join(folder, name);
                if (name.rfind(wipeFolderPrefix, 0) == 0 && std::find(removed.begin(), removed.end(), path) == removed.end()
                    && removeFillFolder(path) == Leftover::Removed)
                    removed.push_back(path);
            }
        }
    }
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
