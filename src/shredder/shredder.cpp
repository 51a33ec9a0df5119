#include "shredder/shredder.h"

#include "platform/entry_calls.h"
#include "platform/file_calls.h"
#include "shredder/file_access.h"
#include "shredder/random_stream.h"
#include "shredder/tree_walk.h"
#include "shredder/write_behind.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <vector>

namespace shredder {

using namespace detail;

namespace {

constexpr std::size_t chunkSize = RandomStream::chunkSize;

std::uint64_t roundUp(std::uint64_t size, std::uint64_t block)
{
    return block ? (size + block - 1) / block * block : size;
}



ItemKind kindOf(unsigned mode)
{
    if (platform::isRegularFile(mode))
        return ItemKind::File;
    if (platform::isFolder(mode))
        return ItemKind::Folder;
    return platform::isSymbolicLink(mode) ? ItemKind::Link : ItemKind::Special;
}

// Bytes one pass writes over a file: its data up to the last block. A sparse file's holes
// hold no old data, so they are not written.
std::uint64_t passBytesOf(const EntryInfo &info)
{
    const std::uint64_t whole = roundUp(info.size, info.blockSize);
    return std::min(whole, roundUp(info.allocated, info.blockSize));
}

// The folder and the last name of a path, kept as bytes; "a/b/" names b. The folder is
// resolved to where it really is now, links and all, so that shredding can later reach it
// without following any.
int locate(const std::string &path, std::string &folder, std::string &name)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : trimmed.substr(0, slash);
    return platform::resolvePath(parent, folder);
}

std::string joinPath(const std::string &folder, const std::string &name)
{
    return folder == "/" ? folder + name : folder + '/' + name;
}

void countFile(Plan &plan, const EntryInfo &info)
{
    plan.size += info.size;
    plan.passBytes += passBytesOf(info);
    ++plan.files;
    if (info.links > 1) {
        plan.warnings |= OtherHardLinks;
        plan.linked.emplace_back(info.identity.inode, info.links);
    }
}

// Counts a folder tree the way shredding will walk it.
class Survey : public TreeVisitor
{
public:
    Survey(Plan &plan, const std::atomic<bool> *stop) : m_plan(plan), m_stop(stop) {}
    bool stopped() const override { return m_stop && m_stop->load(std::memory_order_relaxed); }
    bool enter(int, const std::string &, const EntryInfo &folder) override
    {
        m_plan.seen.emplace_back(folder.identity.device, folder.identity.inode);
        return true;
    }
    void entry(int, const std::string &, const EntryInfo &info, const EntryInfo &) override
    {
        m_plan.seen.emplace_back(info.identity.device, info.identity.inode);
        if (platform::isRegularFile(info.mode))
            countFile(m_plan, info);
    }
    void mountPoint(const std::string &) override { ++m_plan.mountPoints; }
    void unreadable(const std::string &name, int error) override
    {
        if (name.empty())
            m_plan.error = error; // the listed folder itself
        else
            ++m_plan.unreadable;
    }
    void leave(int, int, const std::string &) override {}

private:
    Plan &m_plan;
    const std::atomic<bool> *m_stop;
};

// The stretches of a file that hold data, the last one up to `end`. Where the file system
// can't tell, the whole file.
std::vector<std::pair<std::uint64_t, std::uint64_t>> dataRanges(int fd, std::uint64_t size, std::uint64_t end)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    std::uint64_t at = 0;
    while (at < size) {
        const std::int64_t data = platform::nextData(fd, at);
        if (data < 0 && errno == ENXIO)
            break; // only a hole from here on
        const std::int64_t hole = data < 0 ? -1 : platform::nextHole(fd, static_cast<std::uint64_t>(data));
        if (hole < 0)
            return {{0, end}};
        const auto stop = static_cast<std::uint64_t>(hole);
        ranges.emplace_back(static_cast<std::uint64_t>(data), stop >= size ? end : stop);
        at = stop;
    }
    return ranges;
}

