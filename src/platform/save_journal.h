#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The journal of an in-place save: the complete new content, written and synced before the
// old file is overwritten, so that a save cut short can be completed at the next start.
// It names the file it belongs to (device and inode) and keeps a checksum of each piece of
// the old content, so that it is applied only to the very file it was made for, and only
// while that file holds what the interrupted save could have left: old pieces, new pieces,
// and zeros where new space had not been written. A checksum over the whole journal keeps
// a damaged one from ever being applied.
namespace platform::detail {

struct Journal
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 oldSize = 0;
    QByteArray oldPieces; // a checksum of each piece of the old content
    QByteArray data;      // the new content
};

// No list or skin comes near this; a bigger in-place save is refused rather than journalled.
inline constexpr qint64 maxJournalledBytes = 256 * 1024 * 1024;

QByteArray encodeJournal(quint64 device, quint64 inode, QByteArrayView oldContent, QByteArrayView data);
// std::nullopt for anything but a whole, undamaged journal.
std::optional<Journal> decodeJournal(QByteArrayView bytes);
// Whether `current`, the file's content now, is what the journal's save could have left.
bool leftByInterruptedSave(const Journal &journal, QByteArrayView current);

// The journal's name beside the file (`name` is the file's), and in the program's state
// folder, where it is named after the file's absolute path.
QByteArray journalNameBeside(const QByteArray &name);
QByteArray journalNameInStateFolder(const QByteArray &absolutePath);

} // namespace platform::detail
