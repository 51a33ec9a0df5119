// The mount table parser (the shredder's and the drive list's) and the drive picker, fed
// any text as /proc/self/mountinfo. Mount
// points are names anyone who may mount a file system (a USB stick, FUSE) chooses.

#include "fuzz_support.h"
#include "platform/mount_info.h"
#include "sysinfo/mount_table.h"

#include <QHash>

#include <algorithm>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<platform::MountEntry> entries =
            platform::parseMountInfo(std::string_view(reinterpret_cast<const char *>(data), size));
    // Every field is one whole field: a blank or a line break never survives unescaped there.
    for (const platform::MountEntry &e : entries) {
        FUZZ_CHECK(!e.device.empty() && !e.fsType.empty() && !e.source.empty());
        FUZZ_CHECK(e.device.find_first_of(" \n") == std::string::npos);
    }
    const QList<sysinfo::MountRecord> mounts =
            sysinfo::parseMountInfo(QByteArrayView(data, qsizetype(size)));
    FUZZ_CHECK(mounts.size() == qsizetype(entries.size()));
    // A few device numbers, shared among sources, and some sources that aren't devices.
    const auto blockDevice = [](const QString &source) -> std::optional<quint64> {
        const size_t hash = qHash(source);
        if (hash % 5 == 0)
            return std::nullopt;
        return hash % 3;
    };
    const QList<sysinfo::MountedDrive> drives = sysinfo::pickDrives(mounts, blockDevice);

    // The root is always there, and every drive is a mount point of the table, in order.
    FUZZ_CHECK(std::any_of(drives.cbegin(), drives.cend(),
                           [](const sysinfo::MountedDrive &d) { return d.mountPoint == u"/"; }));
    for (qsizetype i = 0; i < drives.size(); ++i) {
        if (i > 0)
            FUZZ_CHECK(drives[i - 1].mountPoint <= drives[i].mountPoint);
        const bool listed = std::any_of(mounts.cbegin(), mounts.cend(), [&](const sysinfo::MountRecord &m) {
            return m.mountPoint == drives[i].mountPoint;
        });
        FUZZ_CHECK(listed || drives[i].mountPoint == u"/");
    }
    return 0;
}
