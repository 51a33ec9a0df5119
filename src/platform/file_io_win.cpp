#include "platform/file_io.h"
#include "platform/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>

namespace platform::detail {

namespace {

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

HANDLE handleOf(std::intptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}

// Follows symbolic links to the file that really gets written (shortcuts are files).
QString resolveLinks(const QString &path)
{
    QString target = path;
    for (int depth = 0; depth < 40; ++depth) {
        const QFileInfo info(target);
        if (!info.isSymbolicLink())
            break;
        target = info.symLinkTarget();
    }
    return target;
}

// Writes `data` at `offset`; false with the error left in GetLastError().
bool writeAllAt(HANDLE handle, QByteArrayView data, qint64 offset)
{
    LARGE_INTEGER position;
    position.QuadPart = offset;
    if (!::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN))
        return false;
    const char *next = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, 1 << 30));
        if (!::WriteFile(handle, next, chunk, &written, nullptr))
            return false;
        next += written;
        left -= written;
    }
    return true;
}

bool cutAt(HANDLE handle, qint64 size)
{
    LARGE_INTEGER position;
    position.QuadPart = size;
    return ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle);
}

DWORD linkCount(const std::wstring &name)
{
    const HANDLE handle = ::CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 1;
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = ::GetFileInformationByHandle(handle, &information);
    ::CloseHandle(handle);
    return known ? information.nNumberOfLinks : 1;
}

// Writes over the old file itself, which keeps everything that makes it that file. The space
// the new content needs is claimed first, and what lies past the old end is written before
// the old content is touched, so a full disk fails while the old content is still whole.
bool writeInPlace(const std::wstring &name, QByteArrayView data, int *systemError, bool *oldKept)
{
    const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *systemError = int(::GetLastError());
        return false;
    }
    const auto fail = [&] {
        *systemError = int(::GetLastError());
        ::CloseHandle(handle);
        return false;
    };
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle, &size))
        return fail();
    const qint64 oldSize = size.QuadPart;
    const qint64 newSize = data.size();
    if (newSize > oldSize) {
        // A smaller allocation would cut the file: only ever grow it.
        FILE_ALLOCATION_INFO allocation;
        allocation.AllocationSize.QuadPart = newSize;
        if (!::SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation))
            return fail();
        if (!writeAllAt(handle, data.sliced(oldSize), oldSize)) {
            const DWORD error = ::GetLastError();
            cutAt(handle, oldSize);
            ::SetLastError(error);
            return fail();
        }
    }
    if (!writeAllAt(handle, data.first(std::min(oldSize, newSize)), 0) || !cutAt(handle, newSize)
        || !::FlushFileBuffers(handle)) {
        if (oldKept)
            *oldKept = false;
        return fail();
    }
    ::CloseHandle(handle);
    return true;
}

} // namespace

bool ReadOnlyFile::open(const QString &path, int *systemError)
{
    close();
    const HANDLE handle = ::CreateFileW(nativePath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *systemError = int(::GetLastError());
        return false;
    }
    // Only a file on disk holds lines: a pipe or a device would never end.
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        *systemError = ERROR_INVALID_FUNCTION;
        return false;
    }
    // A C runtime descriptor, so one owner closes files on every system; it owns the handle.
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        *systemError = ERROR_TOO_MANY_OPEN_FILES;
        return false;
    }
    m_fd.reset(fd);
    return true;
}

qint64 ReadOnlyFile::read(char *data, qint64 maxSize, int *systemError)
{
    if (!isOpen()) {
        *systemError = ERROR_INVALID_HANDLE;
        return -1;
    }
    DWORD got = 0;
    const DWORD wanted = DWORD(std::min<qint64>(maxSize, 1 << 30));
    if (!::ReadFile(handleOf(::_get_osfhandle(m_fd.get())), data, wanted, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE)
            return 0;
        *systemError = int(error);
        return -1;
    }
    return got;
}

// The in-place write keeps no journal here yet.
bool replaceFile(const QString &path, QByteArrayView data, int *systemError, bool *oldKept, const SaveHooks *)
{
    if (oldKept)
        *oldKept = true;
    if (path.isEmpty()) {
        *systemError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const QString target = resolveLinks(path);
    const std::wstring targetName = nativePath(target);
    const DWORD oldAttributes = ::GetFileAttributesW(targetName.c_str());
    if (oldAttributes != INVALID_FILE_ATTRIBUTES && (oldAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *systemError = ERROR_ACCESS_DENIED;
        return false;
    }
    const bool exists = oldAttributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file stays as it is, as it would if it were written in place.
    if (exists && (oldAttributes & FILE_ATTRIBUTE_READONLY)) {
        *systemError = ERROR_ACCESS_DENIED;
        return false;
    }
    // A replacement would part a file with other names from them.
    if (exists && linkCount(targetName) > 1)
        return writeInPlace(targetName, data, systemError, oldKept);

    // Beside the target, so the final move stays on one volume and is atomic.
    const QFileInfo info(target);
    std::wstring tempName;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        const QString suffix = QString::number(QRandomGenerator::global()->generate64(), 36);
        tempName = nativePath(info.path() + u'/' + info.fileName() + u'.' + suffix
                              + QStringLiteral(".tmp"));
        handle = ::CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) {
            // No new file can be made beside the old one (a read-only folder): write in place.
            if (exists && ::GetLastError() == ERROR_ACCESS_DENIED)
                return writeInPlace(targetName, data, systemError, oldKept);
            *systemError = int(::GetLastError());
            return false;
        }
    }
    if (handle == INVALID_HANDLE_VALUE) {
        *systemError = ERROR_FILE_EXISTS;
        return false;
    }

    const auto fail = [&](DWORD error) {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
        ::DeleteFileW(tempName.c_str());
        *systemError = int(error);
        return false;
    };

    if (!writeAllAt(handle, data, 0))
        return fail(::GetLastError());
    if (!::FlushFileBuffers(handle))
        return fail(::GetLastError());
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;

    // ReplaceFile gives the new file the old one's security, attributes, creation time and
    // streams.
    if (exists) {
        if (!::ReplaceFileW(targetName.c_str(), tempName.c_str(), nullptr,
                            REPLACEFILE_WRITE_THROUGH | REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return fail(::GetLastError());
    } else if (!::MoveFileExW(tempName.c_str(), targetName.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return fail(::GetLastError());
    }
    return true;
}

Completion completeInterruptedSave(const QString &, int *)
{
    return Completion::NothingToDo;
}

} // namespace platform::detail

namespace platform {

QByteArray stateFolder()
{
    const QString local = qEnvironmentVariable("LOCALAPPDATA");
    return local.isEmpty() ? QByteArray() : (local + QStringLiteral("\\brisquel")).toUtf8();
}

bool syncToDisk(QFile &file)
{
    // Qt keeps the file's own handle to itself; flushing any handle of the file writes it.
    const HANDLE handle = CreateFileW(detail::nativePath(file.fileName()).c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(handle) != 0;
    CloseHandle(handle);
    return flushed;
}

void syncFolderEntry(const QString &) {}

} // namespace platform
