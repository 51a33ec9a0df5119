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

// Whether a section can name the key: the editor ends a key's line at a CR or LF, so a key
// so named would come back under another name, with its values.
bool keyPathFits(std::u16string_view keyPath);

// One key's section: "[path]", a removal line ("name"=-) for each of `removed`, its values,
// a blank line; CR LF line ends.
std::u16string formatRegSection(std::u16string_view keyPath, const std::vector<ExportedValue> &values,
                                const std::vector<std::u16string> &removed = {});

// Names of `before` that `after` lacks: values gone since an earlier backup, which a later
// section must remove for a restore to give back only the later state.
std::vector<std::u16string> valueNamesGone(const std::vector<ExportedValue> &before,
                                           const std::vector<ExportedValue> &after);

// One value line as the editor writes it, long hex data wrapped with ",\" and two blanks.
std::u16string formatRegValue(const ExportedValue &value);

} // namespace cleanup::registry
