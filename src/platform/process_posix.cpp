#include "platform/process.h"

#include "platform/command_line.h"
#include "platform/error_text.h"
#include "platform/windows_path.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>

// The show state has no effect here: X11 and Wayland leave the first look of a window to
// the program and the window manager, and nobody else can start it hidden. The programs
// started hidden (the desktop's opener for web pages) show no window of their own anyway.

namespace platform {

namespace {

using detail::isProgram;

RunResult notFound()
{
    return {false, describeError(ENOENT)};
}

// QProcess reports a failed exec as "execv: " and the system's text; give the system's
// error back its own description (Chinese for the common ones).
QString describeStartFailure(const QProcess &process)
{
    const QString text = process.errorString();
    const QLatin1StringView prefix("execv: ");
    if (!text.startsWith(prefix))
        return text;
    const QString reason = text.mid(prefix.size());
    for (int code = 1; code < 256; ++code) {
        if (qt_error_string(code) == reason)
            return describeError(code);
    }
    return reason;
}

RunResult startDetached(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // Started programs must not read our terminal.
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return {false, describeStartFailure(process)};
    return {true, {}};
}

// The desktop's own choice of application for a file or a web address.
RunResult openWithDesktop(const QString &target)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return notFound();
    return startDetached(opener, {target});
}

// A bare name is looked for in the program's own folder first, then along PATH, as
// Windows does; where Windows would add ".exe", a name written with it also finds the
// program without it.
QString findProgram(const QString &name)
{
    if (name.contains(u'/'))
        return name;
    QStringList names{name};
    if (name.size() > 4 && name.endsWith(QLatin1StringView(".exe"), Qt::CaseInsensitive))
        names.append(name.chopped(4));
    const QStringList ownFolder{QCoreApplication::applicationDirPath()};
    for (const QStringList &folders : {ownFolder, QStringList()}) {
        for (const QString &candidate : std::as_const(names)) {
            const QString found = QStandardPaths::findExecutable(candidate, folders);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

// A file handed to the opener as an absolute path, so no name can pass for an option.
QString fileArgument(const QString &file)
{
    return QDir::current().absoluteFilePath(file);
}

} // namespace

RunResult runCommandLine(const QString &commandLine, ShowState /*state*/)
{
    const auto [program, argument] = detail::splitCommandLine(commandLine);
    if (program.isEmpty())
        return notFound();

    if (isProgram(program, QLatin1StringView("explorer"))) {
        if (!argument)
            return openWithDesktop(QDir::homePath());
        if (!isWindowsPath(*argument))
            return openWithDesktop(*argument);
        const QString folder = resolveWindowsPath(*argument);
        return folder.isEmpty() ? notFound() : openWithDesktop(folder);
    }

    if (argument && (isProgram(program, QLatin1StringView("notepad"))
                     || isProgram(program, QLatin1StringView("mspaint")))) {
        const QString file = isWindowsPath(*argument) ? resolveWindowsPath(*argument) : *argument;
        if (file.isEmpty())
            return notFound();
        return openWithDesktop(fileArgument(file));
    }

    const QString executable = findProgram(program);
    if (executable.isEmpty())
        return notFound();
    return startDetached(executable, argument ? QStringList{*argument} : QStringList{});
}

} // namespace platform
