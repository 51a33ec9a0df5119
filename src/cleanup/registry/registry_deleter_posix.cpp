#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/deletion_job.h"
#include "cleanup/registry/every_prefix_deleter.h"
#include "cleanup/registry/wine_helper.h"
#include "platform/windows_path.h"
#include "platform/wine_prefixes.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace cleanup::registry {

namespace {

bool holdsRegistry(const QString &prefix)
{
    return !prefix.isEmpty() && QFileInfo(prefix + QStringLiteral("/system.reg")).isFile();
}

// The Wine prefix's registry, through one helper kept for a run.
class WineBackend final : public RegistryBackend
{
public:
    WineBackend(const QString &helperPath, const QString &prefix) : m_prefix(prefix), m_helper(helperPath) {}

    WineHelper &helper() { return m_helper; }

    quint32 open() override
    {
        // Any Wine command run against a prefix without hives would create a whole new one.
        m_current = currentPrefix();
        if (!holdsRegistry(m_current)) {
            m_helper.stop(true);
            return errorNoRegistry;
        }
        return 0;
    }

    void send(RequestKind kind, const std::u16string &entry, std::function<void(HelperAnswer)> done) override
    {
        m_helper.request(m_current, kind, entry, std::move(done));
    }

    bool answersAtOnce() const override { return false; }

    QString backupPrefix() const override { return currentPrefix(); }

    void runStarted() override
    {
        m_helper.resetFailures();
        // Wine may take seconds to come up: it starts now, in the background.
        const QString prefix = currentPrefix();
        if (holdsRegistry(prefix))
            m_helper.start(prefix);
    }

    void runFinished() override
    {
        // Its helper finishes the entry under way or not; either way nothing waits for it.
        m_helper.stop(true);
        m_helper.resetFailures();
    }

private:
    // Looked up afresh at each deletion unless one was given.
    QString currentPrefix() const { return m_prefix.isEmpty() ? platform::winePrefix() : m_prefix; }

    QString m_prefix;
    QString m_current;
    WineHelper m_helper;
};

} // namespace

std::unique_ptr<RegistryBackend> makeRegistryBackend(const QString &helperPath, const QString &prefix)
{
    return std::make_unique<WineBackend>(helperPath, prefix);
}

void WineRegistryDeleter::setWineLoader(const QString &loader)
{
    static_cast<WineBackend &>(backend()).helper().setLoader(loader);
}

void WineRegistryDeleter::setTimeouts(int firstAnswerMs, int answerMs)
{
    static_cast<WineBackend &>(backend()).helper().setTimeouts(firstAnswerMs, answerMs);
}

qint64 WineRegistryDeleter::helperProcessId() const
{
    return static_cast<WineBackend &>(backend()).helper().processId();
}

std::unique_ptr<cleanup::EntryDeleter> makeRegistryDeleter()
{
    // One deleter, and so one helper, per prefix of the user's.
    return std::make_unique<EveryPrefixDeleter>(
        [](const QString &prefix) {
            auto deleter = std::make_unique<RegistryDeleter>(QString(), prefix);
            deleter->setBackupFolder(defaultBackupFolder());
            return deleter;
        },
        &platform::userWinePrefixes);
}

QString findWineLoader()
{
    const QString debianLoader = QStringLiteral("/usr/lib/wine/wine64");
    const QFileInfo debian(debianLoader);
    if (debian.isFile() && debian.isExecutable())
        return debianLoader;
    const QString wine64 = QStandardPaths::findExecutable(QStringLiteral("wine64"));
    if (!wine64.isEmpty())
        return wine64;
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

} // namespace cleanup::registry
