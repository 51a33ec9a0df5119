#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

class QFile;

// Raw file access for the line files and other files that must survive a crash, kept
// inside the platform layer: it reports the system's own error code, which the
// user-facing description is made from.
namespace platform::detail {

class ReadOnlyFile
{
public:
    ReadOnlyFile() = default;
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;
    ~ReadOnlyFile() { close(); }

    // False with *systemError set when the file can't be opened (a folder can't either).
    bool open(const QString &path, int *systemError);
    // Bytes read, 0 at the end of the file, -1 with *systemError set on failure.
    qint64 read(char *data, qint64 maxSize, int *systemError);
    void close();
    bool isOpen() const { return m_handle != invalidHandle; }

private:
    static constexpr std::intptr_t invalidHandle = -1;
    std::intptr_t m_handle = invalidHandle; // a descriptor or a HANDLE
};

// Replaces the content of `path` with `data`. An existing file stays that file: its owner,
// group, permissions, extended attributes and other hard links. Where a new file can be
// made just like it, the new content goes to a new file that replaces the old one at once,
// so that the file is either the old one or the complete new one, even after a crash or
// power cut. Where it can't (a read-only folder, other hard links, another owner or group
// the saver can't give a file), the file is written in place, with the space it needs
// claimed first, so a full disk fails before anything old is touched (only a disk that
// fails to write what it has room for can then leave a mix). A symbolic link is followed
// and its target written. False with *systemError set on failure, in which case the old
// content is untouched and no temporary file is left.
bool replaceFile(const QString &path, QByteArrayView data, int *systemError);

// Makes what was written to the open `file` durable (fdatasync, FlushFileBuffers).
bool syncToDisk(QFile &file);

// Makes the name of a file just made durable in its folder, so that a crash can't lose a
// file whose data was synced. Nothing to do on Windows, whose file systems log new names.
void syncFolderEntry(const QString &path);

} // namespace platform::detail
