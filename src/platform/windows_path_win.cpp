#include "platform/windows_path.h"

namespace platform {

// On Windows a drive path is already native and the system itself ignores case, so
// there is no prefix to go through.
QString winePrefix()
{
    return QString();
}

QString resolveWindowsPath(const QString &path, const QString &)
{
    return path;
}

} // namespace platform
