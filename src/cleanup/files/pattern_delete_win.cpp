#include "cleanup/files/pattern_delete.h"

#include "cleanup/files/entry_path.h"
#include "cleanup/files/name_pattern.h"

#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

#include <windows.h>

namespace cleanup::files {

namespace {

class FindHandle
{
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    FindHandle(const FindHandle &) = delete;
    FindHandle &operator=(const FindHandle &) = delete;
    ~FindHandle()
    {
        if (valid())
            ::FindClose(m_handle);
    }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE handle() const { return m_handle; }

private:
    HANDLE m_handle;
};

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

void noteError(DeleteOutcome &outcome, DWORD error)
{
    if (outcome.error == 0)
        outcome.error = int(error);
}

// Deletes a file even when it is read-only, as the POSIX side does when the folder lets
// it; the attribute comes back if the file stays after all.
bool deleteFile(const QString &path, DWORD attributes)
{
    if (::DeleteFileW(wide(path)))
        return true;
    if (!(attributes & FILE_ATTRIBUTE_READONLY) || ::GetLastError() != ERROR_ACCESS_DENIED)
        return false;
    if (!::SetFileAttributesW(wide(path), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)))
        return false;
    if (::DeleteFileW(wide(path)))
        return true;
    const DWORD error = ::GetLastError();
    ::SetFileAttributesW(wide(path), attributes);
    ::SetLastError(error);
    return false;
}

} // namespace

DeleteOutcome deleteByPattern(const QString &entry, const QString &, std::optional<qsizetype>)
{
    DeleteOutcome outcome;
    const std::optional<EntryPath> path = splitEntry(entry, true);
    if (!path) {
        outcome.error = ERROR_INVALID_NAME;
        return outcome;
    }
    const NamePattern pattern(path->leaf, NamePattern::Style::Windows);

    // One name: the system finds it without regard to case by itself.
    if (!pattern.hasWildcards()) {
        const QString file = path->folder + path->leaf;
        const DWORD attributes = ::GetFileAttributesW(wide(file));
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            outcome.error = int(::GetLastError());
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++outcome.matched;
            if (deleteFile(file, attributes)) {
                ++outcome.removed;
            } else {
                ++outcome.failed;
                outcome.error = int(::GetLastError());
            }
        }
        return outcome;
    }

    // List the whole folder and match here rather than handing the pattern to the system,
    // which would also match the 8.3 short names ("*.tmp" catching "x.tmpl").
    WIN32_FIND_DATAW data;
    const QString search = path->folder + QStringLiteral("*");
    const FindHandle find(::FindFirstFileExW(wide(search), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) {
        outcome.error = int(::GetLastError());
        return outcome;
    }

    // Folders, junctions and links to folders all carry the directory attribute: none is
    // ever deleted. Everything is listed before the first deletion.
    std::vector<std::pair<QString, DWORD>> matches;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const QString name = QString::fromWCharArray(data.cFileName);
        if (pattern.matches(QStringView(name)))
            matches.emplace_back(name, data.dwFileAttributes);
    } while (::FindNextFileW(find.handle(), &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        noteError(outcome, ::GetLastError());

    for (const auto &[name, attributes] : matches) {
        ++outcome.matched;
        if (deleteFile(path->folder + name, attributes) || ::GetLastError() == ERROR_FILE_NOT_FOUND) {
            ++outcome.removed;
        } else {
            ++outcome.failed;
            noteError(outcome, ::GetLastError());
        }
    }
    return outcome;
}

} // namespace cleanup::files

namespace cleanup::files {

// Windows has no folder descriptors to act from: the folder is kept as its path, and each
// match is checked by its file id before it is deleted.
struct FolderMatch::OpenFolder
{
    QString folder; // with its trailing separator
};

namespace {

bool fileIdentity(const QString &path, quint64 &device, quint64 &index, DWORD &attributes)
{
    const HANDLE file = ::CreateFileW(wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!ok)
        return false;
    device = info.dwVolumeSerialNumber;
    index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    attributes = info.dwFileAttributes;
    return true;
}

void addMatch(const QString &folder, const QString &name, FolderMatch &match)
{
    quint64 device = 0;
    quint64 index = 0;
    DWORD attributes = 0;
    if (!fileIdentity(folder + name, device, index, attributes) || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    WIN32_FILE_ATTRIBUTE_DATA data;
    qint64 size = 0;
    if (::GetFileAttributesExW(wide(folder + name), GetFileExInfoStandard, &data))
        size = (qint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    match.files.push_back({name.toUtf8(), size, device, index});
}

} // namespace

int FolderMatch::remove(const MatchedFile &file) const
{
    if (!open)
        return int(ERROR_INVALID_HANDLE);
    const QString path = open->folder + QString::fromUtf8(file.name);
    quint64 device = 0;
    quint64 index = 0;
    DWORD attributes = 0;
    if (!fileIdentity(path, device, index, attributes))
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : int(::GetLastError());
    if (device != file.device || index != file.inode)
        return int(ERROR_FILE_INVALID);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return int(ERROR_DIRECTORY);
    if (deleteFile(path, attributes) || ::GetLastError() == ERROR_FILE_NOT_FOUND)
        return 0;
    return int(::GetLastError());
}

FolderMatch matchPattern(const QString &entry, const QString &winePrefix, std::optional<qsizetype>)
{
    FolderMatch match;
    match.prefix = winePrefix;
    const std::optional<EntryPath> path = splitEntry(entry, true);
    if (!path) {
        match.error = ERROR_INVALID_NAME;
        return match;
    }
    match.folder = path->folder.toUtf8();
    match.open = std::make_shared<const FolderMatch::OpenFolder>(FolderMatch::OpenFolder{path->folder});
    const NamePattern pattern(path->leaf, NamePattern::Style::Windows);
    if (!pattern.hasWildcards()) {
        addMatch(path->folder, path->leaf, match);
        return match;
    }
    WIN32_FIND_DATAW data;
    const FindHandle find(::FindFirstFileExW(wide(path->folder + QStringLiteral("*")), FindExInfoBasic, &data,
                                             FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.valid()) {
        match.error = int(::GetLastError());
        return match;
    }
    QStringList names;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const QString name = QString::fromWCharArray(data.cFileName);
        if (pattern.matches(QStringView(name)))
            names.append(name);
    } while (::FindNextFileW(find.handle(), &data));
    if (::GetLastError() != ERROR_NO_MORE_FILES)
        match.error = int(::GetLastError());
    for (const QString &name : std::as_const(names))
        addMatch(path->folder, name, match);
    return match;
}

} // namespace cleanup::files
