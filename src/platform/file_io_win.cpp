#include "platform/file_io.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

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
    m_handle = reinterpret_cast<std::intptr_t>(handle);
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
    if (!::ReadFile(handleOf(m_handle), data, wanted, &got, nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE)
            return 0;
        *systemError = int(error);
        return -1;
    }
    return got;
}

void ReadOnlyFile::close()
{
    if (isOpen()) {
        ::CloseHandle(handleOf(m_handle));
        m_handle = invalidHandle;
    }
}

bool replaceFile(const QString &path, QByteArrayView data, int *systemError)
{
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

    const char *next = data.data();
    qsizetype left = data.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, 1 << 30));
        if (!::WriteFile(handle, next, chunk, &written, nullptr))
            return fail(::GetLastError());
        next += written;
        left -= written;
    }
    if (!::FlushFileBuffers(handle))
        return fail(::GetLastError());
    ::CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;

    // The new file looks like the old one: hidden stays hidden. A read-only file refuses
    // the move below, just as it refuses being opened for writing.
    if (oldAttributes != INVALID_FILE_ATTRIBUTES) {
        const DWORD kept = oldAttributes
            & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE
               | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (kept)
            ::SetFileAttributesW(tempName.c_str(), kept);
    }
    if (!::MoveFileExW(tempName.c_str(), targetName.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(::GetLastError());
    return true;
}

} // namespace platform::detail
