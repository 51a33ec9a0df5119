#include "cleanup/files/pattern_delete.h"

#include "cleanup/files/entry_path.h"
#include "cleanup/files/name_pattern.h"

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

DeleteOutcome deleteByPattern(const QString &entry, const QString &)
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
