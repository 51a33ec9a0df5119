#include "cleanup/registry/backup_seal.h"

#include <QFile>
#include <QRandomGenerator>

namespace cleanup::registry {

namespace {

constexpr qsizetype keyBytes = 32;

} // namespace

QString backupKeyPath(const QString &folder)
{
    return folder + QStringLiteral("/.key");
}

// The backup folder lies in the user's own profile, whose permissions keep others out.
std::optional<QByteArray> backupKey(const QString &folder, bool create)
{
    QFile file(backupKeyPath(folder));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray key = file.read(keyBytes + 1);
        return key.size() == keyBytes ? std::optional<QByteArray>(key) : std::nullopt;
    }
    if (!create)
        return std::nullopt;
    QByteArray key(keyBytes, '\0');
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(key.data()),
                                         reinterpret_cast<quint32 *>(key.data() + keyBytes));
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return file.exists() ? backupKey(folder, false) : std::nullopt;
    if (file.write(key) != keyBytes || !file.flush()) {
        file.remove();
        return std::nullopt;
    }
    return key;
}

} // namespace cleanup::registry
