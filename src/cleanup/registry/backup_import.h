#pragma once

// The operating system's side of restoreBackup(): where a backup goes, and putting it there.

#include "cleanup/registry/helper_protocol.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cleanup::registry::detail {

// The prefix to restore into: `requested` when given, else `named` (the file's prefix
// comment), which must be a full path. It must still hold a registry, be the user's own
// (the folder and its hives), and be reached through no link someone else owns; `refusal`
// says otherwise why not, and `gone` whether it simply isn't there. Empty on Windows: the
// system's own registry.
struct RestoreTarget
{
    QString prefix;
    QString refusal;
    bool gone = false;
};
RestoreTarget restorePrefix(const QString &requested, const QString &named);

// Writes the checked bytes to "restore.reg" in `folder`, the copy the registry editor reads:
// the file the user named may change meanwhile, and its name may be one the editor can't
// take. Its path goes to `copy`; a Chinese reason on failure.
std::optional<QString> writeCheckedCopy(const QTemporaryDir &folder, const QByteArray &bytes, QString &copy);

class BackupImporter
{
public:
    BackupImporter(const QString &prefix, const QString &helperPath);
    ~BackupImporter();
    BackupImporter(const BackupImporter &) = delete;
    BackupImporter &operator=(const BackupImporter &) = delete;

    // Hands an already checked backup to the registry editor; a Chinese reason on failure,
    // nothing on success.
    std::optional<QString> import(const QByteArray &regFile);
    // Every value of a key now, as the registry API reads it (0, or a Windows error code).
    quint32 values(const std::u16string &keyPath, std::vector<ExportedValue> &out);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cleanup::registry::detail
