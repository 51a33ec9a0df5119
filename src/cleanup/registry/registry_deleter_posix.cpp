#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/every_prefix_deleter.h"
#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/reg_file.h"
#include "cleanup/registry/registry_backup.h"
#include "cleanup/registry/registry_name.h"
#include "platform/windows_path.h"
#include "platform/wine_prefixes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace cleanup::registry {

namespace {

constexpr int defaultFirstAnswerMs = 30000;
constexpr int defaultAnswerMs = 5000;
// Backups of one entry that a program keeps writing to before it is given up.
constexpr int maxBackupsPerEntry = 3;
// How long a helper gets to leave on its own once its input is closed.
constexpr int exitGraceMs = 3000;

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// Qt hands file names to a program as UTF-8, but Wine reads its arguments in the locale's
// character set: in the plain C locale a helper in a folder named in Chinese isn't found.
// C.UTF-8 maps to the same Windows locale as C, so only the character set changes.
void useUtf8Arguments(QProcessEnvironment &env)
{
    const QString all = env.value(QStringLiteral("LC_ALL"));
    QString ctype = all;
    if (ctype.isEmpty())
        ctype = env.value(QStringLiteral("LC_CTYPE"));
    if (ctype.isEmpty())
        ctype = env.value(QStringLiteral("LANG"));
    if (!ctype.isEmpty() && ctype != QLatin1String("C") && ctype != QLatin1String("POSIX"))
        return;
    if (!all.isEmpty()) {
        // LC_ALL would override LC_CTYPE; LANG keeps it for every other category.
        const QStringList keys = env.keys();
        for (const QString &key : keys) {
            if (key.startsWith(QLatin1String("LC_")))
                env.remove(key);
        }
        env.insert(QStringLiteral("LANG"), all);
    }
    env.insert(QStringLiteral("LC_CTYPE"), QStringLiteral("C.UTF-8"));
}

} // namespace

struct RegistryDeleter::Private
{
    QString helperPath;
    QString prefix;
    QString loaderOverride;
    int firstAnswerMs = defaultFirstAnswerMs;
    int answerMs = defaultAnswerMs;
    quint32 lastError = 0;
    QString backupFolder;
    std::function<void()> beforeDelete;
    // The run's backup. Written on a thread of its own, since syncing a file can take long
    // on a busy disk; a run that ends while a backup is being written leaves that object to
    // the writer, and the next run gets a new one.
    std::shared_ptr<RegistryBackup> backup = std::make_shared<RegistryBackup>();
    QThreadPool writer;

    // Parent of every helper process, the running one and those on their way out, and the
    // receiver of their signals: nothing here ever waits on the window's thread.
    QObject context;
    QProcess *helper = nullptr;
    // The prefix the running helper works on; another prefix needs another helper.
    QString helperPrefix;
    bool helperAnswered = false;
    // A fresh helper gave no first answer: Wine is unusable until the run ends.
    bool startFailed = false;
    QTimer answerTimer;

    // The entry under way: its export, the backup of what that found, then its deletion,
    // checked against that export when there is a backup.
    enum class Step { None, Export, Backup, Delete };
    struct Job
    {
        Step step = Step::None;
        quint64 number = 0;
        RegistryName name;
        std::u16string entry;
        QString prefixPath;
        int failedStarts = 0;
        std::vector<ExportLine> exported;
        // The values of the entry's last backup, and how many backups it has had.
        std::vector<ExportedValue> backedUp;
        int backups = 0;
    } job;
    bool awaiting = false; // a request is out and its answer not yet in
    quint64 jobsBegun = 0;

    Private()
    {
        writer.setMaxThreadCount(1);
        answerTimer.setSingleShot(true);
        QObject::connect(&answerTimer, &QTimer::timeout, &context, [this] { abandon(errorHelperTimeout); });
    }

