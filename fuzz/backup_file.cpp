// The registry backup reader. A file it accepts is exactly what the backup writer makes of
// what it read, and names only keys below the roots we back up.

#include "fuzz_support.h"
#include "cleanup/registry/backup_file.h"

#include <cstdint>
#include <string_view>

using namespace cleanup::registry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const BackupFileCheck check = readBackupFile(bytes);
    FUZZ_CHECK(check.ok() == (check.file.sections.size() > 0));
    if (!check.ok())
        return 0;
    FUZZ_CHECK(writeBackupFile(check.file) == bytes);
    for (const BackupSection &section : check.file.sections)
        FUZZ_CHECK(section.keyPath.substr(0, 5) == u"HKEY_" && section.keyPath.find(u"\\\\") == std::u16string::npos);
    return 0;
}
