#include "platform/error_text.h"

#include <windows.h>

namespace platform {

namespace {

// ERROR_DISK_QUOTA_EXCEEDED, which not every SDK's headers declare.
constexpr DWORD diskQuotaExceeded = 1295;

QString systemText(DWORD systemError)
{
    wchar_t *buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, systemError, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString text;
    if (length && buffer)
        text = QString::fromWCharArray(buffer, int(length)).trimmed();
    ::LocalFree(buffer);
    if (text.isEmpty())
        text = QStringLiteral("系统错误 %1。").arg(systemError);
    return text;
}

} // namespace

QString describeError(int systemError)
{
    switch (DWORD(systemError)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
        return QStringLiteral("找不到指定的文件或路径。");
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        return QStringLiteral("拒绝访问：没有足够的权限。");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return QStringLiteral("磁盘空间不足。");
    case diskQuotaExceeded:
        return QStringLiteral("磁盘空间不足：已超出磁盘配额。");
    case ERROR_WRITE_PROTECT:
        return QStringLiteral("磁盘是只读的，无法写入。");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
        return QStringLiteral("文件正在被其他程序使用，无法访问。");
    default:
        return systemText(DWORD(systemError));
    }
}

} // namespace platform
