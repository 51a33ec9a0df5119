#include "support/about_text.h"

#include "platform/line_file.h"

namespace support {

std::optional<QString> readAboutText()
{
    return platform::readTextHead(QStringLiteral("Guanyu.dat"));
}

} // namespace support
