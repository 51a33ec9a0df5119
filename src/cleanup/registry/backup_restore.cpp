#include "cleanup/registry/backup_restore.h"

// Placeholder until restoring is built: every file is refused, nothing changes.
namespace cleanup::registry {

RestoreResult restoreBackup(const QString &, const QString &prefix, const QString &)
{
    return {.status = RestoreResult::Status::Failed, .prefix = prefix};
}

} // namespace cleanup::registry
