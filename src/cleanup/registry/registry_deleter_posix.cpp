#include "cleanup/registry/registry_deleter.h"

#include "cleanup/registry/helper_protocol.h"
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

    bool exchange(const std::string &request)
    {
        const QDeadlineTimer deadline(helperAnswered ? answerMs : firstAnswerMs);
        // Whatever went wrong, this helper is done for.
        const auto abandon = [&](quint32 error) {
            stopHelper(false);
            return fail(error);
        };

        helper->write(request.data(), qint64(request.size()));
        helper->write("\n", 1);
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
        const auto code = parseAnswer(std::string_view(line.constData(), size_t(line.size())));
        if (!code)
            return abandon(errorHelperFailed);
        helperAnswered = true;
        lastError = *code;
        return *code == 0;
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
    if (!request)
        return d->fail(parseErrorCode(ParseError::InvalidUtf16));

    // Any Wine command run against a prefix without hives would create a whole new one.
    const QString prefixPath = d->prefix.isEmpty() ? platform::winePrefix() : d->prefix;
    if (prefixPath.isEmpty() || !QFileInfo(prefixPath + QStringLiteral("/system.reg")).isFile()) {
        d->stopHelper(true);
        return d->fail(errorNoRegistry);
    }
    if (d->startFailed)
        return d->fail(errorHelperFailed);
    if (d->helperUsable(prefixPath))
        return d->exchange(*request);

    // A helper that died or works on another prefix goes. Wine and the helper are looked for
    // only when a new one has to be started.
    d->stopHelper(true);
    const QString loader = d->loaderOverride.isEmpty() ? findWineLoader() : d->loaderOverride;
    const QString exe = d->helperPath.isEmpty()
            ? QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe")
            : d->helperPath;
    if (loader.isEmpty() || !isExecutableFile(loader) || !QFileInfo(exe).isFile())
        return d->fail(errorNoRegistry);
    for (int attempt = 1;; ++attempt) {
        if (!d->startHelper(loader, exe, prefixPath)) {
            d->startFailed = true;
            return d->fail(errorNoRegistry);
        }
        const bool deleted = d->exchange(*request);
        if (d->helperAnswered)
            return deleted;
        // A fresh helper that never answered means Wine doesn't work here. Now and then a Wine
        // program dies as it starts, though, so one that died gets one more start; one that
        // hung doesn't, as that would double the wait. Sending the request again is safe: had
        // the first helper deleted the item, the second only finds it missing.
        if (attempt == 2 || d->lastError != errorHelperFailed) {
            d->startFailed = true;
            return false;
        }
    }
}

void RegistryDeleter::runFinished()
{
    d->stopHelper(true);
    d->startFailed = false;
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
    return std::make_unique<RegistryDeleter>();
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
