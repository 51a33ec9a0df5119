#include "platform/save_journal.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <algorithm>

namespace platform::detail {

namespace {

constexpr QByteArrayView magic("BRISQJ01");
// Small enough that a write cut short by a kill or a power cut falls on a piece boundary.
constexpr qint64 pieceSize = 512;
constexpr qsizetype pieceSumSize = 8;
constexpr qsizetype headerSize = 8 + 4 * 8;
constexpr qsizetype sumSize = 32;

QByteArray sha256(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray pieceSum(QByteArrayView piece)
{
    return sha256(piece).left(pieceSumSize);
}

qint64 pieceCount(qint64 size)
{
    return (size + pieceSize - 1) / pieceSize;
}

void appendNumber(QByteArray &bytes, quint64 number)
{
    char le[8];
    qToLittleEndian(number, le);
    bytes.append(le, 8);
}

quint64 numberAt(QByteArrayView bytes, qsizetype offset)
{
    return qFromLittleEndian<quint64>(bytes.data() + offset);
}

} // namespace

QByteArray encodeJournal(quint64 device, quint64 inode, QByteArrayView oldContent, QByteArrayView data)
{
    QByteArray bytes;
    bytes.reserve(headerSize + pieceCount(oldContent.size()) * pieceSumSize + data.size() + sumSize);
    bytes.append(magic);
    appendNumber(bytes, device);
    appendNumber(bytes, inode);
    appendNumber(bytes, quint64(oldContent.size()));
    appendNumber(bytes, quint64(data.size()));
    for (qsizetype at = 0; at < oldContent.size(); at += pieceSize)
        bytes += pieceSum(oldContent.sliced(at, std::min<qsizetype>(pieceSize, oldContent.size() - at)));
    bytes.append(data);
    bytes += sha256(bytes);
    return bytes;
}

std::optional<Journal> decodeJournal(QByteArrayView bytes)
{
    if (bytes.size() < headerSize + sumSize || !bytes.startsWith(magic))
        return std::nullopt;
    const QByteArrayView body = bytes.first(bytes.size() - sumSize);
    if (sha256(body) != bytes.last(sumSize))
        return std::nullopt;
    Journal journal;
    journal.device = numberAt(body, 8);
    journal.inode = numberAt(body, 16);
    const quint64 oldSize = numberAt(body, 24);
    const quint64 newSize = numberAt(body, 32);
    if (oldSize > quint64(maxJournalledBytes) || newSize > quint64(maxJournalledBytes))
        return std::nullopt;
    journal.oldSize = qint64(oldSize);
    const qint64 sums = pieceCount(journal.oldSize) * pieceSumSize;
    if (body.size() != headerSize + sums + qint64(newSize))
        return std::nullopt;
    journal.oldPieces = body.sliced(headerSize, sums).toByteArray();
    journal.data = body.sliced(headerSize + sums).toByteArray();
    return journal;
}

bool leftByInterruptedSave(const Journal &journal, QByteArrayView current)
{
    const qint64 oldSize = journal.oldSize;
    const qint64 newSize = journal.data.size();
    const qint64 size = current.size();
    // The new part past the old end is written first, and a shorter file cut last.
    if (size < std::min(oldSize, newSize) || size > std::max(oldSize, newSize))
        return false;
    const auto zeros = [](QByteArrayView piece) {
        return std::all_of(piece.begin(), piece.end(), [](char c) { return c == 0; });
    };
    for (qint64 at = 0; at < size;) {
        // Pieces end on the old pieces' bounds and at the old end.
        qint64 end = std::min((at / pieceSize + 1) * pieceSize, size);
        if (at < oldSize)
            end = std::min(end, oldSize);
        const QByteArrayView piece = current.sliced(at, end - at);
        const bool isNew = end <= newSize && piece == QByteArrayView(journal.data).sliced(at, end - at);
        const bool wholeOldPiece = at < oldSize && (end == oldSize || end % pieceSize == 0);
        const bool isOld = wholeOldPiece
            && pieceSum(piece) == QByteArrayView(journal.oldPieces).sliced(at / pieceSize * pieceSumSize, pieceSumSize);
        // Space claimed past the old end reads as zeros until it is written.
        if (!isNew && !isOld && !(at >= oldSize && zeros(piece)))
            return false;
        at = end;
    }
    return true;
}

QByteArray journalNameBeside(const QByteArray &name)
{
    return '.' + name + ".brisquel-journal";
}

QByteArray journalNameInStateFolder(const QByteArray &absolutePath)
{
    return sha256(absolutePath).toHex().left(40) + ".journal";
}

} // namespace platform::detail
