#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

namespace cli {

enum class Stream { Input, Output, Error };

bool isTerminal(Stream stream);

// SIGINT and SIGTERM (Ctrl+C and Ctrl+Break, or closing the console, on Windows) only set a
// flag from then on; the work looks at it between files and keys.
void catchStopSignals();
// Set once a stop signal arrived; what long work is given to stop at.
const std::atomic<bool> &stopRequested();
// The exit code the signal that arrived asks for: 130 for SIGINT, 143 for SIGTERM; 0 while
// none arrived.
int stopExitCode();

namespace detail {
// For the operating system's handlers: records the first stop and the exit code it asks for.
// Safe in a signal handler.
void noteStop(int exitCode);
// Makes the state before any handler can run.
void prepareStopState();
} // namespace detail

// Makes `folder` the working folder. On failure returns false and `error` says why.
bool changeFolder(const QByteArray &folder, QString *error);

// Reads one line from standard input; nothing at its end or on a stop signal.
bool readAnswer(QByteArray &line);

// Writes to stdout or stderr as it is, unbuffered by Qt.
void write(Stream stream, const QByteArray &bytes);
inline void write(Stream stream, const QString &text)
{
    write(stream, text.toUtf8());
}

} // namespace cli
