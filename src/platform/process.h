#pragma once

#include <QString>

namespace platform {

enum class ShowState { Hidden = 0, NormalFocus = 1 };

struct RunResult
{
    bool ok = false;
    QString error; // description for the user when !ok
};

// Starts a command line of the form "program" or "program argument" (one blank between
// them) without waiting for it and never through a shell. "explorer URL" opens the URL in
// the desktop's browser; "notepad.exe FILE" and "mspaint.exe FILE" open the file (a
// Windows path is resolved through the Wine prefix) with the desktop's default
// application; any other bare program name is searched in the program's own folder first,
// then in PATH.
RunResult runCommandLine(const QString &commandLine, ShowState state);

// Opens a web page in the desktop's browser: "explorer" and the address, hidden.
inline RunResult openWebPage(const QString &url)
{
    return runCommandLine(QStringLiteral("explorer ") + url, ShowState::Hidden);
}

} // namespace platform
