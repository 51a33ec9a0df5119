#pragma once

#include <QString>

namespace platform {

// The Wine prefix that stands in for the Windows system: $WINEPREFIX, else ~/.wine.
QString winePrefix();

// True when `path` begins with a drive letter and a colon ("C:\WINDOWS\...").
bool isWindowsPath(QStringView path);

// Maps a Windows path to a native one through the prefix's dosdevices/<letter>: folder,
// with "\" and "/" both as separators and each existing component matched without regard
// to case. Components that don't exist are kept as written. Returns an empty string when
// the drive isn't mapped. Native paths come back unchanged.
QString resolveWindowsPath(const QString &path, const QString &prefix = winePrefix());

} // namespace platform
