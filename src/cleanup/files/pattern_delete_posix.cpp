#include "cleanup/files/pattern_delete.h"

#include "cleanup/files/entry_path.h"
#include "cleanup/files/name_pattern.h"

#include <QFile>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cleanup::files {

namespace {

using Dir = std::unique_ptr<DIR, int (*)(DIR *)>;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

void noteError(DeleteOutcome &outcome, int error)
{
    if (outcome.error == 0)
        outcome.error = error;
}

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Removes `name` from the folder unless it is a folder itself. `type` is the readdir type
// when known; only an unknown one costs a stat. The name is unlinked, never followed.
void removeNonDirectory(int folder, const char *name, unsigned char type, DeleteOutcome &outcome)
{
    if (type == DT_DIR)
        return;
    if (type == DT_UNKNOWN) {
        struct stat st;
        if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone since the folder was read: nothing left to match.
            if (errno != ENOENT)
                noteError(outcome, errno);
            return;
        }
        if (S_ISDIR(st.st_mode))
            return;
    }
    ++outcome.matched;
    // unlinkat without AT_REMOVEDIR refuses folders, so even a folder that took the
    // name's place in the meantime survives.
    if (::unlinkat(folder, name, 0) == 0 || errno == ENOENT) {
        ++outcome.removed;
    } else {
        ++outcome.failed;
        noteError(outcome, errno);
    }
}

// The names in `dir` that `pattern` matches, each followed by a NUL, with their types.
// They are all read before anything is removed, so removing can't disturb the listing.
struct Matches
{
    std::string names;
    std::vector<std::pair<std::size_t, unsigned char>> entries; // offset in names, d_type
};

std::optional<Matches> readMatches(DIR *dir, const NamePattern &pattern, DeleteOutcome &outcome)
{
    Matches matches;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        if (entry->d_type == DT_DIR || isDotOrDotDot(entry->d_name))
            continue;
        const std::string_view name(entry->d_name);
        if (!pattern.matches(name))
            continue;
        matches.entries.emplace_back(matches.names.size(), entry->d_type);
        matches.names.append(name);
        matches.names.push_back('\0');
    }
    if (errno != 0) {
        noteError(outcome, errno);
        return std::nullopt;
    }
    return matches;
}

void deleteMatching(int folder, const NamePattern &pattern, DeleteOutcome &outcome)
{
    // fdopendir takes over the descriptor it is given; keep ours for unlinkat.
    const int listing = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (listing < 0) {
        noteError(outcome, errno);
        return;
    }
    const Dir dir(::fdopendir(listing), &::closedir);
    if (!dir) {
        noteError(outcome, errno);
        ::close(listing);
        return;
    }
    const std::optional<Matches> matches = readMatches(dir.get(), pattern, outcome);
    if (!matches)
        return;
    for (const auto &[offset, type] : matches->entries)
        removeNonDirectory(folder, matches->names.data() + offset, type, outcome);
}

// The folder an entry names, opened, and what to look for in it.
struct OpenedEntry
{
    int error = 0;
    std::optional<NamePattern> pattern;
    std::string name;   // the one name to look for when the pattern has no wildcards
    QByteArray folder;  // the folder's path bytes
    int fd = -1;        // owned by the caller
};

