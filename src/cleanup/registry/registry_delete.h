#pragma once

// The registry calls themselves, Windows only: used in-process by the Windows build and by
// brisquel-regdel.exe, which the Linux build runs under Wine. Plain C++, no Qt.

#include "cleanup/registry/registry_name.h"

#include <cstdint>
#include <string_view>

namespace cleanup::registry {

// Deletes what the entry names and returns the Windows error code (0 after a deletion).
// A key is deleted only when it has no subkeys; RegDeleteKeyW refuses otherwise. Every
// handle is closed before returning.
std::uint32_t deleteRegistryEntry(std::u16string_view entry);
std::uint32_t deleteRegistryName(const RegistryName &name);

} // namespace cleanup::registry
