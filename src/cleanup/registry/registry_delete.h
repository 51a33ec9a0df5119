#pragma once

// The registry calls themselves, Windows only: used in-process by the Windows build and by
// brisquel-regdel.exe, which the Linux build runs under Wine. Plain C++, no Qt.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace cleanup::registry {

// Deletes what the entry names and returns the Windows error code (0 after a deletion).
// A key is deleted only when it has no subkeys. A key that is a registry link is deleted
// itself, never the key it points to; keys along the path are looked up through links, as
// the registry always does. Every handle is closed before returning.
std::uint32_t deleteRegistryEntry(std::u16string_view entry);
std::uint32_t deleteRegistryName(const RegistryName &name);

// What deleting the entry would remove, for a backup: a value, or a key's own name (in its
// stored letter case) and values. Changes nothing. Fails with the error the deletion would
// give where it can tell (2 for a missing key or value, 5 for a key with subkeys), and with
// 50 (ERROR_NOT_SUPPORTED) for a registry link, which no registry file can make again.
struct RegistryExport
{
    std::u16string keyName; // key entries only
    std::vector<ExportedValue> values;

    bool operator==(const RegistryExport &) const = default;
};
std::uint32_t exportRegistryEntry(std::u16string_view entry, RegistryExport &out);

// Every value of the key at `keyPath` (a root's full name, then key names), whether or not
// it has subkeys. Changes nothing.
std::uint32_t readKeyValues(std::u16string_view keyPath, std::vector<ExportedValue> &out);

// Deletes the entry only if exporting it now finds exactly `backedUp`; otherwise deletes
// nothing and returns 1237 (ERROR_RETRY) with the fresh export in `now`. Export failures
// are returned as they are.
std::uint32_t deleteIfUnchanged(std::u16string_view entry, const RegistryExport &backedUp, RegistryExport &now);

} // namespace cleanup::registry
