#include "platform/error_text.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// strerror_r comes in two flavours: GNU returns the text, XSI fills the buffer.
[[maybe_unused]] const char *pickText(const char *text, const char *) { return text; }
[[maybe_unused]] const char *pickText(int result, const char *buffer)
{
    return result == 0 ? buffer : nullptr;
}

QString systemText(int systemError)
{
    char buffer[256] = {};
    const char *text = pickText(::strerror_r(systemError, buffer, sizeof buffer), buffer);
    if (!text || !*text)
        return QStringLiteral("系统错误 %1。").arg(systemError);
    return QString::fromLocal8Bit(text);
}

} // namespace

QString describeError(int systemError)
{
    switch (systemError) {
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("找不到指定的文件或路径。");
    case EACCES:
    case EPERM:
        return QStringLiteral("拒绝访问：没有足够的权限。");
    case ENOSPC:
        return QStringLiteral("磁盘空间不足。");
    case EDQUOT:
        return QStringLiteral("磁盘空间不足：已超出磁盘配额。");
    case EROFS:
        return QStringLiteral("磁盘是只读的，无法写入。");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("文件正在被其他程序使用，无法访问。");
    default:
        return systemText(systemError);
    }
}

} // namespace platform
