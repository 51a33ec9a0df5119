#pragma once

// The line protocol between the registry bridge and brisquel-regdel.exe, plain C++ so both
// ends share it.
//
// Request: the entry as UTF-8, with '%', every control character (CR, LF, TAB, ...) and DEL
// written as %XX, then LF. No entry can therefore split or end a request early.
// Answer: "0" after a deletion, "ERR <Windows error code>" otherwise, then LF.
//
// An export request is "EXPORT " and the entry, escaped the same way; it changes nothing.
// Its answer lists what deleting the entry would remove, one line each, before the final
// "0" or "ERR <code>":
//   KEY <real name>                  a key entry: the key's own name, in its stored case
//   VALUE <type> <hex data> <name>   a value; type in decimal, data in hex
//                                    (empty for no data), the name escaped like an entry
// and "ERR 2" when there is nothing to export.
//
// A checked delete, "CHECKED " and the entry, deletes only what the helper's last export
// found: the helper exports the entry again right before deleting it and answers
// "ERR 1237" (ERROR_RETRY), deleting nothing, when that differs from the last export, or
// when its last export was of another entry. Things written after the backup are then
// never lost with the deletion.
//
// "VALUES " and a key's path ("HKEY_CURRENT_USER\Software\Vendor", a root alone too)
// lists every value of that key as VALUE lines, subkeys or not, then "0"; it changes
// nothing and is how a restored backup is checked.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cleanup::registry {

// Longest request line the helper takes: every UTF-16 unit of the longest entry as three
// UTF-8 bytes, each escaped to three characters.
inline constexpr std::size_t maxRequestBytes = 65535 * 9;

// Nothing when the entry isn't well-formed UTF-16 (a lone surrogate can't become UTF-8).
std::optional<std::string> encodeRequest(std::u16string_view entry);

// Nothing for a bad escape, a raw control character or bytes that aren't strict UTF-8.
std::optional<std::u16string> decodeRequest(std::string_view line);

enum class RequestKind { Delete, Export, CheckedDelete, Values };

struct Request
{
    RequestKind kind = RequestKind::Delete;
    std::u16string entry;
};

std::optional<std::string> encodeExportRequest(std::u16string_view entry);
std::optional<std::string> encodeCheckedDeleteRequest(std::u16string_view entry);
// The request line of either kind.
std::optional<std::string> encodeRequest(RequestKind kind, std::u16string_view entry);
// Either kind of request line; nothing when it is malformed.
std::optional<Request> parseRequest(std::string_view line);

// One value as the registry holds it: raw bytes, whatever the type claims.
struct ExportedValue
{
    std::u16string name; // empty: the key's default value
    std::uint32_t type = 0;
    std::string data;

    bool operator==(const ExportedValue &) const = default;
};

// One line of an export answer before its final answer line.
struct ExportLine
{
    bool isKey = false;      // a KEY line: `keyName` holds the name
    std::u16string keyName;
    ExportedValue value;     // a VALUE line
};

// A whole answer: 0 or a Windows error code, and the export lines before it.
struct HelperAnswer
{
    std::uint32_t error = 0;
    std::vector<ExportLine> lines;
};

// Nothing when a name isn't well-formed UTF-16.
std::optional<std::string> formatKeyLine(std::u16string_view name);
std::optional<std::string> formatValueLine(const ExportedValue &value);
// Nothing when the line is neither.
std::optional<ExportLine> parseExportLine(std::string_view line);

std::string formatAnswer(std::uint32_t errorCode);

// The error code of an answer line (0 for success); nothing when the line is no answer.
std::optional<std::uint32_t> parseAnswer(std::string_view line);

} // namespace cleanup::registry
