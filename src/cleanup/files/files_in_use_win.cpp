#include "cleanup/files/files_in_use.h"

namespace cleanup::files {

FilesInUse::FilesInUse() = default;

} // namespace cleanup::files
