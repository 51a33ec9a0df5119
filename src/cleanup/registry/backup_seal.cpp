#include "cleanup/registry/backup_seal.h"

#include <QMessageAuthenticationCode>

namespace cleanup::registry {

QByteArray chainChecksum(const QByteArray &key, const QByteArray &previous, std::string_view piece)
{
    QMessageAuthenticationCode code(QCryptographicHash::Sha256, key);
    code.addData(previous);
    code.addData(piece.data(), qsizetype(piece.size()));
    return code.result();
}

std::u16string backupChecksum(const QByteArray &key, const BackupFile &file)
{
    QByteArray link;
    for (const std::string &piece : backupFileParts(file))
        link = chainChecksum(key, link, piece);
    return QString::fromLatin1(link.toHex()).toStdU16String();
}

bool vouchedFor(const QByteArray &key, const BackupFile &file)
{
    if (file.checksum.empty() || key.isEmpty())
        return false;
    for (const BackupSection &section : file.sections) {
        if (section.entry.empty())
            return false;
    }
    const std::u16string expected = backupChecksum(key, file);
    // Compared in full whatever differs, so the time taken says nothing about the key.
    char16_t differs = char16_t(expected.size() ^ file.checksum.size());
    for (std::size_t i = 0; i < expected.size() && i < file.checksum.size(); ++i)
        differs |= char16_t(expected[i] ^ file.checksum[i]);
    return differs == 0;
}

} // namespace cleanup::registry
