#pragma once

#include <QHash>
#include <QString>

#include <optional>

namespace cleanup::files {

// The native variables an entry may use, each resolved to an absolute folder; empty where it
// can't be resolved.
struct NativeVariables
{
    QString home;       // $HOME, and ~/
    QString cacheHome;  // $XDG_CACHE_HOME
    QString dataHome;   // $XDG_DATA_HOME
    QString configHome; // $XDG_CONFIG_HOME
    QString stateHome;  // $XDG_STATE_HOME
    bool rootHome = false; // $HOME is the root folder, which is no home
};

// From this process's environment: $HOME when absolute and not the root folder; each XDG folder from its variable
// when that is absolute, else the XDG default below the home ("~/.cache", ...). Kept as bytes:
// a name that is no UTF-8 comes back with escaped bytes (platform/line_file.h).
NativeVariables nativeVariables();

// True when `entry` resolves through a Wine prefix: it starts with a drive letter and a
// colon, or with a known Windows variable and a separator ("%TEMP%\*.tmp").
bool isWindowsEntry(const QString &entry);

// `entry` with the variables in its folder parts replaced: %NAME% (any case) from
// `windows` for a Windows-style entry, ~/ and $NAME or ${NAME} from `native` otherwise. The
// last part is left as written. Names that are no known variable stay as they are.
// std::nullopt when a known variable has no value here, or its value would reach beyond
// what the entry names (a "." or ".." part, a NUL, a relative or drive-less folder): the
// entry then names nothing. `anchorLength`, when given, is set to the length of the leading
// part of a native result that is its anchor (the home or XDG folder it starts with), 0 for a
// relative entry (the working folder is its anchor), and -1 for an absolute path as written
// and for a Windows-style entry. `refusal`, when given, says why an entry names nothing where
// that is worth saying: a value that climbs out, a home that is the root folder (a variable
// that simply has no value says nothing).
std::optional<QString> expandEntry(const QString &entry, const NativeVariables &native,
                                   const QHash<QString, QString> &windows, qsizetype *anchorLength = nullptr,
                                   QString *refusal = nullptr);

} // namespace cleanup::files
