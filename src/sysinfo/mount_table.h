#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace sysinfo {

// The mount table is read here rather than through QStorageInfo, which doesn't tell which
// part of a file system a mount shows (a bind mount of a folder is no whole drive) and
// can't be given a table to test with.

// One line of /proc/self/mountinfo: which part of a file system (`root`) is mounted
// where, from which source.
struct MountRecord
{
    QString root;
    QString mountPoint;
    QString fileSystem;
    QString source;
};

// Parses mountinfo text (platform::parseMountInfo); lines that don't have the expected
// shape are passed over.
QList<MountRecord> parseMountInfo(QByteArrayView text);
// This process's mount table.
QList<MountRecord> readMountTable();

struct MountedDrive
{
    QString mountPoint;
    QString device; // the source's file name: "sda1", "vg-root"
};

// Picks the drives out of the mount table: mounts whose source is a block device under
// /dev (`blockDevice` gives its device number, nothing for anything else), each device
// once, at its shortest whole-file-system mount point. A mount hidden by a later mount at
// the same place doesn't count. The root file system is always there, block device or
// not. Sorted by mount point, so "/" comes first.
QList<MountedDrive> pickDrives(const QList<MountRecord> &mounts,
                               const std::function<std::optional<quint64>(const QString &source)> &blockDevice);

} // namespace sysinfo
