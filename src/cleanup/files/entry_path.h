#pragma once

#include <QString>

#include <optional>

namespace cleanup::files {

// A junk-file entry cut into the folder to read and the name (or pattern) to look for.
struct EntryPath
{
    QString folder; // as written, with its trailing separator; empty for the working folder
    QString leaf;
};

// Splits `entry` at its last separator: "/" always, "\" too when `backslashSeparates`
// (Windows-style paths); a leading drive ("C:name") belongs to the folder. Gives nothing
// for an entry that can't name a file: empty, ending in a separator, ending in "." or
// "..", or holding a NUL character, which the system would silently cut the path at.
std::optional<EntryPath> splitEntry(const QString &entry, bool backslashSeparates);

} // namespace cleanup::files
