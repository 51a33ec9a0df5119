#pragma once

// The keyed checksum that tells a registry backup this installation wrote from any other
// file: HMAC-SHA256 chained over the file's pieces as they were appended, with a key made at
// the first backup and kept private (mode 0600, owned by the user) in the backup folder. A
// file someone else wrote or changed, or an older backup without a checksum, isn't vouched for.

#include "cleanup/registry/backup_file.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>

namespace cleanup::registry {

// The key's file in `folder`.
QString backupKeyPath(const QString &folder);

// The key in `folder`: read when it is a regular file of the user's that no one else can
// read or write, made when there is none and `create` is set. Nothing otherwise.
std::optional<QByteArray> backupKey(const QString &folder, bool create);

// The chain's next link: HMAC(key, previous link followed by the piece's bytes).
QByteArray chainChecksum(const QByteArray &key, const QByteArray &previous, std::string_view piece);

// The checksum of `file` (backupFileParts()) as the file writes it: lower-case hex.
std::u16string backupChecksum(const QByteArray &key, const BackupFile &file);

// Whether `file` carries a checksum that `key` makes and every section names its entry.
bool vouchedFor(const QByteArray &key, const BackupFile &file);

} // namespace cleanup::registry
