#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <vector>

namespace cli {

// Which mounted file system a file lies on, by its device number, read from the mount table
// once. Where a file system is mounted more than once (bind mounts), the mount whose point
// holds the file's folder wins.
class MountPoints
{
public:
    MountPoints();
    QString of(quint64 device, const QByteArray &folder);

private:
    struct Mount
    {
        QByteArray point;
        bool whole = false; // the file system's own root is mounted there
    };
    QHash<quint64, std::vector<Mount>> m_byDevice;
    QHash<QByteArray, QString> m_folders; // folder -> answer, per device
};

} // namespace cli
