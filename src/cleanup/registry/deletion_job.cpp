#include "cleanup/registry/deletion_job.h"

#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_backup.h"
#include "cleanup/registry/registry_deleter.h"

#include <QMetaObject>

#include <utility>

namespace cleanup::registry {

namespace {

// Backups of one entry that a program keeps writing to before it is given up.
constexpr int maxBackupsPerEntry = 3;

} // namespace

DeletionJob::DeletionJob(RegistryBackend &backend)
    : m_backend(backend)
{
    m_writer.setMaxThreadCount(1);
    newBackup();
}

DeletionJob::~DeletionJob()
{
    m_writer.waitForDone();
}

void DeletionJob::newBackup()
{
    m_backup = std::make_shared<RegistryBackup>();
    m_backup->setFolder(m_backupFolder);
    m_backup->setPrefix(m_backend.backupPrefix());
}

void DeletionJob::finish(quint32 error)
{
    m_lastError = error;
    m_step = Step::None;
    m_name = {};
    m_entry.clear();
    m_backedUp.clear();
    m_backups = 0;
}

void DeletionJob::begin(const QString &entry)
{
    finish(0);
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()), size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    if (!parsed.ok())
        return finish(parseErrorCode(parsed.error));
    if (const quint32 error = m_backend.open(); error != 0)
        return finish(error);
    m_step = m_backupFolder.isEmpty() ? Step::Delete : Step::Export;
    m_number = ++m_begun;
    m_name = parsed.name;
    m_entry = text;
    send();
}

bool DeletionJob::busy() const
{
    return m_step != Step::None;
}

void DeletionJob::send()
{
    const RequestKind kind = m_step == Step::Export ? RequestKind::Export
            : m_backupFolder.isEmpty()              ? RequestKind::Delete
                                                    : RequestKind::CheckedDelete;
    m_backend.send(kind, m_entry, [this, number = m_number](HelperAnswer answer) {
        answered(number, std::move(answer));
    });
}

void DeletionJob::answered(quint64 number, HelperAnswer answer)
{
    // Stopped meanwhile: the answer is no one's.
    if (m_step == Step::None || m_number != number)
        return;
    const quint32 code = answer.error;
    // Not as backed up: exported and backed up again, within bounds.
    if (m_step == Step::Delete && code == errorKeptChanging && !m_backupFolder.isEmpty()) {
        if (m_backups >= maxBackupsPerEntry)
            return finish(errorKeptChanging);
        m_step = Step::Export;
        return send();
    }
    if (m_step != Step::Export || code != 0)
        return finish(code);
    // Nothing goes without its copy on disk first; a missing entry has nothing to copy
    // and has failed above as its deletion would.
    std::u16string keyName;
    std::vector<ExportedValue> values;
    for (ExportLine &line : answer.lines) {
        if (line.isKey)
            keyName = std::move(line.keyName);
        else
            values.push_back(std::move(line.value));
    }
    // Values an earlier backup of the entry held and the registry no longer does: a
    // restore must not bring them back.
    std::vector<std::u16string> removed = valueNamesGone(m_backedUp, values);
    m_backedUp = values;
    ++m_backups;
    m_step = Step::Backup;
    if (m_backend.answersAtOnce())
        return backedUp(number, m_backup->append(m_entry, m_name, keyName, values, removed));
    m_writer.start([this, number, file = m_backup, entry = m_entry, name = m_name, keyName = std::move(keyName),
                    values = std::move(values), removed = std::move(removed)] {
        const quint32 error = file->append(entry, name, keyName, values, removed);
        QMetaObject::invokeMethod(&m_context, [this, number, error] { backedUp(number, error); },
                                  Qt::QueuedConnection);
    });
}

void DeletionJob::backedUp(quint64 number, quint32 error)
{
    // A run stopped meanwhile: the entry stays.
    if (m_step != Step::Backup || m_number != number)
        return;
    if (error != 0)
        return finish(error);
    m_step = Step::Delete;
    if (m_beforeDelete)
        m_beforeDelete();
    send();
}

void DeletionJob::runStarted()
{
    finish(0);
    m_backend.runStarted();
    newBackup();
    m_backup->startRun();
}

void DeletionJob::runFinished()
{
    // An entry still under way is let go: its helper finishes it or not, but its backup is
    // on disk either way.
    finish(m_lastError);
    m_backend.runFinished();
    // The next run's file is new; a backup still being written keeps the old one open.
    newBackup();
}

void DeletionJob::setBackupFolder(const QString &folder)
{
    m_backupFolder = folder;
    m_backup->setFolder(folder);
    m_backup->setPrefix(m_backend.backupPrefix());
}

QString DeletionJob::backupFileName() const
{
    return m_backup->fileName();
}

} // namespace cleanup::registry
