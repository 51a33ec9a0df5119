#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_backup.h"
#include "cleanup/registry/registry_delete.h"
#include "cleanup/registry/registry_name.h"

#include <string_view>
#include <vector>

namespace cleanup::registry {

namespace {

// Backups of one entry that a program keeps writing to before it is given up.
constexpr int maxBackupsPerEntry = 3;

} // namespace

// On Windows the registry is right here: no helper, no prefix; only the backup file is
// kept for the length of a run.
struct RegistryDeleter::Private
{
    quint32 lastError = 0;
    RegistryBackup backup;
    std::function<void()> beforeDelete;
};

RegistryDeleter::RegistryDeleter(const QString &, const QString &)
    : d(std::make_unique<Private>())
{
}

RegistryDeleter::~RegistryDeleter() = default;

bool RegistryDeleter::remove(const QString &entry)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()),
                                   size_t(entry.size()));
    if (!d->backup.enabled()) {
        d->lastError = deleteRegistryEntry(text);
        return d->lastError == 0;
    }
    const ParseResult parsed = parseRegistryName(text);
    RegistryExport exported;
    d->lastError = exportRegistryEntry(text, exported);
    std::vector<std::u16string> removed;
    // A program writing to the entry meanwhile gets its latest state backed up too, within
    // bounds: see deleteIfUnchanged().
    for (int backups = 1; d->lastError == 0; ++backups) {
        d->lastError = d->backup.append(parsed.name, exported.keyName, exported.values, removed);
        if (d->lastError != 0)
            return false;
        RegistryExport now;
        if (d->beforeDelete)
            d->beforeDelete();
        d->lastError = deleteIfUnchanged(text, exported, now);
        if (d->lastError != errorKeptChanging)
            break;
        if (backups == maxBackupsPerEntry)
            return false;
        removed = valueNamesGone(exported.values, now.values);
        exported = std::move(now);
    }
    return d->lastError == 0;
}

// The registry API answers at once: nothing to wait for.
void RegistryDeleter::begin(const QString &entry)
{
    remove(entry);
}

bool RegistryDeleter::busy() const
{
    return false;
}

void RegistryDeleter::runStarted()
{
    d->backup.startRun();
}

void RegistryDeleter::runFinished()
{
    d->backup.endRun();
}

void RegistryDeleter::setBackupFolder(const QString &folder)
{
    d->backup.setFolder(folder);
}

QString RegistryDeleter::backupFileName() const
{
    return d->backup.fileName();
}

quint32 RegistryDeleter::lastError() const
{
    return d->lastError;
}

void RegistryDeleter::setWineLoader(const QString &) {}

void RegistryDeleter::setTimeouts(int, int) {}

void RegistryDeleter::setBeforeDelete(std::function<void()> hook) { d->beforeDelete = std::move(hook); }

qint64 RegistryDeleter::helperProcessId() const
{
    return 0;
}

std::unique_ptr<cleanup::EntryDeleter> makeRegistryDeleter()
{
    auto deleter = std::make_unique<RegistryDeleter>();
    deleter->setBackupFolder(defaultBackupFolder());
    return deleter;
}

QString findWineLoader()
{
    return {};
}

} // namespace cleanup::registry