// Puts a file's permission bits back, unless told the file is gone.
class ModeRestorer
{
public:
    ModeRestorer() = default;
    ModeRestorer(const ModeRestorer &) = delete;
    ModeRestorer &operator=(const ModeRestorer &) = delete;
    ~ModeRestorer()
    {
        if (m_fd >= 0)
            changeMode(m_fd, m_mode);
    }
    void arm(int pathFd, unsigned mode)
    {
        m_fd = pathFd;
        m_mode = mode;
    }
    void disarm() { m_fd = -1; }

private:
    int m_fd = -1;
    unsigned m_mode = 0;
};

} // namespace

Plan scan(const std::string &path, const DescribeDevice &describe, const std::atomic<bool> *stop)
{
    Plan plan;
    std::string folderPath, name;
    if ((plan.error = locate(path, folderPath, name)) != 0)
        return plan;
    plan.path = joinPath(folderPath, name);
    const UniqueFd dir = openFolderNoLinks(folderPath, plan.error);
    if (!dir.valid())
        return plan;
    EntryInfo folder, info;
    if ((plan.error = look(dir.get(), {}, folder)) != 0 || (plan.error = look(dir.get(), name, info)) != 0)
        return plan;
    plan.folder = folder.identity;
    plan.item = info.identity;
    plan.kind = kindOf(info.mode);
    // "name/" asks for a folder: a file or link there is not what was meant.
    if (path.back() == '/' && plan.kind != ItemKind::Folder) {
        plan.error = ENOTDIR;
        return plan;
    }
    // The kernel's own interfaces (/proc, /sys) hold settings and triggers, not data: a
    // write there changes the system, and no tree of them is ever the user's to shred.
    DeviceFacts facts;
    if (plan.kind == ItemKind::File || plan.kind == ItemKind::Folder) {
        facts = describe({info.identity.device, info.identity.mount});
        if (isKernelInterface(facts)) {
            plan.error = KernelInterface;
            return plan;
        }
    }
    if (isMountPoint(info, folder)) {
        if (plan.kind != ItemKind::Folder) {
            plan.error = EXDEV; // another file system's file, whoever mounted it here
            return plan;
        }
        plan.keepFolder = true;
    }
    // Nothing on a read-only mount can go: said now, before anyone is asked.
    if (platform::mayChangeFolder(dir.get()) == EROFS) {
        plan.error = EROFS;
        return plan;
    }
    if (plan.kind == ItemKind::File) {
        countFile(plan, info);
    } else if (plan.kind == ItemKind::Folder) {
        UniqueFd root = openSubfolder(dir.get(), name, info.identity, plan.error);
        if (!root.valid())
            return plan;
        if (plan.keepFolder && platform::mayChangeFolder(root.get()) == EROFS) {
            plan.error = EROFS;
            return plan;
        }
        Survey survey(plan, stop);
        if (const int error = TreeWalk(std::move(root), info, plan.path).run(survey))
            plan.error = error;
        std::sort(plan.linked.begin(), plan.linked.end());
        std::sort(plan.seen.begin(), plan.seen.end());
    } else {
        return plan; // only a name goes: no data is overwritten, so nothing to warn about
    }
    plan.fsType = facts.fsType;
    plan.warnings |= warningsFor(facts);
    return plan;
}
struct Shredder::Buffer
{
    PassData data;
    Xoshiro names;
};

// One item's account: the first failure and how many there were.
struct Shredder::Run
{
    explicit Run(const Plan &plan) : plan(plan) {}

    const Plan &plan;
    const TreeWalk *tree = nullptr; // while a folder is walked
    bool cancelled = false;
    std::string partlyOverwritten;
    int error = 0;
    std::string where;
    std::uint64_t failures = 0;

    // The full name of an entry of the folder being walked; "" names that folder.
    std::string pathOf(const std::string &name) const { return tree ? tree->path(name) : plan.path; }

    void fail(int systemError, const std::string &name)
    {
        if (!failures++) {
            error = systemError;
            where = pathOf(name);
        }
    }

    // Whether an entry of the tree was there when the user was asked.
    bool wasSeen(const Identity &identity) const
    {
        return std::binary_search(plan.seen.begin(), plan.seen.end(), std::make_pair(identity.device, identity.inode));
    }

