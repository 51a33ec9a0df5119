#pragma once

// The line protocol between the registry bridge and brisquel-regdel.exe, plain C++ so both
// ends share it.
//
// Request: the entry as UTF-8, with '%', every control character (CR, LF, TAB, ...) and DEL
// written as %XX, then LF. No entry can therefore split or end a request early.
// Answer: "0" after a deletion, "ERR <Windows error code>" otherwise, then LF.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cleanup::registry {

// Longest request line the helper takes: every UTF-16 unit of the longest entry as three
// UTF-8 bytes, each escaped to three characters.
inline constexpr std::size_t maxRequestBytes = 65535 * 9;

// Nothing when the entry isn't well-formed UTF-16 (a lone surrogate can't become UTF-8).
std::optional<std::string> encodeRequest(std::u16string_view entry);

// Nothing for a bad escape, a raw control character or bytes that aren't strict UTF-8.
std::optional<std::u16string> decodeRequest(std::string_view line);

std::string formatAnswer(std::uint32_t errorCode);

// The error code of an answer line (0 for success); nothing when the line is no answer.
std::optional<std::uint32_t> parseAnswer(std::string_view line);

} // namespace cleanup::registry
