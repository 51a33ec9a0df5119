#include "cli/console.h"

#include "platform/error_text.h"

#include <QFile>

#include <cstdio>

#include <io.h>
#include <windows.h>

namespace cli {

namespace {

BOOL WINAPI onConsoleEvent(DWORD event)
{
    detail::noteStop(event == CTRL_C_EVENT ? 130 : 143);
    return TRUE;
}

DWORD handleOf(Stream stream)
{
    switch (stream) {
    case Stream::Input:
        return STD_INPUT_HANDLE;
    case Stream::Output:
        return STD_OUTPUT_HANDLE;
    case Stream::Error:
        return STD_ERROR_HANDLE;
    }
    return STD_ERROR_HANDLE;
}

} // namespace

bool isTerminal(Stream stream)
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(handleOf(stream)), &mode) != 0;
}

void catchStopSignals()
{
    detail::prepareStopState();
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool changeFolder(const QByteArray &folder, QString *error)
{
    if (::SetCurrentDirectoryW(reinterpret_cast<const wchar_t *>(QString::fromUtf8(folder).utf16())))
        return true;
    if (error)
        *error = platform::describeError(int(::GetLastError()));
    return false;
}

bool readAnswer(QByteArray &line)
{
    line.clear();
    for (;;) {
        const int c = std::getchar();
        if (c == EOF)
            return false;
        if (c == '\n')
            return true;
        if (c != '\r' && line.size() < 256)
            line.append(char(c));
    }
}

void write(Stream stream, const QByteArray &bytes)
{
    DWORD wrote = 0;
    ::WriteFile(::GetStdHandle(handleOf(stream)), bytes.constData(), DWORD(bytes.size()), &wrote, nullptr);
}

} // namespace cli