    // How many names the file had when the user confirmed; one unless warned of more.
    std::uint64_t linksConfirmed(std::uint64_t inode) const
    {
        const auto found = std::lower_bound(plan.linked.begin(), plan.linked.end(), std::make_pair(inode, std::uint64_t(0)));
        return found != plan.linked.end() && found->first == inode ? found->second : 1;
    }
};

// Empties a folder tree: files are shredded, the rest removed, and each folder removed
// once nothing in it failed.
class Shredder::Tree : public TreeVisitor
{
public:
    Tree(Shredder &shredder, Run &run) : m_shredder(shredder), m_run(run) {}
    bool stopped() const override { return m_shredder.stopped(); }

    bool enter(int folderFd, const std::string &name, const EntryInfo &info) override
    {
        // A folder made since the user was asked is not theirs to lose unasked.
        if (!m_run.wasSeen(info.identity)) {
            m_run.fail(ChangedSinceScan, name);
            return false;
        }
        // Nothing could be removed from a folder we can't change, so nothing in it is overwritten.
        if (const int error = platform::mayChangeFolder(folderFd)) {
            m_run.fail(error, name);
            return false;
        }
        m_failuresBefore.push_back(m_run.failures);
        return true;
    }

    void entry(int dirFd, const std::string &name, const EntryInfo &info, const EntryInfo &folder) override
    {
        if (!m_run.wasSeen(info.identity))
            return m_run.fail(ChangedSinceScan, name);
        if (platform::isRegularFile(info.mode))
            m_shredder.shredFile(dirFd, name, folder, info, m_run);
        else
            m_shredder.removeEntry(dirFd, name, false, info.identity, m_run);
    }

    void mountPoint(const std::string &name) override { m_run.fail(EXDEV, name); }
    void unreadable(const std::string &name, int error) override { m_run.fail(error, name); }

    void leave(int folderFd, int parentFd, const std::string &name) override
    {
        const bool clean = m_run.failures == m_failuresBefore.back();
        m_failuresBefore.pop_back();
        // One sync for all the removals in this folder.
        if (const int error = platform::syncFile(folderFd); error && error != EINVAL)
            m_run.fail(error, {});
        if (!clean || m_run.cancelled)
            return;
        EntryInfo held;
        if (parentFd < 0)
            m_rootEmptied = true; // its own folder removes it, outside the walk
        else if (const int error = look(folderFd, {}, held))
            m_run.fail(error, {});
        else
            m_shredder.removeEntry(parentFd, name, true, held.identity, m_run);
    }

    bool rootEmptied() const { return m_rootEmptied; }

private:
    Shredder &m_shredder;
    Run &m_run;
    std::vector<std::uint64_t> m_failuresBefore;
    bool m_rootEmptied = false;
};

Shredder::Shredder(Options options, const std::atomic<bool> *stop)
    : m_options(options), m_stop(stop), m_buffer(std::make_unique<Buffer>())
{
    m_options.passes = std::max(m_options.passes, 1); // never remove a file without overwriting it
}

Shredder::~Shredder() = default;

Outcome Shredder::shred(const std::string &path)
{
    return shred(scan(path, [](std::uint64_t) { return DeviceFacts{}; }));
}

