#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

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
// "..", holding a NUL character, which the system would silently cut the path at, or,
// Windows-style, holding an escaped byte (platform/line_file.h), which no Unicode name has.
std::optional<EntryPath> splitEntry(const QString &entry, bool backslashSeparates);

// The bytes a native path names, as the file system holds them: text as UTF-8, and each byte
// that the list file held as no text (an escaped byte, see platform/line_file.h) as exactly
// that byte, so an entry names the file whose name holds those bytes and no other. A lone
// surrogate becomes U+FFFD, never a "?" a pattern would take for a wildcard.
QByteArray toNativeBytes(QStringView text);

} // namespace cleanup::files
