#include "cleanup/files/pattern_delete.h"

#include "cleanup/files/entry_path.h"
#include "cleanup/files/entry_place.h"
#include "cleanup/files/name_pattern.h"
#include "platform/unique_dir.h"
#include "platform/unique_fd.h"

#include <QByteArrayList>

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
    // A listing of its own, so ours stays for unlinkat.
    const platform::UniqueDir dir = platform::UniqueDir::listing(folder);
    if (!dir) {
        noteError(outcome, errno);
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
    QString refusal;    // why the entry names nothing: it would leave its place
    std::optional<NamePattern> pattern;
    std::string name;   // the one name to look for when the pattern has no wildcards
    QByteArray folder;  // the folder's path bytes: its real path where it was reached soundly
    platform::UniqueFd fd;
};

QByteArrayList folderParts(QStringView folder, bool windows)
{
    QByteArrayList parts;
    for (const QStringView part : folder.tokenize(u'/', Qt::SkipEmptyParts)) {
        if (!windows) {
            parts.append(toNativeBytes(part));
            continue;
        }
        for (const QStringView piece : part.tokenize(u'\\', Qt::SkipEmptyParts))
            parts.append(piece.toUtf8());
    }
    return parts;
}

OpenedEntry openEntry(const QString &entry, const QString &winePrefix, std::optional<qsizetype> anchorLength)
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
    opened.name = pattern.bytes();
    const QStringView folder(path->folder);
    // Refused by its text, whether or not the folders on its way are there.
    if (folderParts(windows ? folder.mid(2) : folder, windows).contains(QByteArray(".."))) {
        opened.refusal = QStringLiteral("路径含有“..”，未查找");
        return opened;
    }

    ReachedFolder reached;
    if (windows) {
        reached = reachInPrefix(winePrefix, folder[0], folderParts(folder.mid(2), true));
        // A name without wildcards is found without regard to case too, as every Windows path is.
        if (reached.reached() && !pattern.hasWildcards()) {
            if (const std::optional<QByteArray> found =
                    findName(reached.fd.get(), QByteArray::fromStdString(opened.name), NameMatch::WithoutCase))
                opened.name = found->toStdString();
        }
    } else {
        const qsizetype anchor = anchorLength ? *anchorLength : (folder.startsWith(u'/') ? -1 : 0);
        if (anchor < 0 || anchor > folder.size()) {
            // An absolute path a user wrote keeps its meaning, links and all; only ".." is refused.
            const QByteArray written = toNativeBytes(folder);
            opened.fd.reset(::open(written.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!opened.fd.valid())
                opened.error = errno;
            opened.folder = opened.fd.valid() ? realPath(written) : written;
            return opened;
        }
        const QByteArray anchorPath = anchor == 0 ? QByteArray(".") : toNativeBytes(folder.left(anchor));
        reached = reachBelowAnchor(anchorPath, folderParts(folder.mid(anchor), false));
    }
    opened.error = reached.error;
    opened.refusal = reached.refusal;
    opened.folder = reached.path;
    opened.fd = std::move(reached.fd);
    if (opened.error == 0 && opened.refusal.isEmpty() && !opened.fd.valid())
        opened.error = ENOENT;
    return opened;
}

} // namespace

DeleteOutcome deleteByPattern(const QString &entry, const QString &winePrefix, std::optional<qsizetype> anchorLength)
{
    DeleteOutcome outcome;
    const OpenedEntry opened = openEntry(entry, winePrefix, anchorLength);
    if (!opened.refusal.isEmpty()) {
        outcome.refusal = opened.refusal;
        return outcome;
    }
    if (opened.error != 0) {
        outcome.error = opened.error;
        return outcome;
    }
    const int fd = opened.fd.get();
    if (opened.pattern->hasWildcards())
        deleteMatching(fd, *opened.pattern, outcome);
    else
        removeNonDirectory(fd, opened.name.c_str(), DT_UNKNOWN, outcome);
    return outcome;
}

struct FolderMatch::OpenFolder
{
    explicit OpenFolder(int descriptor) : fd(descriptor) {}
    const platform::UniqueFd fd;
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
                           quint64(st.st_ino), qint64(st.st_mtim.tv_sec), qint64(st.st_atim.tv_sec)});
    return true;
}

} // namespace

FolderMatch matchPattern(const QString &entry, const QString &winePrefix, std::optional<qsizetype> anchorLength)
{
    FolderMatch match;
    match.prefix = winePrefix;
    OpenedEntry opened = openEntry(entry, winePrefix, anchorLength);
    match.folder = opened.folder;
    match.refusal = opened.refusal;
    if (opened.error != 0 || !opened.refusal.isEmpty()) {
        match.error = opened.error;
        return match;
    }
    match.open = std::make_shared<const FolderMatch::OpenFolder>(opened.fd.release());
    const int fd = match.open->fd.get();
    if (!opened.pattern->hasWildcards()) {
        addMatch(fd, opened.name.c_str(), match);
        return match;
    }
    // A listing of its own, so ours stays for unlinkat.
    const platform::UniqueDir dir = platform::UniqueDir::listing(fd);
    if (!dir) {
        match.error = errno;
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
