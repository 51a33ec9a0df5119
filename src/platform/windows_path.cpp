#include "platform/windows_path.h"

namespace platform {

bool isWindowsPath(QStringView path)
{
    if (path.size() < 2 || path[1] != u':')
        return false;
    const char16_t letter = path[0].unicode();
    return (letter >= u'a' && letter <= u'z') || (letter >= u'A' && letter <= u'Z');
}

} // namespace platform
