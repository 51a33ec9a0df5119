#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_backup.h"
#include "cleanup/registry/registry_name.h"
#include "platform/windows_path.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>

#include <string>
#include <vector>

#include <cerrno>

#include <unistd.h>

namespace cleanup::registry {

namespace {

constexpr int defaultFirstAnswerMs = 30000;
constexpr int defaultAnswerMs = 5000;
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
    RegistryBackup backup;

    std::unique_ptr<QProcess> helper;
    // The prefix the running helper works on; another prefix needs another helper.
    QString helperPrefix;
    bool helperAnswered = false;
    // A fresh helper gave no first answer: Wine is unusable until the run ends.
    bool startFailed = false;

    bool fail(quint32 error)
    {
        lastError = error;
        return false;
    }

    void stopHelper(bool gently)
    {
        if (!helper)
            return;
        if (gently && helper->state() == QProcess::Running) {
            helper->closeWriteChannel();
            helper->waitForFinished(exitGraceMs);
        }
        if (helper->state() != QProcess::NotRunning) {
            helper->kill();
            helper->waitForFinished(exitGraceMs);
        }
        helper.reset();
        helperAnswered = false;
    }

    bool startHelper(const QString &loader, const QString &exe, const QString &prefixPath)
    {
        auto process = std::make_unique<QProcess>();
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
        process->start(loader, {exe});
        if (!process->waitForStarted(firstAnswerMs)) {
            process->kill();
            process->waitForFinished(exitGraceMs);
            return false;
        }
        helper = std::move(process);
        helperPrefix = prefixPath;
        helperAnswered = false;
        return true;
    }

    // A helper that is still alive and was started for the same prefix.
    bool helperUsable(const QString &prefixPath)
    {
        if (!helper || helperPrefix != prefixPath)
            return false;
        // Polls for an exit that happened since the last request (killed, crashed).
        helper->waitForFinished(0);
        // Output nobody asked for would be taken for the next answer.
        return helper->state() == QProcess::Running && helper->bytesAvailable() == 0;
    }

    // Sends one request and reads its answer; an export's lines before the answer go to
    // `exported`, and for any other request such lines mean a broken helper.
    bool exchange(const std::string &request, std::vector<ExportLine> *exported)
    {
        const QDeadlineTimer deadline(helperAnswered ? answerMs : firstAnswerMs);
        // Whatever went wrong, this helper is done for.
        const auto abandon = [&](quint32 error) {
            stopHelper(false);
            return fail(error);
        };

        helper->write(request.data(), qint64(request.size()));
        helper->write("\n", 1);
        for (;;) {
            while (!helper->canReadLine()) {
                if (!deadline.hasExpired()
                    && helper->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                    continue;
                // An exit is reported only after what the helper wrote before it has been read.
                if (helper->canReadLine())
                    break;
                return abandon(deadline.hasExpired() ? errorHelperTimeout : errorHelperFailed);
            }
            const QByteArray line = helper->readLine().chopped(1);
            const std::string_view text(line.constData(), size_t(line.size()));
            if (const auto code = parseAnswer(text)) {
                helperAnswered = true;
                lastError = *code;
                return *code == 0;
            }
            std::optional<ExportLine> parsed = exported ? parseExportLine(text) : std::nullopt;
            if (!parsed)
                return abandon(errorHelperFailed);
            exported->push_back(std::move(*parsed));
        }
    }

    // One request to a helper for the prefix, started when there is none.
    bool send(const std::string &request, std::vector<ExportLine> *exported, const QString &prefixPath,
              const QString &exePath)
    {
        if (startFailed)
            return fail(errorHelperFailed);
        if (helperUsable(prefixPath))
            return exchange(request, exported);

        // A helper that died or works on another prefix goes. Wine and the helper are looked
        // for only when a new one has to be started.
        stopHelper(true);
        const QString loader = loaderOverride.isEmpty() ? findWineLoader() : loaderOverride;
        if (loader.isEmpty() || !isExecutableFile(loader) || !QFileInfo(exePath).isFile())
            return fail(errorNoRegistry);
        for (int attempt = 1;; ++attempt) {
            if (exported)
                exported->clear();
            if (!startHelper(loader, exePath, prefixPath)) {
                startFailed = true;
                return fail(errorNoRegistry);
            }
            const bool done = exchange(request, exported);
            if (helperAnswered)
                return done;
            // A fresh helper that never answered means Wine doesn't work here. Now and then a
            // Wine program dies as it starts, though, so one that died gets one more start; one
            // that hung doesn't, as that would double the wait. Sending the request again is
            // safe: had the first helper deleted the item, the second only finds it missing.
            if (attempt == 2 || lastError != errorHelperFailed) {
                startFailed = true;
                return false;
            }
        }
    }

    // Writes what the export listed to the backup file.
    bool backUp(const RegistryName &name, const std::vector<ExportLine> &lines)
    {
        std::u16string keyName;
        std::vector<ExportedValue> values;
        for (const ExportLine &line : lines) {
            if (line.isKey)
                keyName = line.keyName;
            else
                values.push_back(line.value);
        }
        if (backup.append(name, keyName, values))
            return true;
        return fail(errorBackupFailed);
    }
};

RegistryDeleter::RegistryDeleter(const QString &helperPath, const QString &prefix)
    : d(std::make_unique<Private>())
{
    d->helperPath = helperPath;
    d->prefix = prefix;
}

RegistryDeleter::~RegistryDeleter()
{
    d->stopHelper(true);
}

bool RegistryDeleter::remove(const QString &entry)
{
    d->lastError = 0;
    const std::u16string_view text(reinterpret_cast<const char16_t *>(entry.utf16()),
                                   size_t(entry.size()));
    const ParseResult parsed = parseRegistryName(text);
    if (!parsed.ok())
        return d->fail(parseErrorCode(parsed.error));
    const std::optional<std::string> request = encodeRequest(text);
    const std::optional<std::string> exportRequest = encodeExportRequest(text);
    if (!request || !exportRequest)
        return d->fail(parseErrorCode(ParseError::InvalidUtf16));

    // Any Wine command run against a prefix without hives would create a whole new one.
    const QString prefixPath = d->prefix.isEmpty() ? platform::winePrefix() : d->prefix;
    if (prefixPath.isEmpty() || !QFileInfo(prefixPath + QStringLiteral("/system.reg")).isFile()) {
        d->stopHelper(true);
        return d->fail(errorNoRegistry);
    }
    const QString exe = d->helperPath.isEmpty()
            ? QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe")
            : d->helperPath;
    if (d->backup.enabled()) {
        // Nothing goes without its copy on disk first; a missing entry has nothing to copy
        // and fails here as its deletion would.
        std::vector<ExportLine> exported;
        if (!d->send(*exportRequest, &exported, prefixPath, exe) || !d->backUp(parsed.name, exported))
            return false;
    }
    return d->send(*request, nullptr, prefixPath, exe);
}

void RegistryDeleter::runStarted()
{
    d->backup.startRun();
}

void RegistryDeleter::runFinished()
{
    d->stopHelper(true);
    d->startFailed = false;
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

void RegistryDeleter::setWineLoader(const QString &loader)
{
    // The next deletion starts a helper with this loader.
    d->stopHelper(true);
    d->loaderOverride = loader;
}

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
    auto deleter = std::make_unique<RegistryDeleter>();
    deleter->setBackupFolder(defaultBackupFolder());
    return deleter;
}

bool syncToDisk(QFile &file)
{
    // EINVAL: the file system has no way to sync; nothing more can be done there.
    return ::fsync(file.handle()) == 0 || errno == EINVAL;
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
