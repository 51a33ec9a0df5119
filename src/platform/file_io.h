#pragma once

#include "platform/unique_fd.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

// The safe save's own file access: reading the line files, and replacing files so that a
// crash can't lose them. Only the platform layer (and its tests) uses it; code above goes
// through line_file.h and files.h. It reports the system's own error code, which the
// user-facing description is made from.
namespace platform::detail {

class ReadOnlyFile
{
public:
    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // False with *systemError set when the file can't be opened (a folder can't either).
    bool open(const QString &path, int *systemError);
    // Bytes read, 0 at the end of the file, -1 with *systemError set on failure.
    qint64 read(char *data, qint64 maxSize, int *systemError);
    void close() { m_fd.reset(); }
    bool isOpen() const { return m_fd.valid(); }

private:
    UniqueFd m_fd; // on Windows a C runtime descriptor over the file's HANDLE
};

// Fixed points of an in-place save, where a test stops the saver as a crash would.
struct SaveHooks
{
    std::function<void()> journalSynced;              // the journal is whole and durable
    std::function<void(qint64 written)> overwriting; // after each piece written to the file
};

// Replaces the content of `path` with `data`. An existing file stays that file: its owner,
// group, permissions, extended attributes and other hard links. Where a new file can be
// made just like it, the new content goes to a new file that replaces the old one at once,
// so that the file is either the old one or the complete new one, even after a crash or
// power cut. Where it can't (a read-only folder, other hard links, another owner or group
// the saver can't give a file), the file is written in place: the new content first goes
// to a journal (beside the file when its folder is writable, else in the state folder),
// the space it needs is claimed, and only then is the old content overwritten; a save cut
// short there is completed by completeInterruptedSave(). A symbolic link is followed and
// its target written. False with *systemError set on failure; *oldKept then says whether
// the file holds its old content: untouched, or written back after overwriting it failed.
// Where even that failed, it holds part of the new content; the journal then keeps the
// save for completeInterruptedSave() (on Windows, which keeps no journal yet, it is lost).
bool replaceFile(const QString &path, QByteArrayView data, int *systemError, bool *oldKept = nullptr,
                 const SaveHooks *hooks = nullptr);

enum class Completion { NothingToDo, Completed, Failed };
// Completes the in-place save of `path` that a crash cut short, from its journal. A journal
// that is damaged, or whose file was replaced or changed since, is removed unused; one whose
// file another save holds is left to it. Failed with *systemError set when the file can't
// be written: the journal stays for the next try.
Completion completeInterruptedSave(const QString &path, int *systemError);

} // namespace platform::detail
