#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QFile;

// Reading and syncing files where the safe save (line_file.h) is not the tool: a bounded
// read that never waits on a pipe or a device, and making what was written durable.
namespace platform {

// The program's own state folder, for what must outlive a run (save journals, the record of
// an unfinished wipe): $XDG_STATE_HOME/brisquel, else ~/.local/state/brisquel; empty when
// there is no home. As bytes, since the environment holds them so.
QByteArray stateFolder();

// Up to `maxBytes` of a file, which must be a regular one: no wait on a pipe, no endless
// device. std::nullopt with *systemError set when it can't be opened; a read that fails
// part-way keeps what came before it, with *systemError set.
std::optional<QByteArray> readHead(const QString &path, qint64 maxBytes, int *systemError);

// Makes what was written to the open `file` durable (fdatasync, FlushFileBuffers).
bool syncToDisk(QFile &file);

// Makes the name of a file just made durable in its folder, so that a crash can't lose a
// file whose data was synced. Nothing to do on Windows, whose file systems log new names.
void syncFolderEntry(const QString &path);

} // namespace platform
