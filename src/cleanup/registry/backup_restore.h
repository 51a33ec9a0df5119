#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace cleanup::registry {

// What putting one of our registry backups back came to.
struct RestoreResult
{
    enum class Status {
        Restored,      // everything in the file is back
        NotOurBackup,  // not a backup this program wrote (foreign, truncated, malformed)
        NoRegistry,    // no prefix to restore into (gone, or without a registry), or no Wine
        Refused,       // the prefix isn't the user's, or content no checksum vouches for wasn't confirmed
        Failed,        // the import failed; `message` says why
    };
    Status status = Status::Failed;
    QString prefix;      // the prefix restored into
    int keys = 0;        // sections restored
    int values = 0;      // values written back
    QStringList removed; // values the file removes again ("name"=- lines), as "key\\name"
    QString message;     // a Chinese sentence for the user, whatever the status
};

struct RestoreOptions
{
    // The prefix to restore into; empty: the one the file names. Never another.
    QString prefix;
    // Empty: brisquel-regdel.exe in the running program's folder.
    QString helperPath;
    // Where the key of this installation's backups is (backup_seal.h); empty: the default
    // backup folder in the working folder.
    QString keyFolder;
    // Asked, with the file's content as text, whether content that no checksum of ours vouches
    // for (an older backup, a file changed since) is to be imported; none refuses it.
    std::function<bool(const QString &content)> confirm;
};

// Checks that `regFile` is a complete backup of ours (registry_backup.h: its header, its
// prefix comment, sections and values in the form the backup writes, nothing else) and, only
// then, imports it into the prefix it was taken from. Only what this installation wrote is
// imported without asking: its keyed checksum must hold, and each section must lie where the
// list entry it names could have deleted. Other content is shown to `confirm`, and even then
// nothing is put back in places that steer programs or Wine (environment, autostarts, Wine's
// settings, services, shell folders, classes). A prefix that is gone, isn't the user's, or is
// reached through someone else's link is refused; no other prefix stands in for it. A file
// that fails any check changes nothing.
RestoreResult restoreBackup(const QString &regFile, const RestoreOptions &options);
RestoreResult restoreBackup(const QString &regFile, const QString &prefix = {}, const QString &helperPath = {});

// The key path a list entry could have deleted below ("HKEY_CURRENT_USER\Software\Vendor"),
// and whether it is a key (else a value of that key); nothing for an entry that doesn't parse.
struct EntryReach
{
    QString keyPath;
    bool isKey = false;
    QString valueName;
};
std::optional<EntryReach> entryReach(const QString &entry);

} // namespace cleanup::registry