Outcome Shredder::shred(const Plan &plan)
{
    Run run(plan);
    const std::size_t slash = plan.path.rfind('/');
    if (stopped()) {
        run.cancelled = true;
    } else if (plan.error) {
        run.fail(plan.error, {});
    } else if (slash == std::string::npos) {
        run.fail(EINVAL, {});
    } else {
        const std::string name = plan.path.substr(slash + 1);
        int error = 0;
        const UniqueFd dir = openFolderNoLinks(slash ? plan.path.substr(0, slash) : "/", error);
        EntryInfo folder, info;
        if (!dir.valid())
            run.fail(error == ELOOP || error == ENOTDIR ? ChangedSinceScan : error, {});
        else if ((error = look(dir.get(), {}, folder)) != 0 || (error = look(dir.get(), name, info)) != 0)
            run.fail(error, {});
        else if (!(folder.identity == plan.folder) || !(info.identity == plan.item) || kindOf(info.mode) != plan.kind)
            run.fail(ChangedSinceScan, {});
        else if (isMountPoint(info, folder) != plan.keepFolder)
            run.fail(plan.keepFolder ? ChangedSinceScan : EXDEV, {});
        else if (plan.kind != ItemKind::File && !plan.keepFolder
                 && (error = removalRefused(dir.get(), folder, info)) != 0)
            run.fail(error, {}); // checked first, so nothing is destroyed that can't be removed
        else if (plan.kind == ItemKind::Folder)
            shredFolder(dir.get(), name, info, run);
        else if (plan.kind == ItemKind::File)
            shredFile(dir.get(), name, folder, info, run);
        else
            removeEntry(dir.get(), name, false, info.identity, run);
        if (dir.valid()) {
            if (const int syncError = platform::syncFile(dir.get()); syncError && syncError != EINVAL && !run.failures)
                run.fail(syncError, {});
        }
    }

    Outcome outcome;
    outcome.status = run.cancelled ? Status::Cancelled : run.failures ? Status::Failed : Status::Shredded;
    outcome.error = run.error;
    outcome.where = run.where == plan.path ? std::string() : run.where;
    outcome.failures = run.failures;
    outcome.partlyOverwritten = run.partlyOverwritten;
    return outcome;
}

// `seen` is what the walk found under the name. Records its own failure; a cancel leaves
// the file in place, as long as it was, and marks the run cancelled.
void Shredder::shredFile(int dirFd, const std::string &name, const EntryInfo &folder, const EntryInfo &seen, Run &run)
{
    if (const int refused = removalRefused(dirFd, folder, seen)) {
        run.fail(refused, name); // overwritten but left behind would be the worst of both
        return;
    }
    if (beforeOpen)
        beforeOpen(dirFd, name);
    // An O_PATH descriptor opens nothing: a FIFO or device that took the name is never opened.
    const UniqueFd handle = platform::openAt(dirFd, name, platform::PathOnly | platform::NoFollow);
    EntryInfo info;
    int error = handle.valid() ? look(handle.get(), {}, info) : errno;
    if (error) {
        run.fail(error, name);
        return;
    }
    if (!platform::isRegularFile(info.mode) || !(info.identity == seen.identity)) {
        run.fail(ChangedSinceScan, name);
        return;
    }
    ModeRestorer restoreMode;
    UniqueFd file = reopenForWriting(handle.get(), error);
    if (!file.valid() && error == EACCES && info.owner == platform::effectiveUser() && !(info.mode & platform::ownerWriteBit)) {
        // Our own write-protected file: we may delete it anyway, so lift the protection, on
        // this very file only, and put it back should the file stay.
        if (changeMode(handle.get(), info.mode | platform::ownerWriteBit)) {
            restoreMode.arm(handle.get(), info.mode);
            file = reopenForWriting(handle.get(), error);
        }
    }
    if (!file.valid()) {
        run.fail(error, name);
        return;
    }
    if (beforeWrite)
        beforeWrite(file.get());
    // A name made since the user confirmed would have its content destroyed unasked.
    EntryInfo now;
    if ((error = look(file.get(), {}, now)) != 0 || now.links > run.linksConfirmed(now.identity.inode)) {
        run.fail(error ? error : EMLINK, name);
        return;
    }

    if (onProgress) {
        const auto clock = std::chrono::steady_clock::now();
        if (m_current.empty() || clock - m_currentAt >= std::chrono::milliseconds(100)) {
            m_current = run.pathOf(name); // built at most ten times a second, however deep
            m_currentAt = clock;
        }
        onProgress(m_bytesDone, m_current);
    }
    const std::uint64_t end = roundUp(now.size, now.blockSize);
    const auto ranges = dataRanges(file.get(), now.size, end);
    // Writing up to the last block may lengthen the file; a file that stays gets its length back.
    const auto keepLength = [&] { platform::truncateFile(file.get(), now.size); };
    const std::uint64_t doneBefore = m_bytesDone;
    for (int pass = 0; pass < m_options.totalPasses(); ++pass) {
        const bool zeros = pass >= m_options.passes;
        for (const auto &[from, to] : ranges) {
            WriteBehind behind(from, &writeBack);
            for (std::uint64_t offset = from; offset < to; offset += chunkSize) {
                if (stopped()) {
                    keepLength();
                    run.cancelled = true;
                    if (m_bytesDone > doneBefore)
                        run.partlyOverwritten = run.pathOf(name);
                    return;
                }
                const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, to - offset));
                if (!writeAll(file.get(), m_buffer->data.bytes(zeros, size), size, static_cast<std::int64_t>(offset))) {
                    run.fail(errno, name);
                    keepLength();
                    return;
                }
                if (const int writeBackError = behind.wrote(file.get(), offset + size)) {
                    run.fail(writeBackError, name);
                    keepLength();
                    return;
                }
                m_bytesDone += size;
                if (onProgress)
                    onProgress(m_bytesDone, m_current);
            }
        }
        if (const int syncError = platform::syncData(file.get())) {
            run.fail(syncError, name);
            keepLength();
            return;
        }
    }
    if (beforeTruncate)
        beforeTruncate(file.get());
    // No sync of its own: the folder's sync after the unlink commits the truncation too.
    if (const int truncateError = platform::truncateFile(file.get(), 0)) {
        run.fail(truncateError, name);
        return;
    }
    file.reset();
    // The names go by the identity of the file we hold, not what the walk saw.
    if (removeEntry(dirFd, name, false, info.identity, run))
        restoreMode.disarm();
}

