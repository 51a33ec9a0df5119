#pragma once

#include "platform/file_io.h"
#include "platform/gb18030.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <limits>
#include <optional>

namespace platform {

// Text files as the program has always kept them: GB18030 (a superset of GBK) bytes,
// no byte-order mark, lines ended by CR LF.
//
// Reading: a line ends at CR LF or at a lone CR; an LF on its own is part of the line;
// a last line without terminator still counts; an empty file has no lines. A byte that
// starts no GB18030 character is kept as an escaped byte (see gb18030.h) rather than failing,
// so a damaged file still loads what it can, and saving it writes it back unchanged. Only
// regular files are read, and reading fails beyond 128 MiB.
class LineReader
{
public:
    LineReader() = default;
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // Opens `path` (relative names against the working directory). On failure returns
    // false and error() describes why.
    bool open(const QString &path);
    // True once every line has been read (and when no file is open). A pending read
    // error is not the end: readLine() then reports it.
    bool atEnd();
    // Reads the next line; std::nullopt on a read error (error() then says why).
    std::optional<QString> readLine();
    void close();
    QString error() const { return m_error; }

private:
    bool fill();
    void fail(int systemError);

    detail::ReadOnlyFile m_file;
    QStringDecoder m_decoder;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_total = 0; // bytes read from the file so far
    bool m_eof = false;
    bool m_failed = false;
    QString m_error;
};

// What reading a line file came to: the lines read before the end of the file, a failure
// or the limit, and whether the file was read to its end.
struct LinesRead
{
    QStringList lines;
    bool opened = false;
    bool complete = false; // false after a failure or when the limit stopped the reading
    QString error;         // why it wasn't complete, when a failure was the reason
};
// Reads the lines of `path`, at most `limit` of them.
LinesRead readLines(const QString &path, qsizetype limit = std::numeric_limits<qsizetype>::max());

// Writes `lines`, each followed by CR LF, to `path` safely (detail::replaceFile): an existing
// file stays that file, with its owner, permissions and other names, and is replaced at once
// wherever that keeps it so; a symbolic link stays a link and its target is written. On
// failure `error` holds a description for the user, and `oldKept` whether the file still
// holds its old content, untouched or written back (not so only where writing over it in
// place failed and putting it back failed too; detail::replaceFile says what then).
bool writeLines(const QString &path, const QStringList &lines, QString *error = nullptr, bool *oldKept = nullptr);
// Writes `data` to `path` as writeLines() does its lines.
bool writeFile(const QString &path, QByteArrayView data, QString *error = nullptr, bool *oldKept = nullptr);

using SaveCompletion = detail::Completion;
// Completes a save of `path` that a crash cut short while writing it in place; to be called
// before the file is read. On failure `error` says why.
SaveCompletion completeInterruptedSave(const QString &path, QString *error = nullptr);

// The start of a text file as a text box shows it: the lines readLines() gives, each with
// its escaped bytes as U+FFFD and followed by CR LF, for a file of up to `limitBytes`
// bytes. Of a bigger file the lines of its first `limitBytes` bytes, the last one cut
// short, followed by a line saying that the rest isn't shown; no more of the file is read.
// std::nullopt when the file can't be opened; a read that fails part-way keeps the lines
// read so far.
inline constexpr qint64 shownTextLimit = 1024 * 1024;
std::optional<QString> readTextHead(const QString &path, qint64 limitBytes = shownTextLimit);

} // namespace platform
