#include "platform/process.h"

#include "platform/command_line.h"
#include "platform/error_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <string>

#include <windows.h>

namespace platform {

namespace {

using detail::isProgram;

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// The system's own explorer.exe, never one that happens to lie beside us or along PATH.
std::wstring systemExplorer()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::wstring(folder, length) + L"\\explorer.exe";
}

// The program's own folder first, then PATH; ".exe" is added to a name without extension.
std::wstring findProgram(const QString &name)
{
    if (name.contains(u'\\') || name.contains(u'/') || name.contains(u':')) {
        if (QFileInfo::exists(name))
            return nativePath(name);
        if (QFileInfo(name).suffix().isEmpty() && QFileInfo::exists(name + QStringLiteral(".exe")))
            return nativePath(name + QStringLiteral(".exe"));
        return {};
    }
    const std::wstring searchPath = nativePath(QCoreApplication::applicationDirPath()) + L';'
        + qEnvironmentVariable("PATH").toStdWString();
    const std::wstring fileName = name.toStdWString();
    std::wstring found(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = ::SearchPathW(searchPath.c_str(), fileName.c_str(), L".exe",
                                           DWORD(found.size()), found.data(), nullptr);
        if (length == 0)
            return {};
        if (length < found.size()) {
            found.resize(length);
            return found;
        }
        found.assign(length + 1, L'\0');
    }
    return {};
}

// Quotes one argument so that the started program's command-line parser gives it back
// unchanged: blanks, quotes and backslashes included.
std::wstring quoteArgument(const std::wstring &argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    for (auto it = argument.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != argument.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == argument.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

} // namespace

RunResult runCommandLine(const QString &commandLine, ShowState state)
{
    const auto [program, argument] = detail::splitCommandLine(commandLine);
    const std::wstring application = program.isEmpty() ? std::wstring()
        : isProgram(program, QLatin1StringView("explorer")) ? systemExplorer()
                                                            : findProgram(program);
    if (application.empty())
        return {false, describeError(ERROR_FILE_NOT_FOUND)};

    std::wstring line = quoteArgument(application);
    if (argument)
        line += L' ' + quoteArgument(argument->toStdWString());

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = state == ShowState::Hidden ? SW_HIDE : SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process))
        return {false, describeError(int(::GetLastError()))};
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return {true, {}};
}

} // namespace platform
