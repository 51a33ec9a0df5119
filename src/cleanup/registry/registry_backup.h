#pragma once

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace cleanup::registry {

// The backup file of one registry run: "<folder>/2026-12-07_10-52-03.reg", named after the
// run's start, holding everything the run deleted in the registry editor's format. It is
// made when the first thing is backed up, so a run that deleted nothing leaves no file, and
// it is never shared: a second run started in the same second gets "..._2.reg".
class RegistryBackup
{
public:
    // Where backups go; empty turns them off. A relative folder is taken from the working
    // folder at the start of each run.
    void setFolder(const QString &folder);
    bool enabled() const { return !m_folder.isEmpty(); }
    // The Wine prefix the keys come from, named in a comment line of the file's header so a
    // restore goes back to the same prefix; an import reads past it.
    void setPrefix(const QString &prefix) { m_prefix = prefix; }

    void startRun();
    void endRun();

    // Appends what deleting `name` removes and syncs it to disk; `removed` names values an
    // earlier backup of the same entry held that are gone since, so a restore leaves them out.
    // Returns 0, errorNotRestorable for a key the registry editor can't name, or
    // errorBackupFailed when the file can't be written; the file is then as it was, and a
    // file that would be left empty is gone.
    // `entry` is the list entry being deleted, named in the section's comment so a restore
    // brings back only what such an entry could have deleted; the file ends in a keyed
    // checksum (backup_seal.h) rewritten with each section. A section that would make the
    // file larger than a restore reads fails with errorBackupTooLarge, the file unchanged.
    quint32 append(std::u16string_view entry, const RegistryName &name, const std::u16string &storedKeyName,
                   const std::vector<ExportedValue> &values, const std::vector<std::u16string> &removed = {});

    // The current run's file; empty before its first backup.
    QString fileName() const;

private:
    bool openFile();

    QString m_folder;
    QString m_prefix;
    QString m_runFolder;
    QDateTime m_started;
    std::unique_ptr<QFile> m_file;
    bool m_folderMade = false; // by this run, for the file it was made for
    QByteArray m_key;
    QByteArray m_chain;         // the checksum chain's last link
    qint64 m_checksumBytes = 0; // the length of the checksum line that ends the file
};

} // namespace cleanup::registry
