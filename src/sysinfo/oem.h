#pragma once

#include "platform/windows_path.h"

#include <QImage>
#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace sysinfo {

// Where Windows keeps the maker's branding. Fixed paths: on Linux they resolve through
// the Wine prefix.
inline constexpr QLatin1StringView oemInfoPath{"C:\\WINDOWS\\system32\\OEMINFO.INI"};
inline constexpr QLatin1StringView oemLogoPath{"C:\\WINDOWS\\system32\\OEMLOGO.BMP"};
inline constexpr QLatin1StringView oemLinkIconPath{"C:\\WINDOWS\\system32\\OEMLINKICON.ICO"};

// What a double click on each item runs, with the normal-with-focus show state.
inline constexpr QLatin1StringView oemInfoEditCommand{"notepad.exe C:\\WINDOWS\\system32\\OEMINFO.INI"};
inline constexpr QLatin1StringView oemLogoEditCommand{"mspaint.exe C:\\WINDOWS\\system32\\OEMLOGO.BMP"};
inline constexpr QLatin1StringView oemLinkIconEditCommand{"mspaint.exe C:\\WINDOWS\\system32\\OEMLINKICON.ICO"};

// The picture at `windowsPath`: a bitmap or an icon, recognised by its content; of an icon
// with several sizes, the largest. std::nullopt when the file is missing, unreadable, no
// picture or damaged.
std::optional<QImage> readOemPicture(const QString &windowsPath, const QString &prefix = platform::winePrefix());

// The text of OEMINFO.INI: every line, each followed by CR LF; empty for an empty file.
// Of a file over 1 MiB, the lines of its first MiB and a line saying the rest isn't shown.
// std::nullopt when the file can't be opened. A read error part-way gives the lines read
// until then.
std::optional<QString> readOemText(const QString &prefix = platform::winePrefix());

} // namespace sysinfo
