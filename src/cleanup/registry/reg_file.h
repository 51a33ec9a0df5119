#pragma once

// Registry files (.reg) in the registry editor's own export form, so `regedit /s FILE`
// (Wine's or Windows') puts back exactly what a run deleted. Plain C++, no Qt.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <string>
#include <string_view>
#include <vector>

namespace cleanup::registry {

// What a registry file starts with, the blank line after the version included. Saved as
// UTF-16LE behind a byte-order mark.
inline constexpr std::u16string_view regFileHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

// "HKEY_CURRENT_USER" and so on: the editor names roots in full.
std::u16string_view rootKeyName(Root root);

// One key's section: "[path]", its values, a blank line; CR LF line ends.
std::u16string formatRegSection(std::u16string_view keyPath, const std::vector<ExportedValue> &values);

// One value line as the editor writes it, long hex data wrapped with ",\" and two blanks.
std::u16string formatRegValue(const ExportedValue &value);

} // namespace cleanup::registry
