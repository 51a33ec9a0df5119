#include "platform/windows_path.h"

namespace platform {

// On Windows a drive path is already native and the system itself ignores case, so
// there is no prefix to go through.
QString winePrefix()
{
    return QString();
}

bool isWindowsPath(QStringView path)
{
    if (path.size() < 2 || path[1] != u':')
        return false;
    const char16_t letter = path[0].unicode();
    return (letter >= u'a' && letter <= u'z') || (letter >= u'A' && letter <= u'Z');
}

QString resolveWindowsPath(const QString &path, const QString &)
{
    return path;
}

} // namespace platform
