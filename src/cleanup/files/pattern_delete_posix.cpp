#include "cleanup/files/pattern_delete.h"

#include "cleanup/files/entry_path.h"
#include "cleanup/files/name_pattern.h"
#include "platform/unique_dir.h"

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

} // namespace

DeleteOutcome deleteByPattern(const QString &entry, const QString &winePrefix)
{
    DeleteOutcome outcome;
    const bool windows = platform::isWindowsPath(entry);
    const std::optional<EntryPath> path = splitEntry(entry, windows);
    if (!path) {
        outcome.error = EINVAL;
        return outcome;
    }

    const NamePattern pattern(path->leaf,
                              windows ? NamePattern::Style::Windows : NamePattern::Style::Native);
    QString folder = path->folder.isEmpty() ? QStringLiteral(".") : path->folder;
    std::string name = pattern.bytes();
    if (windows) {
        // The drive's folders, and a name without wildcards, are found without regard to
        // case the way every Windows path is.
        const QString resolved =
            platform::resolveWindowsPath(pattern.hasWildcards() ? path->folder : entry, winePrefix);
        if (resolved.isEmpty()) {
            outcome.error = ENOENT;
            return outcome;
        }
        if (pattern.hasWildcards()) {
            folder = resolved;
        } else {
            const qsizetype slash = resolved.lastIndexOf(u'/');
            folder = resolved.left(slash);
            name = QFile::encodeName(resolved.mid(slash + 1)).toStdString();
        }
    }

    // The folder itself may sit behind symbolic links (dosdevices/c: is one); only what is
    // found inside it is never followed.
    const platform::UniqueFd fd(
        ::open(toNativeBytes(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        outcome.error = errno;
        return outcome;
    }

    if (pattern.hasWildcards())
        deleteMatching(fd.get(), pattern, outcome);
    else
        removeNonDirectory(fd.get(), name.c_str(), DT_UNKNOWN, outcome);
    return outcome;
}

} // namespace cleanup::files
