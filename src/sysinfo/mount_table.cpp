#include "sysinfo/mount_table.h"

#include "platform/mount_info.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace sysinfo {

namespace {

QList<MountRecord> recordsOf(const std::vector<platform::MountEntry> &entries)
{
    QList<MountRecord> records;
    records.reserve(qsizetype(entries.size()));
    for (const platform::MountEntry &entry : entries) {
        records.append({QFile::decodeName(QByteArray::fromStdString(entry.root)),
                        QFile::decodeName(QByteArray::fromStdString(entry.mountPoint)),
                        QFile::decodeName(QByteArray::fromStdString(entry.fsType)),
                        QFile::decodeName(QByteArray::fromStdString(entry.source))});
    }
    return records;
}

} // namespace

QList<MountRecord> parseMountInfo(QByteArrayView text)
{
    return recordsOf(platform::parseMountInfo(std::string_view(text.data(), size_t(text.size()))));
}

QList<MountRecord> readMountTable()
{
    return recordsOf(platform::readMountInfo());
}

QList<MountedDrive> pickDrives(const QList<MountRecord> &mounts,
                               const std::function<std::optional<quint64>(const QString &source)> &blockDevice)
{
    QHash<QString, qsizetype> lastAt; // mount point -> the mount that is visible there
    for (qsizetype i = 0; i < mounts.size(); ++i)
        lastAt.insert(mounts.at(i).mountPoint, i);

    struct Pick
    {
        qsizetype index;
        bool wholeFileSystem;
    };
    QHash<quint64, Pick> byDevice;
    QList<quint64> order;
    const auto better = [&mounts](const Pick &a, const Pick &b) {
        if (a.wholeFileSystem != b.wholeFileSystem)
            return a.wholeFileSystem;
        return mounts.at(a.index).mountPoint.size() < mounts.at(b.index).mountPoint.size();
    };
    for (qsizetype i = 0; i < mounts.size(); ++i) {
        const MountRecord &mount = mounts.at(i);
        if (lastAt.value(mount.mountPoint) != i || !mount.source.startsWith(QLatin1String("/dev/")))
            continue;
        const std::optional<quint64> device = blockDevice(mount.source);
        if (!device)
            continue;
        const Pick pick{i, mount.root == QLatin1String("/")};
        const auto found = byDevice.find(*device);
        if (found == byDevice.end()) {
            byDevice.insert(*device, pick);
            order.append(*device);
        } else if (better(pick, *found)) {
            *found = pick;
        }
    }

    QList<MountedDrive> drives;
    bool haveRoot = false;
    for (const quint64 device : std::as_const(order)) {
        const MountRecord &mount = mounts.at(byDevice.value(device).index);
        const QString name = mount.source.mid(mount.source.lastIndexOf(QLatin1Char('/')) + 1);
        drives.append({mount.mountPoint, name});
        haveRoot = haveRoot || mount.mountPoint == QLatin1String("/");
    }
    if (!haveRoot) {
        // The system drive: in a container or on a network root it has no block device.
        const auto root = lastAt.constFind(QStringLiteral("/"));
        QString name;
        if (root != lastAt.cend()) {
            const QString &source = mounts.at(*root).source;
            name = source.mid(source.lastIndexOf(QLatin1Char('/')) + 1);
        }
        drives.append({QStringLiteral("/"), name.isEmpty() ? QStringLiteral("root") : name});
    }
    std::sort(drives.begin(), drives.end(),
              [](const MountedDrive &a, const MountedDrive &b) { return a.mountPoint < b.mountPoint; });
    return drives;
}

} // namespace sysinfo