    ~Private()
    {
        // A backup being written is let finish: a cut-off file would be worse than the wait.
        writer.waitForDone();
        // The window is closing: every helper is killed now, not asked to leave.
        answerTimer.stop();
        if (helper)
            helper->disconnect(&context);
        const QList<QProcess *> processes = context.findChildren<QProcess *>();
        for (QProcess *process : processes) {
            process->kill();
            // A killed process is gone at once; this only collects it.
            process->waitForFinished(exitGraceMs);
        }
    }

    bool fail(quint32 error)
    {
        lastError = error;
        return false;
    }

    void finish(quint32 error)
    {
        lastError = error;
        job = {};
        awaiting = false;
        answerTimer.stop();
    }

    QString exePath() const
    {
        return helperPath.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe")
                                    : helperPath;
    }

    // Lets go of the running helper without waiting for it. Gently, it gets its input closed
    // and a grace period to finish what it is doing; otherwise it is killed.
    void stopHelper(bool gently)
    {
        if (!helper)
            return;
        QProcess *process = std::exchange(helper, nullptr);
        helperAnswered = false;
        awaiting = false;
        answerTimer.stop();
        process->disconnect(&context);
        if (process->state() == QProcess::NotRunning) {
            process->deleteLater();
            return;
        }
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                process->deleteLater();
        });
        if (gently) {
            process->closeWriteChannel();
            QTimer::singleShot(exitGraceMs, process, [process] { process->kill(); });
        } else {
            process->kill();
        }
    }

    void startHelper(const QString &loader, const QString &prefixPath)
    {
        auto *process = new QProcess(&context);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WINEPREFIX"), prefixPath);
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        // Keeps Wine from offering to install Mono or Gecko should it update the prefix.
        env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
        // Debian's wine script does the same when it runs the 64-bit loader; processes Wine
        // starts on its own (wineboot) then use the same loader.
        if (QFileInfo(loader).fileName() != QLatin1String("wine"))
            env.insert(QStringLiteral("WINELOADER"), loader);
        useUtf8Arguments(env);
        process->setProcessEnvironment(env);
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::readyReadStandardOutput, &context, [this] { readAnswers(); });
        QObject::connect(process, &QProcess::finished, &context, [this, process] { helperEnded(process, errorHelperFailed); });
        QObject::connect(process, &QProcess::errorOccurred, &context, [this, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                helperEnded(process, errorNoRegistry);
        });
        helper = process;
        helperPrefix = prefixPath;
        helperAnswered = false;
        // Requests written before the process is up wait in its input pipe.
        process->start(loader, {exePath()});
    }

    // Starts a helper for the prefix unless one runs; false when Wine or the helper is missing.
    bool ensureHelper(const QString &prefixPath)
    {
        if (helperUsable(prefixPath))
            return true;
        // A helper that died or works on another prefix goes. Wine and the helper are looked
        // for only when a new one has to be started.
        stopHelper(true);
        const QString loader = loaderOverride.isEmpty() ? findWineLoader() : loaderOverride;
        if (loader.isEmpty() || !isExecutableFile(loader) || !QFileInfo(exePath()).isFile())
            return false;
        startHelper(loader, prefixPath);
        return true;
    }

    // A helper that is still alive and was started for the same prefix.
    bool helperUsable(const QString &prefixPath)
    {
        if (!helper || helperPrefix != prefixPath)
            return false;
        // Polls, without waiting, for an exit since the last request (killed, crashed).
        if (helper->state() == QProcess::Running)
            helper->waitForFinished(0);
        // Output nobody asked for would be taken for the next answer.
        return helper && helper->state() != QProcess::NotRunning && helper->bytesAvailable() == 0;
    }

    // Sends the request of the job's step.
    void send()
    {
        if (startFailed)
            return finish(errorHelperFailed);
        if (!ensureHelper(job.prefixPath))
            return finish(errorNoRegistry);
        // begin() let only a parsed entry in, and a parsed entry is well-formed UTF-16.
        const RequestKind kind = job.step == Step::Export ? RequestKind::Export
                : backupFolder.isEmpty()                 ? RequestKind::Delete
                                                         : RequestKind::CheckedDelete;
        const std::string request = *encodeRequest(kind, job.entry);
        job.exported.clear();
        helper->write(request.data(), qint64(request.size()));
        helper->write("\n", 1);
        awaiting = true;
        answerTimer.start(helperAnswered ? answerMs : firstAnswerMs);
    }

    void readAnswers()
    {
        while (helper && helper->canReadLine()) {
            // Talk out of turn means the helper can't be trusted with the next request.
            if (!awaiting)
                return stopHelper(false);
            const QByteArray line = helper->readLine().chopped(1);
            const std::string_view text(line.constData(), size_t(line.size()));
            if (const auto code = parseAnswer(text)) {
                awaiting = false;
                answerTimer.stop();
                helperAnswered = true;
                answered(*code);
                continue;
            }
            // An export lists what it found before its answer; nothing else does.
            std::optional<ExportLine> parsed = job.step == Step::Export ? parseExportLine(text) : std::nullopt;
            if (!parsed)
                return abandon(errorHelperFailed);
            job.exported.push_back(std::move(*parsed));
        }
    }

    void answered(quint32 code)
    {
        // Not as backed up: exported and backed up again, within bounds.
        if (job.step == Step::Delete && code == errorKeptChanging && !backupFolder.isEmpty()) {
            if (job.backups >= maxBackupsPerEntry)
                return finish(errorKeptChanging);
            job.step = Step::Export;
            return send();
        }
        if (job.step != Step::Export || code != 0)
            return finish(code);
        // Nothing goes without its copy on disk first; a missing entry has nothing to copy
        // and has failed above as its deletion would.
        std::u16string keyName;
        std::vector<ExportedValue> values;
        for (ExportLine &line : job.exported) {
            if (line.isKey)
                keyName = std::move(line.keyName);
            else
                values.push_back(std::move(line.value));
        }
        // Values an earlier backup of the entry held and the registry no longer does: a
        // restore must not bring them back.
        std::vector<std::u16string> removed = valueNamesGone(job.backedUp, values);
        job.backedUp = values;
        ++job.backups;
        job.step = Step::Backup;
        writer.start([this, number = job.number, file = backup, name = job.name, keyName = std::move(keyName),
                      values = std::move(values), removed = std::move(removed)] {
            const quint32 error = file->append(name, keyName, values, removed);
            QMetaObject::invokeMethod(&context, [this, number, error] { backedUp(number, error); },
                                      Qt::QueuedConnection);
        });
    }

    void backedUp(quint64 number, quint32 error)
    {
        // A run stopped meanwhile: the entry stays.
        if (job.step != Step::Backup || job.number != number)
            return;
        if (error != 0)
            return finish(error);
        job.step = Step::Delete;
        if (beforeDelete)
            beforeDelete();
        send();
    }

    void helperEnded(QProcess *process, quint32 error)
    {
        if (process != helper)
            return;
        // An exit is reported after what the helper wrote before it; that may be the answer.
        readAnswers();
        if (process != helper)
            return;
        if (awaiting)
            abandon(error);
        else
            stopHelper(false);
    }

    // The helper failed the request out: it goes, whatever went wrong.
    void abandon(quint32 error)
    {
        const bool wasFresh = !helperAnswered;
        stopHelper(false);
        if (job.step == Step::None)
            return;
        if (wasFresh) {
            // A fresh helper that never answered means Wine doesn't work here. Now and then a
            // Wine program dies as it starts, though, so one that died gets one more start;
            // one that hung doesn't, as that would double the wait. Sending the request again
            // is safe: had the first helper deleted the item, the second only finds it missing.
            if (error == errorHelperFailed && ++job.failedStarts < 2)
                return send();
            startFailed = true;
        }
        finish(error);
    }
};

