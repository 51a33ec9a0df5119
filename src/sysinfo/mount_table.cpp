#include "sysinfo/mount_table.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace sysinfo {

namespace {

// The kernel writes blank, tab, newline and backslash as \ooo in octal.
QString unescapeField(QByteArrayView field)
{
    QByteArray bytes;
    bytes.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (c == '\\' && i + 3 < field.size()) {
            const char a = field.at(i + 1), b = field.at(i + 2), d = field.at(i + 3);
            const auto octal = [](char x) { return x >= '0' && x <= '7'; };
            if (octal(a) && octal(b) && octal(d)) {
                bytes += char(((a - '0') << 6) | ((b - '0') << 3) | (d - '0'));
                i += 3;
                continue;
            }
        }
        bytes += c;
    }
    return QFile::decodeName(bytes);
}

QList<QByteArrayView> splitFields(QByteArrayView line)
{
    QList<QByteArrayView> fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line.at(i) == ' ') {
            if (i > start)
                fields.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    return fields;
}

} // namespace

QList<MountRecord> parseMountInfo(QByteArrayView text)
{
    QList<MountRecord> records;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QList<QByteArrayView> fields = splitFields(text.sliced(start, end - start));
        start = end + 1;

        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        qsizetype separator = -1;
        for (qsizetype i = 6; i < fields.size(); ++i) {
            if (fields.at(i) == "-") {
                separator = i;
                break;
            }
        }
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        records.append({unescapeField(fields.at(3)), unescapeField(fields.at(4)),
                        unescapeField(fields.at(separator + 1)), unescapeField(fields.at(separator + 2))});
    }
    return records;
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
