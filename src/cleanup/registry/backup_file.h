#pragma once

// Reads back a registry backup of ours (RegistryBackup, reg_file.h) and nothing else: the
// byte-order mark, the editor's header, the prefix comment, then sections exactly as
// formatRegSection() writes them. Whatever the file holds is handed to the registry editor,
// so anything we would not have written ourselves is refused. Plain C++, no Qt.

#include "cleanup/registry/helper_protocol.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup::registry {

// Far beyond any run's backup; a bigger file is no backup of ours.
inline constexpr std::size_t maxBackupFileBytes = std::size_t(64) << 20;

// What the prefix comment line starts with.
inline constexpr std::u16string_view backupPrefixComment = u"; Wine prefix: ";
// The comment line before a section naming the list entry whose deletion it backs up.
inline constexpr std::u16string_view backupEntryComment = u"; Entry: ";
// The file's last line: the keyed checksum over everything before it (backup_seal.h).
inline constexpr std::u16string_view backupChecksumComment = u"; Checksum: ";

struct BackupSection
{
    std::u16string entry;                // the list entry that deleted it; empty in older backups
    std::u16string keyPath;              // "HKEY_CURRENT_USER\Software\..."
    std::vector<std::u16string> removed; // "name"=- lines
    std::vector<ExportedValue> values;
};

struct BackupFile
{
    std::u16string prefix; // from the prefix comment
    std::vector<BackupSection> sections;
    std::u16string checksum; // lower-case hex; empty when the file has none (older backups)
};

enum class BackupFileError {
    None,
    TooLarge,
    NotUtf16,     // no UTF-16LE byte-order mark, an odd length, a lone surrogate
    NulCharacter,
    NoHeader,     // not the editor's header
    NoPrefixComment,
    BadLineBreak, // a CR or LF on its own
    BadSection,   // a section line we never write, or a root we never back up
    BadValue,     // a value or removal line we never write
    Truncated,    // the last section doesn't end with its blank line, or no section at all
    NotAsWritten, // parses, but isn't byte for byte what we would have written
};

struct BackupFileCheck
{
    BackupFile file;
    BackupFileError error = BackupFileError::None;
    std::size_t line = 0; // 1-based line of the first fault; 0 for the file as a whole

    bool ok() const { return error == BackupFileError::None; }
};

// Parses the file's bytes; on any fault the file is empty and `error` says why.
BackupFileCheck readBackupFile(std::string_view bytes);

// The editor's header and, for a non-empty prefix, the prefix comment and its blank line.
std::u16string formatBackupFileStart(std::u16string_view prefix);

// The entry comment line and the section, as RegistryBackup appends them.
std::u16string formatBackupPart(const BackupSection &section);
// The checksum line.
std::u16string formatBackupChecksum(std::u16string_view checksum);

// The file's bytes before its checksum line in the pieces it was written in: the byte-order
// mark with the file's start, then one piece per section. The checksum chains over them.
std::vector<std::string> backupFileParts(const BackupFile &file);

// The bytes RegistryBackup writes for `file`: what readBackupFile() reads back exactly.
std::string writeBackupFile(const BackupFile &file);

// Whether an entry can be named in its comment line: one line, as the lists hold it.
bool entryFitsComment(std::u16string_view entry);

} // namespace cleanup::registry