RegistryDeleter::RegistryDeleter(const QString &helperPath, const QString &prefix)
    : d(std::make_unique<Private>())
{
    d->helperPath = helperPath;
    d->prefix = prefix;
}

RegistryDeleter::~RegistryDeleter() = default;

void RegistryDeleter::begin(const QString &entry)
{
    d->finish(0);
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()),
                                   size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    if (!parsed.ok())
        return void(d->fail(parseErrorCode(parsed.error)));

    // Any Wine command run against a prefix without hives would create a whole new one.
    const QString prefixPath = d->prefix.isEmpty() ? platform::winePrefix() : d->prefix;
    if (prefixPath.isEmpty() || !QFileInfo(prefixPath + QStringLiteral("/system.reg")).isFile()) {
        d->stopHelper(true);
        return void(d->fail(errorNoRegistry));
    }
    d->job.step = d->backupFolder.isEmpty() ? Private::Step::Delete : Private::Step::Export;
    d->job.number = ++d->jobsBegun;
    d->job.name = parsed.name;
    d->job.entry = text;
    d->job.prefixPath = prefixPath;
    d->send();
}

bool RegistryDeleter::busy() const
{
    return d->job.step != Private::Step::None;
}

bool RegistryDeleter::remove(const QString &entry)
{
    begin(entry);
    while (busy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return d->lastError == 0;
}

void RegistryDeleter::runStarted()
{
    d->finish(0);
    d->startFailed = false;
    d->backup = std::make_shared<RegistryBackup>();
    d->backup->setFolder(d->backupFolder);
    d->backup->setPrefix(d->prefix.isEmpty() ? platform::winePrefix() : d->prefix);
    d->backup->startRun();
    // Wine may take seconds to come up: it starts now, in the background.
    const QString prefixPath = d->prefix.isEmpty() ? platform::winePrefix() : d->prefix;
    if (!prefixPath.isEmpty() && QFileInfo(prefixPath + QStringLiteral("/system.reg")).isFile())
        d->ensureHelper(prefixPath);
}

void RegistryDeleter::runFinished()
{
    // An entry still under way is let go: its helper finishes it or not, but its backup is
    // on disk either way.
    d->finish(d->lastError);
    d->stopHelper(true);
    d->startFailed = false;
    // The next run's file is new; a backup still being written keeps the old one open.
    d->backup = std::make_shared<RegistryBackup>();
    d->backup->setFolder(d->backupFolder);
    d->backup->setPrefix(d->prefix.isEmpty() ? platform::winePrefix() : d->prefix);
}

void RegistryDeleter::setBackupFolder(const QString &folder)
{
    d->backupFolder = folder;
    d->backup->setFolder(folder);
    d->backup->setPrefix(d->prefix.isEmpty() ? platform::winePrefix() : d->prefix);
}

QString RegistryDeleter::backupFileName() const
{
    return d->backup->fileName();
}

quint32 RegistryDeleter::lastError() const
{
    return d->lastError;
}

void RegistryDeleter::setWineLoader(const QString &loader)
{
    // The next deletion starts a helper with this loader.
    d->stopHelper(true);
    d->loaderOverride = loader;
}

void RegistryDeleter::setBeforeDelete(std::function<void()> hook) { d->beforeDelete = std::move(hook); }

void RegistryDeleter::setTimeouts(int firstAnswerMs, int answerMs)
{
    d->firstAnswerMs = firstAnswerMs;
    d->answerMs = answerMs;
}

qint64 RegistryDeleter::helperProcessId() const
{
    return d->helper ? d->helper->processId() : 0;
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
    if (isExecutableFile(debianLoader))
        return debianLoader;
    const QString wine64 = QStandardPaths::findExecutable(QStringLiteral("wine64"));
    if (!wine64.isEmpty())
        return wine64;
    return QStandardPaths::findExecutable(QStringLiteral("wine"));
}

} // namespace cleanup::registry
