#pragma once

// The export, backup and deletion of one registry entry at a time, the same on every system;
// only the registry calls differ, behind RegistryBackend.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_name.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cleanup::registry {

class RegistryBackup;

// Where the registry calls go: brisquel-regdel.exe under Wine on Linux, the registry API
// in-process on Windows. Requests and answers are those of helper_protocol.h, a checked
// delete included (it deletes only what the last export found).
class RegistryBackend
{
public:
    virtual ~RegistryBackend() = default;
    // Readies the registry for the next entry: 0, or the code the entry fails with at once.
    virtual quint32 open() = 0;
    // Sends one request; `done` is called once with the answer, right away by a backend
    // that answers at once.
    virtual void send(RequestKind kind, const std::u16string &entry, std::function<void(HelperAnswer)> done) = 0;
    // A backend that answers at once has its backups written in-line too; otherwise they are
    // written on a thread of their own, since syncing a file can take long on a busy disk.
    virtual bool answersAtOnce() const = 0;
    // What the backup file names as the registry's place; empty for none.
    virtual QString backupPrefix() const = 0;
    virtual void runStarted() {}
    virtual void runFinished() {}
    // Waits up to `ms` for whatever runFinished() ended; whether it is gone.
    virtual bool waitForEnd(int ms) { Q_UNUSED(ms); return true; }
};

// One entry under way: its export, the backup of what that found, then its deletion, checked
// against that export when there is a backup. An entry a program keeps writing to between
// its backup and its deletion is backed up again, up to three times.
class DeletionJob
{
public:
    explicit DeletionJob(RegistryBackend &backend);
    // Lets a backup being written finish: a cut-off file would be worse than the wait.
    ~DeletionJob();
    DeletionJob(const DeletionJob &) = delete;
    DeletionJob &operator=(const DeletionJob &) = delete;

    void begin(const QString &entry);
    bool busy() const;
    quint32 lastError() const { return m_lastError; }
    void runStarted();
    void runFinished();
    void setBackupFolder(const QString &folder);
    QString backupFileName() const;
    void setBeforeDelete(std::function<void()> hook) { m_beforeDelete = std::move(hook); }

private:
    enum class Step { None, Export, Backup, Delete };

    void finish(quint32 error);
    void newBackup();
    void send();
    void answered(quint64 number, HelperAnswer answer);
    void backedUp(quint64 number, quint32 error);

    RegistryBackend &m_backend;
    quint32 m_lastError = 0;
    QString m_backupFolder;
    std::function<void()> m_beforeDelete;
    // The run's backup. A run that ends while a backup is being written leaves that object to
    // the writer, and the next run gets a new one.
    std::shared_ptr<RegistryBackup> m_backup;
    QThreadPool m_writer;
    // Receives the writer's results on the job's thread.
    QObject m_context;

    Step m_step = Step::None;
    quint64 m_number = 0; // of the entry under way; answers for an earlier one are dropped
    quint64 m_begun = 0;
    RegistryName m_name;
    std::u16string m_entry;
    // The values of the entry's last backup, and how many backups it has had.
    std::vector<ExportedValue> m_backedUp;
    int m_backups = 0;
};

} // namespace cleanup::registry
