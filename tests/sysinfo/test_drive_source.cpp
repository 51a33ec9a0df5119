#include "sysinfo/drive_source.h"
#include "fake_prefix.h"
#include "sysinfo/mount_table.h"
#include "platform/mount_info.h"

#include <QHash>
#include <QSet>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/sysmacros.h>

class TestDriveSource : public QObject
{
    Q_OBJECT

private slots:
    void driveOfEntry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("drive");

        QTest::newRow("letter with label") << "c: [SYSTEM]" << "c";
        QTest::newRow("letter alone") << "A:" << "A";
        QTest::newRow("root") << "/ [vda]" << "/";
        QTest::newRow("blanks in the mount point") << "/media/me/USB Disk [sdb1]" << "/media/me/USB Disk";
        QTest::newRow("brackets in the mount point") << "/mnt/[old] x [sdc1]" << "/mnt/[old] x";
        QTest::newRow("Chinese mount point") << "/media/我的盘 [sdd1]" << "/media/我的盘";
        QTest::newRow("bare mount point") << "/srv" << "/srv";
    }

    void driveOfEntry()
    {
        QFETCH(QString, entry);
        QFETCH(QString, drive);
        QCOMPARE(sysinfo::DriveSource::driveOfEntry(entry), drive);
    }

    void parseMountInfo()
    {
        const QByteArray table =
            "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
            "garbage line\n"
            "\n"
            "40 27 8:17 / /media/me/USB\\040Disk rw,nosuid shared:7 master:2 - vfat /dev/sdb1 rw\n"
            "41 27 8:18 /sub /back\\134slash rw - ext4 /dev/sdb2 rw\n"
            "42 27 0:40 / /no/separator rw ext4 /dev/sdb3 rw\n"
            "43 27 0:41 / /\xe6\x88\x91 rw - tmpfs tmpfs rw"; // no final newline
        QStringList records; // root | mount point | file system | source
        const QList<sysinfo::MountRecord> mounts = sysinfo::parseMountInfo(table);
        for (const sysinfo::MountRecord &mount : mounts)
            records.append(QStringList{mount.root, mount.mountPoint, mount.fileSystem, mount.source}.join(" | "));
        const QStringList expected{"/ | / | ext4 | /dev/vda", "/ | /media/me/USB Disk | vfat | /dev/sdb1",
                                   "/sub | /back\\slash | ext4 | /dev/sdb2", "/ | /我 | tmpfs | tmpfs"};
        QCOMPARE(records, expected);

        // The shredder's fields from the same parser; a device is found by its MAJ:MIN text.
        const auto bytes = [](const std::string &field) { return QByteArray::fromStdString(field); };
        const std::vector<platform::MountEntry> entries =
            platform::parseMountInfo(std::string_view(table.constData(), size_t(table.size())));
        QCOMPARE(entries.size(), size_t(4));
        QCOMPARE(bytes(entries[1].device), "8:17");
        QCOMPARE(bytes(entries[1].mountOptions), "rw,nosuid");
        QCOMPARE(bytes(entries[1].superOptions), "rw");
        QCOMPARE(bytes(platform::findMount(entries, makedev(8, 18))->mountPoint), "/back\\slash");
        QVERIFY(!platform::findMount(entries, makedev(8, 19)));
        QCOMPARE(bytes(platform::parseMountInfo("1 2 0:5 / /x rw - proc proc").at(0).superOptions), "");
    }

    void pickDrives_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("expected"); // mount point [device]

        QTest::newRow("a machine")
            << QByteArray("22 27 0:21 / /proc rw - proc proc rw\n"
                          "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                          "30 27 0:27 / /dev/shm rw - tmpfs tmpfs rw\n"
                          "31 27 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
                          "32 27 253:1 / /home rw - ext4 /dev/mapper/vg-home rw\n")
            << QStringList{"/ [vda]", "/boot/efi [sda1]", "/home [vg-home]"};
        QTest::newRow("each device once, whole file system first")
            << QByteArray("27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                          "40 27 8:17 /data/x /srv/x rw - ext4 /dev/sdb1 rw\n"
                          "41 27 8:17 / /mnt/data rw - ext4 /dev/sdb1 rw\n"
                          "42 27 8:17 / /data rw - ext4 /dev/sdb1 rw\n"
                          "43 27 253:1 / /home rw - ext4 /dev/dm-1 rw\n"
                          "44 27 253:1 / /var/home rw - ext4 /dev/mapper/vg-home rw\n")
            << QStringList{"/ [vda]", "/data [sdb1]", "/home [dm-1]"};
        QTest::newRow("a mount hidden by a later one")
            << QByteArray("27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                          "40 27 8:17 / /mnt rw - ext4 /dev/sdb1 rw\n"
                          "41 27 0:50 / /mnt rw - tmpfs tmpfs rw\n")
            << QStringList{"/ [vda]"};
        QTest::newRow("not block devices")
            << QByteArray("27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                          "40 27 0:50 / /mnt/net rw - nfs server:/export rw\n"
                          "41 27 0:51 / /mnt/char rw - ext4 /dev/not-a-disk rw\n"
                          "42 27 0:52 / /mnt/fuse rw - fuse.sshfs me@host: rw\n")
            << QStringList{"/ [vda]"};
        QTest::newRow("container: the root has no block device")
            << QByteArray("500 400 0:60 / / rw - overlay overlay rw\n"
                          "501 500 8:1 /var/lib/docker/containers/1/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n")
            << QStringList{"/ [overlay]", "/etc/hosts [sda1]"};
        QTest::newRow("no mount table at all") << QByteArray() << QStringList{"/ [root]"};
        QTest::newRow("blanks in a mount point")
            << QByteArray("27 1 254:0 / / rw - ext4 /dev/vda rw\n"
                          "40 27 8:17 / /media/me/USB\\040Disk rw - vfat /dev/sdb1 rw\n")
            << QStringList{"/ [vda]", "/media/me/USB Disk [sdb1]"};
    }

    void pickDrives()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, expected);
        // The block devices and their device numbers; vg-home and dm-1 are one device by two names.
        const QHash<QString, quint64> devices{{"/dev/vda", 1}, {"/dev/sda1", 2}, {"/dev/sdb1", 3},
                                              {"/dev/mapper/vg-home", 4}, {"/dev/dm-1", 4}};
        const auto blockDevice = [&devices](const QString &source) {
            return devices.contains(source) ? std::optional<quint64>(devices.value(source)) : std::nullopt;
        };
        QStringList texts;
        const QList<sysinfo::MountedDrive> drives = sysinfo::pickDrives(sysinfo::parseMountInfo(table), blockDevice);
        for (const sysinfo::MountedDrive &drive : drives)
            texts.append(drive.mountPoint + QStringLiteral(" [") + drive.device + QLatin1Char(']'));
        QCOMPARE(texts, expected);
    }

    // The running machine: the root file system first, then every drive once, each with a size.
    void listsTheRunningSystemsDrives()
    {
        const sysinfo::SystemDriveSource drives;
        const QStringList entries = drives.entries();
        QVERIFY(!entries.isEmpty());
        QCOMPARE(sysinfo::DriveSource::driveOfEntry(entries.first()), QStringLiteral("/"));

        const std::optional<quint64> total = drives.totalBytes(QStringLiteral("/"));
        const std::optional<quint64> free = drives.freeBytes(QStringLiteral("/"));
        QVERIFY(total.has_value());
        QVERIFY(free.has_value());
        QVERIFY(*total > 0);
        QVERIFY(*free <= *total);
        QCOMPARE(qint64(*total), QStorageInfo::root().bytesTotal());

        QSet<QString> seen;
        for (const QString &entry : entries) {
            const QString drive = sysinfo::DriveSource::driveOfEntry(entry);
            QVERIFY2(!seen.contains(drive), qPrintable(entry));
            seen.insert(drive);
            QVERIFY2(drive.startsWith(QLatin1Char('/')), qPrintable(entry));
            QVERIFY2(drives.totalBytes(drive).has_value(), qPrintable(entry));
        }
    }

    // A letter is the Wine prefix's drive: the file system that dosdevices/c: leads to.
    void lettersGoThroughThePrefix()
    {
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        QVERIFY(makeFakePrefix(prefix.path()));

        const sysinfo::SystemDriveSource drives(prefix.path());
        const QStorageInfo storage(prefix.path() + QStringLiteral("/drive_c"));
        for (const QString &letter : {QStringLiteral("C"), QStringLiteral("c"), QStringLiteral("C:")}) {
            QCOMPARE(drives.totalBytes(letter), std::optional<quint64>(quint64(storage.bytesTotal())));
            QVERIFY(drives.freeBytes(letter).has_value());
        }
        QCOMPARE(drives.totalBytes(QStringLiteral("D")), std::nullopt);
        QCOMPARE(drives.freeBytes(QStringLiteral("D")), std::nullopt);
    }

    void noSuchDrive_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::newRow("empty") << "";
        QTest::newRow("missing mount point") << "/no/such/brisquel/folder";
        QTest::newRow("two letters") << "CD";
        QTest::newRow("relative") << "home";
        QTest::newRow("non-ASCII letter") << "Ä";
        QTest::newRow("letter with a path") << "C:\\WINDOWS";
    }

    void noSuchDrive()
    {
        QFETCH(QString, drive);
        QTemporaryDir emptyPrefix;
        const sysinfo::SystemDriveSource drives(emptyPrefix.path());
        QCOMPARE(drives.totalBytes(drive), std::nullopt);
        QCOMPARE(drives.freeBytes(drive), std::nullopt);
        // No prefix at all: letters have nowhere to go.
        const sysinfo::SystemDriveSource noPrefix(emptyPrefix.path() + QStringLiteral("/missing"));
        QCOMPARE(noPrefix.totalBytes(QStringLiteral("C")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestDriveSource)
#include "test_drive_source.moc"
