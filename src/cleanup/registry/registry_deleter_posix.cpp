#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/deletion_job.h"
#include "cleanup/registry/every_prefix_deleter.h"
#include "cleanup/registry/wine_helper.h"
#include "cleanup/registry/wine_session.h"
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
        if (m_current != m_judged) {
            m_judged = m_current;
            m_otherBuild = otherWineBuild(m_current, m_helper.loader()).has_value();
        }
        return m_otherBuild ? errorOtherWineBuild : 0;
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
        m_ended.clear();
        m_startsBefore = m_helper.starts();
        const QString prefix = currentPrefix();
        m_runPrefix = prefix;
        // Judged afresh each run: the prefix may have been updated by its own Wine meanwhile.
        m_judged = prefix;
        m_otherBuild = holdsRegistry(prefix) && otherWineBuild(prefix, m_helper.loader()).has_value();
        // Asked before anything of ours starts, so a session of the user's is told from ours.
        m_serverBefore = holdsRegistry(prefix) && wineServerProcess(prefix).has_value();
        // Wine may take seconds to come up: it starts now, in the background.
        if (holdsRegistry(prefix) && !m_otherBuild)
            m_helper.start(prefix);
    }

    void runFinished() override
    {
        const bool startedWine = m_helper.starts() != m_startsBefore;
        // Its helper finishes the entry under way or not; either way nothing waits for it.
        m_helper.stop(true);
        m_helper.resetFailures();
        // Wine's server and services outlive the helper; a run leaves no process behind.
        if (startedWine && !m_serverBefore && !m_runPrefix.isEmpty()
            && endWineServer(m_runPrefix, m_helper.loader()))
            m_ended = m_runPrefix;
        m_startsBefore = m_helper.starts();
        m_runPrefix.clear();
    }

    bool waitForEnd(int ms) override
    {
        return m_ended.isEmpty() || waitForWineServerEnd(m_ended, m_helper.loader(), ms);
    }

private:
    // Looked up afresh at each deletion unless one was given.
    QString currentPrefix() const { return m_prefix.isEmpty() ? platform::winePrefix() : m_prefix; }

    QString m_prefix;
    QString m_current;
    QString m_runPrefix;
    QString m_judged; // the prefix m_otherBuild was found for
    bool m_otherBuild = false;
    bool m_serverBefore = false;
    int m_startsBefore = 0;
    QString m_ended; // the prefix whose Wine the last run ended
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

QString whyPrefixIsLeftAlone(const QString &prefix)
{
    return otherWineBuild(prefix, findWineLoader()).value_or(QString());
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
