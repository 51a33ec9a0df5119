#include "brisquel/version.h"
#include "cli/arguments.h"
#include "cli/console.h"
#include "cli/list_jobs.h"
#include "cli/report.h"
#include "cli/restore_job.h"
#include "cli/shred_jobs.h"
#include "platform/byte_path.h"

#include <QCoreApplication>

namespace {

using namespace cli;

// Where relative paths on the command line are taken from: the folder the user typed them
// in, which the launcher passes on, having moved into the working folder itself.
QByteArray callerFolder()
{
    const QByteArray given = qgetenv("BRISQUEL_CALLER_DIR");
    if (given.startsWith('/') || (given.size() > 2 && given.at(1) == ':'))
        return given;
    return platform::absolutePath(".");
}

QByteArray fromCaller(const QByteArray &caller, const QByteArray &path)
{
    if (path.startsWith('/') || (path.size() > 2 && path.at(1) == ':') || caller.isEmpty())
        return path;
    return caller.endsWith('/') ? caller + path : caller + '/' + path;
}

int usageError(const QString &message)
{
    write(Stream::Error, QStringLiteral("brisquel：%1\n用 brisquel --help 查看用法。\n").arg(message));
    return 2;
}

int run(const Arguments &arguments)
{
    if (arguments.version) {
        write(Stream::Output, QStringLiteral("brisquel %1\n").arg(QLatin1String(BRISQUEL_VERSION)));
        return 0;
    }
    if (arguments.help || arguments.command == Command::Help) {
        const QString topic =
            arguments.command == Command::Help ? arguments.helpTopic : commandName(arguments.command);
        write(Stream::Output, usageText(topic));
        return 0;
    }

    // -C moves into each folder in turn, as make -C does; relative ones from the last.
    QByteArray caller = callerFolder();
    QByteArray folder = caller;
    for (const QByteArray &next : arguments.workFolders) {
        folder = fromCaller(folder, next);
        QString error;
        if (!changeFolder(folder, &error))
            return usageError(QStringLiteral("无法进入文件夹 %1：%2").arg(platform::shownPath(folder), error));
    }
    QByteArrayList paths;
    for (const QByteArray &path : arguments.paths)
        paths.append(fromCaller(caller, path));

    Report report(commandName(arguments.command), arguments.json, arguments.quiet);
    int code = 0;
    switch (arguments.command) {
    case Command::Preview:
    case Command::Clean:
        code = runLists(arguments, report);
        break;
    case Command::Restore:
        return runRestore(arguments.paths.front(), paths.front(), report);
    case Command::Shred:
        code = runShred(arguments, paths, report);
        break;
    case Command::Wipe:
        code = runWipe(arguments, paths.front(), report);
        break;
    default:
        return 2;
    }
    if (const int stopped = stopExitCode())
        code = stopped;
    report.setInterrupted(stopExitCode() != 0);
    report.finish();
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    catchStopSignals();
    const Parsed parsed = parseArguments(platform::argumentBytes(argc, argv));
    if (!parsed.error.isEmpty())
        return usageError(parsed.error);
    return run(parsed.arguments);
}
