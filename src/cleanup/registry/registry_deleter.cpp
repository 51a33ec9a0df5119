#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/deletion_job.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace cleanup::registry {

RegistryDeleter::RegistryDeleter(const QString &helperPath, const QString &prefix)
    : m_backend(makeRegistryBackend(helperPath, prefix)), m_job(std::make_unique<DeletionJob>(*m_backend))
{
}

RegistryDeleter::~RegistryDeleter() = default;

void RegistryDeleter::begin(const QString &entry)
{
    m_job->begin(entry);
}

bool RegistryDeleter::busy() const
{
    return m_job->busy();
}

bool RegistryDeleter::remove(const QString &entry)
{
    begin(entry);
    while (busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return m_job->lastError() == 0;
}

void RegistryDeleter::runStarted()
{
    m_job->runStarted();
}

void RegistryDeleter::runFinished()
{
    m_job->runFinished();
}

bool RegistryDeleter::waitForWineToEnd(int ms)
{
    return m_backend->waitForEnd(ms);
}

void RegistryDeleter::setBackupFolder(const QString &folder)
{
    m_job->setBackupFolder(folder);
}

QString RegistryDeleter::backupFileName() const
{
    return m_job->backupFileName();
}

quint32 RegistryDeleter::lastError() const
{
    return m_job->lastError();
}

void RegistryDeleter::setBeforeDelete(std::function<void()> hook)
{
    m_job->setBeforeDelete(std::move(hook));
}

RegistryBackend &RegistryDeleter::backend() const
{
    return *m_backend;
}

} // namespace cleanup::registry
