#include "cleanup/registry/wine_helper.h"

#include "cleanup/registry/registry_deleter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <optional>
#include <string>
#include <utility>

namespace cleanup::registry {

namespace {

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

QProcessEnvironment wineEnvironment(const QString &prefix, const QString &loader)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    // Keeps Wine from offering to install Mono or Gecko should it update the prefix.
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    // Debian's wine script does the same when it runs the 64-bit loader; processes Wine
    // starts on its own (wineboot) then use the same loader.
    if (QFileInfo(loader).fileName() != QLatin1String("wine"))
        env.insert(QStringLiteral("WINELOADER"), loader);
    useUtf8Arguments(env);
    return env;
}

struct WineHelper::Private
{
    QString helperPath;
    QString loaderOverride;
    int firstAnswerMs = defaultFirstAnswerMs;
    int answerMs = defaultAnswerMs;

    // Parent of every helper process, the running one and those on their way out, and the
    // receiver of their signals: nothing here ever waits on the caller's thread.
    QObject context;
    QProcess *helper = nullptr;
    // The prefix the running helper works on; another prefix needs another helper.
    QString helperPrefix;
    bool helperAnswered = false;
    int starts = 0;
    // A fresh helper gave no first answer: Wine is unusable until resetFailures().
    bool startFailed = false;
    QTimer answerTimer;

    // The request under way.
    struct Pending
    {
        QString prefix;
        RequestKind kind = RequestKind::Delete;
        std::u16string entry;
        std::function<void(HelperAnswer)> done;
        std::vector<ExportLine> lines;
        int failedStarts = 0;
    };
    std::optional<Pending> pending;
    bool awaiting = false; // the request is written and its answer not yet in

    Private()
    {
        answerTimer.setSingleShot(true);
        QObject::connect(&answerTimer, &QTimer::timeout, &context, [this] { abandon(errorHelperTimeout); });
    }

    ~Private()
    {
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

    QString exePath() const
    {
        return helperPath.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe")
                                    : helperPath;
    }

    // Hands the answer over; the callback may send the next request.
    void answer(quint32 error)
    {
        awaiting = false;
        answerTimer.stop();
        if (!pending)
            return;
        Pending finished = std::move(*pending);
        pending.reset();
        finished.done(HelperAnswer{error, std::move(finished.lines)});
    }

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

    void startHelper(const QString &loader, const QString &prefix)
    {
        auto *process = new QProcess(&context);
        process->setProcessEnvironment(wineEnvironment(prefix, loader));
        process->setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(process, &QProcess::readyReadStandardOutput, &context, [this] { readAnswers(); });
        QObject::connect(process, &QProcess::finished, &context, [this, process] { helperEnded(process, errorHelperFailed); });
        QObject::connect(process, &QProcess::errorOccurred, &context, [this, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                helperEnded(process, errorNoRegistry);
        });
        helper = process;
        ++starts;
        helperPrefix = prefix;
        helperAnswered = false;
        // Requests written before the process is up wait in its input pipe.
        process->start(loader, {exePath()});
    }

    // A helper that is still alive and was started for the same prefix.
    bool helperUsable(const QString &prefix)
    {
        if (!helper || helperPrefix != prefix)
            return false;
        // Polls, without waiting, for an exit since the last request (killed, crashed).
        if (helper->state() == QProcess::Running)
            helper->waitForFinished(0);
        // Output nobody asked for would be taken for the next answer.
        return helper && helper->state() != QProcess::NotRunning && helper->bytesAvailable() == 0;
    }

    bool ensureHelper(const QString &prefix)
    {
        if (helperUsable(prefix))
            return true;
        // A helper that died or works on another prefix goes. Wine and the helper are looked
        // for only when a new one has to be started.
        stopHelper(true);
        const QString loader = loaderOverride.isEmpty() ? findWineLoader() : loaderOverride;
        if (loader.isEmpty() || !isExecutableFile(loader) || !QFileInfo(exePath()).isFile())
            return false;
        startHelper(loader, prefix);
        return true;
    }

    void send()
    {
        if (startFailed)
            return answer(errorHelperFailed);
        if (!ensureHelper(pending->prefix))
            return answer(errorNoRegistry);
        // Only well-formed UTF-16 reaches here: the callers parse or validate it first.
        const std::optional<std::string> request = encodeRequest(pending->kind, pending->entry);
        if (!request)
            return answer(1113); // ERROR_NO_UNICODE_TRANSLATION
        pending->lines.clear();
        helper->write(request->data(), qint64(request->size()));
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
                helperAnswered = true;
                answer(*code);
                continue;
            }
            // Exports and value lists give their lines before the answer; nothing else does.
            const bool listing = pending && (pending->kind == RequestKind::Export || pending->kind == RequestKind::Values);
            std::optional<ExportLine> parsed = listing ? parseExportLine(text) : std::nullopt;
            if (!parsed)
                return abandon(errorHelperFailed);
            pending->lines.push_back(std::move(*parsed));
        }
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
        if (!pending)
            return;
        if (wasFresh) {
            // A fresh helper that never answered means Wine doesn't work here. Now and then a
            // Wine program dies as it starts, though, so one that died gets one more start;
            // one that hung doesn't, as that would double the wait. Sending the request again
            // is safe: had the first helper deleted the item, the second only finds it missing.
            if (error == errorHelperFailed && ++pending->failedStarts < 2)
                return send();
            startFailed = true;
        }
        answer(error);
    }
};

WineHelper::WineHelper(const QString &helperPath)
    : d(std::make_unique<Private>())
{
    d->helperPath = helperPath;
}

WineHelper::~WineHelper() = default;

void WineHelper::setLoader(const QString &loader)
{
    // The next request starts a helper with this loader.
    d->stopHelper(true);
    d->loaderOverride = loader;
}

void WineHelper::setTimeouts(int firstAnswerMs, int answerMs)
{
    d->firstAnswerMs = firstAnswerMs;
    d->answerMs = answerMs;
}

bool WineHelper::start(const QString &prefix)
{
    return d->ensureHelper(prefix);
}

void WineHelper::request(const QString &prefix, RequestKind kind, std::u16string_view entry,
                         std::function<void(HelperAnswer)> done)
{
    d->awaiting = false;
    d->answerTimer.stop();
    d->pending = Private::Pending{prefix, kind, std::u16string(entry), std::move(done), {}, 0};
    d->send();
}

HelperAnswer WineHelper::ask(const QString &prefix, RequestKind kind, std::u16string_view entry)
{
    std::optional<HelperAnswer> result;
    request(prefix, kind, entry, [&result](HelperAnswer answer) { result = std::move(answer); });
    while (!result)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return std::move(*result);
}

bool WineHelper::busy() const
{
    return d->pending.has_value();
}

void WineHelper::stop(bool gently)
{
    d->pending.reset();
    d->stopHelper(gently);
}

void WineHelper::resetFailures()
{
    d->startFailed = false;
}

int WineHelper::starts() const
{
    return d->starts;
}

QString WineHelper::loader() const
{
    return d->loaderOverride.isEmpty() ? findWineLoader() : d->loaderOverride;
}

qint64 WineHelper::processId() const
{
    return d->helper ? d->helper->processId() : 0;
}

} // namespace cleanup::registry
