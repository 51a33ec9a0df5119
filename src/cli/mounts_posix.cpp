#include "cli/mounts.h"

#include "platform/byte_path.h"
#include "shredder/storage.h"

#include <cstdlib>
#include <memory>

#include <sys/sysmacros.h>

namespace cli {

namespace {

bool holds(const QByteArray &point, const QByteArray &path)
{
    return point == "/" || path == point || path.startsWith(point + '/');
}

QByteArray realFolder(const QByteArray &folder)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(folder.constData(), nullptr), &std::free);
    return real ? QByteArray(real.get()) : platform::absolutePath(folder);
}

} // namespace

MountPoints::MountPoints()
{
    for (const shredder::MountRecord &record : shredder::readMountTable()) {
        const QByteArray device = QByteArray::fromStdString(record.device);
        const qsizetype colon = device.indexOf(':');
        if (colon < 0)
            continue;
        const quint64 id = makedev(device.left(colon).toUInt(), device.mid(colon + 1).toUInt());
        m_byDevice[id].push_back({QByteArray::fromStdString(record.mountPoint), record.root == "/"});
    }
}

QString MountPoints::of(quint64 device, const QByteArray &folder)
{
    const QByteArray key = QByteArray::number(device) + ':' + folder;
    if (const auto found = m_folders.constFind(key); found != m_folders.constEnd())
        return *found;
    const QByteArray real = realFolder(folder);
    QByteArray best;
    const auto mounts = m_byDevice.constFind(device);
    if (mounts != m_byDevice.constEnd()) {
        // The deepest mount of this file system that holds the folder; else its whole mount.
        for (const Mount &mount : *mounts) {
            if (holds(mount.point, real) && mount.point.size() >= best.size())
                best = mount.point;
        }
        if (best.isEmpty()) {
            for (const Mount &mount : *mounts) {
                if (mount.whole) {
                    best = mount.point;
                    break;
                }
            }
        }
        if (best.isEmpty() && !mounts->empty())
            best = mounts->front().point;
    }
    if (best.isEmpty()) {
        // A device the table doesn't name (a btrfs subvolume): the deepest mount holding the folder.
        for (const std::vector<Mount> &list : std::as_const(m_byDevice)) {
            for (const Mount &mount : list) {
                if (holds(mount.point, real) && mount.point.size() > best.size())
                    best = mount.point;
            }
        }
    }
    const QString shown = platform::shownPath(best);
    m_folders.insert(key, shown);
    return shown;
}

} // namespace cli
