#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

namespace platform {

// The Wine prefixes whose Windows-style junk is the user's: $WINEPREFIX alone when it is set,
// as every Wine command takes it; otherwise every folder holding system.reg and drive_c in the
// places Wine and its front ends keep prefixes below $HOME (~/.wine, ~/.deepinwine/*,
// ~/.local/share/wineprefixes/*, Bottles, PlayOnLinux, Lutris's ~/Games/*, Steam's
// compatdata/*/pfx). A prefix reached through several links is listed once, under the first
// name found; one reached through a link owned by anyone but this user or root is left out,
// as is every prefix below a home that is the root folder. On Windows the one entry is an empty string: the system itself.
QStringList userWinePrefixes();

// What a Windows program started in `prefix` finds in its environment, by upper-case name,
// with %NAME% references inside the values resolved: the system's variables, then the user's,
// then the session's, all read from the prefix's own hives, plus SystemRoot, ProgramData,
// PUBLIC, ALLUSERSPROFILE, ProgramFiles and USERPROFILE where Wine keeps them elsewhere in the
// registry. Empty for a folder without hives. On Windows, the process's own environment.
QHash<QString, QString> windowsEnvironment(const QString &prefix);

} // namespace platform
