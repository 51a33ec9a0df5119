#include "cli/console.h"

#include "platform/error_text.h"

#include <cerrno>
#include <csignal>

#include <unistd.h>

namespace cli {

namespace {

extern "C" void onStopSignal(int signal)
{
    // The shell's convention: 128 and the signal's number, 130 for SIGINT, 143 for SIGTERM,
    // 129 for SIGHUP.
    detail::noteStop(128 + signal);
}

int descriptor(Stream stream)
{
    switch (stream) {
    case Stream::Input:
        return STDIN_FILENO;
    case Stream::Output:
        return STDOUT_FILENO;
    case Stream::Error:
        return STDERR_FILENO;
    }
    return -1;
}

} // namespace

bool isTerminal(Stream stream)
{
    return ::isatty(descriptor(stream)) == 1;
}

void catchStopSignals()
{
    detail::prepareStopState();
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read from the terminal returns at once, so a question can be cut short.
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A closed terminal stops the run the same way, so a file being shredded gets its mode
    // back and stays whole or is gone; under nohup the signal stays ignored.
    struct sigaction hangUp = {};
    if (::sigaction(SIGHUP, nullptr, &hangUp) == 0 && hangUp.sa_handler != SIG_IGN)
        ::sigaction(SIGHUP, &action, nullptr);
    // Output into a closed pipe ("brisquel preview | head") ends the writing, not the program.
    ::signal(SIGPIPE, SIG_IGN);
}

bool changeFolder(const QByteArray &folder, QString *error)
{
    if (::chdir(folder.constData()) == 0)
        return true;
    if (error)
        *error = platform::describeError(errno);
    return false;
}

bool readAnswer(QByteArray &line)
{
    line.clear();
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR && !stopRequested().load())
            continue;
        if (got <= 0)
            return false;
        if (c == '\n')
            return true;
        if (line.size() < 256)
            line.append(c);
    }
}

void write(Stream stream, const QByteArray &bytes)
{
    const int fd = descriptor(stream);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return;
        done += wrote;
    }
}

} // namespace cli
