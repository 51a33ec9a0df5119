#pragma once

#include <QString>
#include <QStringList>

namespace cleanup::registry {

// What putting one of our registry backups back came to.
struct RestoreResult
{
    enum class Status {
        Restored,      // everything in the file is back
        NotOurBackup,  // not a backup this program wrote (foreign, truncated, malformed)
        NoRegistry,    // no prefix to restore into, or no Wine
        Failed,        // the import failed; `message` says why
    };
    Status status = Status::Failed;
    QString prefix;      // the prefix restored into
    int keys = 0;        // sections restored
    int values = 0;      // values written back
    QStringList removed; // values the file removes again ("name"=- lines), as "key\\name"
    QString message;     // a Chinese sentence for the user, whatever the status
};

// Checks that `regFile` is a complete backup of ours (registry_backup.h: its header, its
// prefix comment, sections and values in the form the backup writes, nothing else) and, only
// then, imports it into the prefix it was taken from: `prefix` when given, else the one the
// file names, else platform::winePrefix(). A file that fails the check changes nothing.
RestoreResult restoreBackup(const QString &regFile, const QString &prefix = {},
                            const QString &helperPath = {});

} // namespace cleanup::registry