OpenedEntry openEntry(const QString &entry, const QString &winePrefix)
{
    OpenedEntry opened;
    const bool windows = platform::isWindowsPath(entry);
    const std::optional<EntryPath> path = splitEntry(entry, windows);
    if (!path) {
        opened.error = EINVAL;
        return opened;
    }

    opened.pattern.emplace(path->leaf, windows ? NamePattern::Style::Windows : NamePattern::Style::Native);
    const NamePattern &pattern = *opened.pattern;
    QString folder = path->folder.isEmpty() ? QStringLiteral(".") : path->folder;
    opened.name = pattern.bytes();
    if (windows) {
        // The drive's folders, and a name without wildcards, are found without regard to
        // case the way every Windows path is.
        const QString resolved =
            platform::resolveWindowsPath(pattern.hasWildcards() ? path->folder : entry, winePrefix);
        if (resolved.isEmpty()) {
            opened.error = ENOENT;
            return opened;
        }
        if (pattern.hasWildcards()) {
            folder = resolved;
        } else {
            const qsizetype slash = resolved.lastIndexOf(u'/');
            folder = resolved.left(slash);
            opened.name = QFile::encodeName(resolved.mid(slash + 1)).toStdString();
        }
    }

    // The folder itself may sit behind symbolic links (dosdevices/c: is one); only what is
    // found inside it is never followed.
    opened.folder = toNativeBytes(folder);
    opened.fd = ::open(opened.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened.fd < 0)
        opened.error = errno;
    return opened;
}

} // namespace

DeleteOutcome deleteByPattern(const QString &entry, const QString &winePrefix)
{
    DeleteOutcome outcome;
    const OpenedEntry opened = openEntry(entry, winePrefix);
    const FileDescriptor fd(opened.fd);
    if (opened.error != 0) {
        outcome.error = opened.error;
        return outcome;
    }
    if (opened.pattern->hasWildcards())
        deleteMatching(fd.get(), *opened.pattern, outcome);
    else
        removeNonDirectory(fd.get(), opened.name.c_str(), DT_UNKNOWN, outcome);
    return outcome;
}

struct FolderMatch::OpenFolder
{
    explicit OpenFolder(int descriptor) : fd(descriptor) {}
    const FileDescriptor fd;
};

int FolderMatch::remove(const MatchedFile &file) const
{
    if (!open)
        return EBADF;
    const int dir = open->fd.get();
    struct stat st;
    if (::fstatat(dir, file.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    // Another file in the listed one's place is not what was listed.
    if (quint64(st.st_dev) != file.device || quint64(st.st_ino) != file.inode)
        return ESTALE;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    // unlinkat without AT_REMOVEDIR refuses folders, whatever took the name meanwhile.
    if (::unlinkat(dir, file.name.constData(), 0) == 0 || errno == ENOENT)
        return 0;
    return errno;
}

namespace {

// Looks `name` up in the folder; false for a folder or a name that is gone.
bool addMatch(int folder, const char *name, FolderMatch &match)
{
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT && match.error == 0)
            match.error = errno;
        return false;
    }
    if (S_ISDIR(st.st_mode))
        return false;
    const bool hasLength = S_ISREG(st.st_mode) || S_ISLNK(st.st_mode);
    match.files.push_back({QByteArray(name), hasLength ? qint64(st.st_size) : 0, quint64(st.st_dev),
                           quint64(st.st_ino)});
    return true;
}

} // namespace

FolderMatch matchPattern(const QString &entry, const QString &winePrefix)
{
    FolderMatch match;
    match.prefix = winePrefix;
    const OpenedEntry opened = openEntry(entry, winePrefix);
    match.folder = opened.folder;
    if (opened.error != 0) {
        match.error = opened.error;
        if (opened.fd >= 0)
            ::close(opened.fd);
        return match;
    }
    match.open = std::make_shared<const FolderMatch::OpenFolder>(opened.fd);
    const int fd = match.open->fd.get();
    if (!opened.pattern->hasWildcards()) {
        addMatch(fd, opened.name.c_str(), match);
        return match;
    }
    const int listing = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (listing < 0) {
        match.error = errno;
        return match;
    }
    const Dir dir(::fdopendir(listing), &::closedir);
    if (!dir) {
        match.error = errno;
        ::close(listing);
        return match;
    }
    DeleteOutcome outcome;
    const std::optional<Matches> matches = readMatches(dir.get(), *opened.pattern, outcome);
    if (!matches) {
        match.error = outcome.error;
        return match;
    }
    match.files.reserve(matches->entries.size());
    for (const auto &entry : matches->entries)
        addMatch(fd, matches->names.data() + entry.first, match);
    return match;
}

} // namespace cleanup::files
