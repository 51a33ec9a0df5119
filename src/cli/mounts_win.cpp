#include "cli/mounts.h"

#include <QStorageInfo>

namespace cli {

MountPoints::MountPoints() = default;

// Windows names each volume by the root it is mounted at.
QString MountPoints::of(quint64, const QByteArray &folder)
{
    if (const auto found = m_folders.constFind(folder); found != m_folders.constEnd())
        return *found;
    const QString root = QStorageInfo(QString::fromUtf8(folder)).rootPath();
    m_folders.insert(folder, root);
    return root;
}

} // namespace cli