// Renames an entry to random names, each shorter than the last, then removes it. Never
// replaces another entry. Each step goes by name, so before each the name must still lead
// to `expected`: whatever was exchanged into it is left alone. Records its own failure
// and returns false on one.
bool Shredder::removeEntry(int dirFd, const std::string &name, bool folder, const Identity &expected, Run &run)
{
    static constexpr char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    // A folder's failure is its own: it is the one being walked, or the listed item.
    const std::string failedName = folder ? std::string() : name;
    const auto stillExpected = [&](const std::string &entry) {
        EntryInfo now;
        if (look(dirFd, entry, now) == 0 && now.identity.device == expected.device
            && now.identity.inode == expected.inode)
            return true;
        run.fail(ChangedSinceScan, failedName);
        return false;
    };
    std::string current = name;
    bool renaming = true;
    for (std::size_t length = name.size(); renaming && length > 0; --length) {
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::string candidate(length, '0');
            for (char &c : candidate)
                c = alphabet[m_buffer->names.next() % (sizeof alphabet - 1)];
            if (candidate == current)
                continue;
            if (beforeRename)
                beforeRename(dirFd, current);
            if (!stillExpected(current))
                return false;
            const int renameError = platform::renameNoReplace(dirFd, current, candidate);
            if (renameError == 0) {
                current = candidate;
                break;
            }
            if (renameError == EEXIST)
                continue;
            if (renameError == EINVAL || renameError == ENOSYS) {
                // No atomic no-replace here (some network file systems): look, then rename.
                platform::EntryStatus taken;
                const int lookError = platform::entryStatus(dirFd, candidate, taken);
                if (lookError == 0)
                    continue;
                if (lookError == ENOENT && platform::renameWithin(dirFd, current, candidate) == 0) {
                    current = candidate;
                    break;
                }
            }
            renaming = false; // keep the name we have; removing it is what matters
            break;
        }
    }
    if (beforeRemove)
        beforeRemove(dirFd, current);
    if (!stillExpected(current))
        return false;
    if (const int removeError = platform::removeAt(dirFd, current, folder)) {
        run.fail(removeError, failedName);
        return false;
    }
    return true;
}

void Shredder::shredFolder(int parentFd, const std::string &name, const EntryInfo &info, Run &run)
{
    int error = 0;
    UniqueFd root = openSubfolder(parentFd, name, info.identity, error);
    if (!root.valid()) {
        run.fail(error, {});
        return;
    }
    TreeWalk tree(std::move(root), info, run.plan.path);
    Tree emptier(*this, run);
    run.tree = &tree;
    if ((error = tree.run(emptier)) != 0)
        run.fail(error, {});
    run.tree = nullptr;
    if (stopped())
        run.cancelled = true;
    if (!run.cancelled && emptier.rootEmptied() && !run.plan.keepFolder)
        removeEntry(parentFd, name, true, info.identity, run);
}

} // namespace shredder
