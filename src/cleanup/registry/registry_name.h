#pragma once

// Plain C++ on purpose: the Win32 helper is cross-compiled without Qt and shares this parser
// with the Linux bridge and the Windows build.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cleanup::registry {

enum class Root { CurrentUser, LocalMachine, ClassesRoot, Users, CurrentConfig };

// Windows' own limits: a key name holds at most 255 characters, a value name 16,383.
inline constexpr std::size_t maxKeyNameLength = 255;
inline constexpr std::size_t maxValueNameLength = 16383;
// Bounds what crosses the helper's pipe; far beyond anything the registry can hold.
inline constexpr std::size_t maxEntryLength = 65535;

// A registry entry split the way the deletion calls need it: open `parentPath` below the root
// key, then delete the subkey or the value called `name` there.
struct RegistryName
{
    Root root = Root::CurrentUser;
    std::u16string parentPath; // empty: the root key itself
    std::u16string name;       // never empty
    bool isKey = false;        // the entry ended in a backslash

    bool operator==(const RegistryName &) const = default;
};

enum class ParseError {
    None,
    Empty,
    NoBackslash,      // "HKCU", "Software"
    UnknownRoot,      // "HKXX\Software\V", "HKU\..." (no short form for HKEY_USERS)
    RootOnly,         // "HKCU\"
    EmptyKeyName,     // "HKCU\\Software\", "HKCU\Software\\V"
    KeyNameTooLong,   // a key name above 255 characters
    ValueNameTooLong, // a value name above 16,383 characters
    EntryTooLong,
    NulCharacter,     // the registry calls take zero-terminated names
    InvalidUtf16,     // a lone surrogate
};

struct ParseResult
{
    RegistryName name;
    ParseError error = ParseError::None;

    bool ok() const { return error == ParseError::None; }
};

// Reads an entry the way WScript.Shell's RegDelete does on Windows NT: a root key name
// (full or short, any letter case) and a backslash, then backslash-separated key names. An
// entry ending in a backslash names a key; otherwise its last part names a value of the key
// before it. Nothing is trimmed.
ParseResult parseRegistryName(std::u16string_view entry);

// The Windows error code a failed parse reports (ERROR_INVALID_PARAMETER and kin).
std::uint32_t parseErrorCode(ParseError error);

} // namespace cleanup::registry
