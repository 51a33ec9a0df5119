#include "platform/storage_calls.h"
#include "shredder/shredder.h"
#include "without_dac_override.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>

using namespace shredder;

namespace {

QByteArray randomBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(data.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        data[i] = char(QRandomGenerator::global()->bounded(256));
    return data;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(data), data.size());
    QVERIFY(file.flush() && ::fsync(file.handle()) == 0);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

std::string native(const QString &path) { return QFile::encodeName(path).toStdString(); }

bool exists(const QString &path)
{
    struct stat info {};
    return ::lstat(native(path).c_str(), &info) == 0;
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

class TestShredder : public QObject
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(m_dir.emplace().isValid()); }

    void overwritesEveryByte_data();
    void overwritesEveryByte();
    void leavesNoTraceOnDisk();
    void renamesAway_data();
    void renamesAway();
    void removesLinksAndSpecialFiles_data();
    void removesLinksAndSpecialFiles();
    void emptiesFolderTree_data();
    void emptiesFolderTree();
    void actsOnlyOnWhatWasScanned_data();
    void actsOnlyOnWhatWasScanned();
    void walksDeepTreesWithFewDescriptors();
    void overwritesOnlyData_data();
    void overwritesOnlyData();
    void cancelLeavesFileInPlace_data();
    void cancelLeavesFileInPlace();
    void reportsFailures_data();
    void reportsFailures();
    void failsOnWriteBackError_data();
    void failsOnWriteBackError();
    void leavesWhatCameAfterTheScan();
    void lastStepFollowsTheFile_data();
    void lastStepFollowsTheFile();
    void warns_data();
    void warns();
    void describesRealDevice();
    void refusesKernelInterfaces_data();
    void refusesKernelInterfaces();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    std::optional<QTemporaryDir> m_dir;
};

void TestShredder::overwritesEveryByte_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("passes");
    QTest::addColumn<bool>("zeroPass");
    QTest::newRow("empty") << 0 << 1 << false;
    QTest::newRow("one byte") << 1 << 1 << false;
    QTest::newRow("one block") << 4096 << 1 << false;
    QTest::newRow("block and a byte") << 4097 << 3 << false;
    QTest::newRow("several chunks") << (3 << 20) + 5 << 1 << false;
    QTest::newRow("seven passes and zeros") << 100000 << 7 << true;
    QTest::newRow("one pass and zeros") << (2 << 20) + 1 << 1 << true;
}

// The content is read back through a descriptor opened before shredding, at the moment the
// last pass is synced and before the file is truncated and unlinked.
void TestShredder::overwritesEveryByte()
{
    QFETCH(int, size);
    QFETCH(int, passes);
    QFETCH(bool, zeroPass);
    const QByteArray original = randomBytes(size);
    writeFile(path("secret.bin"), original);
    const int kept = ::open(native(path("secret.bin")).c_str(), O_RDONLY | O_CLOEXEC);
    QVERIFY(kept >= 0);
    struct stat before {};
    QVERIFY(::fstat(kept, &before) == 0);
    const qint64 lastBlock = (size + before.st_blksize - 1) / before.st_blksize * before.st_blksize;

    Shredder shredder({passes, zeroPass});
    QByteArray seen;
    struct stat during {};
    shredder.beforeTruncate = [&](int) {
        ::fstat(kept, &during);
        seen.resize(during.st_size);
        seen.resize(std::max<ssize_t>(0, ::pread(kept, seen.data(), seen.size(), 0)));
    };
    const Outcome outcome = shredder.shred(native(path("secret.bin")));

    QCOMPARE(int(outcome.status), int(Status::Shredded));
    QCOMPARE(qint64(during.st_size), lastBlock); // overwritten up to its last block
    QCOMPARE(seen.size(), lastBlock);
    QCOMPARE(shredder.bytesDone(), quint64(lastBlock) * (passes + zeroPass));
    if (zeroPass)
        QCOMPARE(seen, QByteArray(lastBlock, '\0'));
    for (qsizetype at = 0; at + 16 <= size; at += 16)
        QVERIFY2(seen.mid(at, 16) != original.mid(at, 16), qPrintable(QStringLiteral("left at %1").arg(at)));
    struct stat after {};
    QVERIFY(::fstat(kept, &after) == 0);
    ::close(kept);
    QCOMPARE(after.st_size, 0);
    QCOMPARE(after.st_nlink, nlink_t(0));
    QVERIFY(QDir(m_dir->path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

// Scans the raw blocks of a small ext4 image: the shredded file's content must be nowhere
// on the disk, while a file left alone is still found there.
void TestShredder::leavesNoTraceOnDisk()
{
    const QString image = path("disk.img"), mountPoint = path("mnt");
    QVERIFY(QDir().mkpath(mountPoint));
    if (::geteuid() != 0 || !runs("truncate", {"-s", "64M", image}) || !runs("mkfs.ext4", {"-q", "-F", image})
        || !runs("mount", {"-o", "loop", image, mountPoint}))
        QSKIP("a loop mount needs root and loop devices");
    const QByteArray secret = QByteArray("SHRED-ME-").repeated(40000) + randomBytes(100000);
    const QByteArray kept = QByteArray("KEEP-ME-").repeated(40000);
    writeFile(mountPoint + "/secret", secret);
    writeFile(mountPoint + "/kept", kept);
    const Outcome outcome = Shredder({1, false}).shred(native(mountPoint + "/secret"));
    QVERIFY(runs("umount", {mountPoint}));

    QCOMPARE(int(outcome.status), int(Status::Shredded));
    const QByteArray disk = readFile(image);
    QVERIFY(disk.contains(kept.left(4096)));
    QVERIFY(!disk.contains(QByteArray("SHRED-ME-SHRED-ME-")));
    QVERIFY(!disk.contains(secret.right(64)));
}

void TestShredder::renamesAway_data()
{
    QTest::addColumn<bool>("folder");
    QTest::newRow("file") << false;
    QTest::newRow("folder") << true;
}

// Watches the folder: the old name only ever leaves it by a rename, and what is finally
// deleted carries a one-letter name.
void TestShredder::renamesAway()
{
    QFETCH(bool, folder);
    const QString name = QStringLiteral("tax-return-2026 final.pdf");
    if (folder)
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    else
        writeFile(path(name), "private");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0 && ::inotify_add_watch(watch, native(m_dir->path()).c_str(), IN_MOVE | IN_DELETE) >= 0);

    QCOMPARE(int(Shredder().shred(native(path(name))).status), int(Status::Shredded));

    QStringList events;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char *at = buffer; at < buffer + n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(at);
            const QString kind = event->mask & IN_DELETE ? "delete" : event->mask & IN_MOVED_FROM ? "from" : "to";
            events << kind + ' ' + QFile::decodeName(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    QVERIFY2(events.size() >= 3, qPrintable(events.join(", ")));
    QCOMPARE(events.first(), "from " + name);
    QCOMPARE(events.filter(name).size(), 1);
    QVERIFY2(events.last().startsWith("delete ") && events.last().size() == 8, qPrintable(events.last()));
    QVERIFY(!exists(path(name)));
}

void TestShredder::removesLinksAndSpecialFiles_data()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"link to file", "link to folder", "dangling link", "fifo", "socket"})
        QTest::newRow(kind) << kind;
}

void TestShredder::removesLinksAndSpecialFiles()
{
    QFETCH(QString, kind);
    QVERIFY(QDir(m_dir->path()).mkdir("target"));
    writeFile(path("target/data"), "keep me");
    const std::string entry = native(path("entry"));
    if (kind == "link to file")
        QVERIFY(::symlink(native(path("target/data")).c_str(), entry.c_str()) == 0);
    else if (kind == "link to folder")
        QVERIFY(::symlink(native(path("target")).c_str(), entry.c_str()) == 0);
    else if (kind == "dangling link")
        QVERIFY(::symlink("nowhere", entry.c_str()) == 0);
    else if (kind == "fifo")
        QVERIFY(::mkfifo(entry.c_str(), 0600) == 0); // opening it would hang the test
    else {
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, entry.c_str(), sizeof address.sun_path - 1);
        QVERIFY(::bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        ::close(sock);
    }
    Shredder shredder;
    QCOMPARE(int(shredder.shred(entry).status), int(Status::Shredded));
    QVERIFY(!exists(path("entry")));
    QCOMPARE(readFile(path("target/data")), QByteArray("keep me"));
    QCOMPARE(shredder.bytesDone(), 0u);
}

void TestShredder::emptiesFolderTree_data()
{
    QTest::addColumn<QString>("mount"); // what is mounted at tree/mounted
    QTest::newRow("plain tree") << QString();
    QTest::newRow("another file system") << "tmpfs";
    QTest::newRow("bind mount, same file system") << "bind folder";
    QTest::newRow("file bind-mounted from another file system") << "bind file";
}

void TestShredder::emptiesFolderTree()
{
    QFETCH(QString, mount);
    const bool mountInside = !mount.isEmpty();
    QDir dir(m_dir->path());
    QVERIFY(dir.mkpath("outside/deep") && dir.mkpath("tree/a/b/c") && dir.mkpath("tree/empty"));
    writeFile(path("outside/deep/file"), "outside");
    for (const QString name : {"tree/top", "tree/a/one", "tree/a/b/two", "tree/a/b/c/three"})
        writeFile(path(name), randomBytes(5000));
    QVERIFY(::symlink(native(path("outside")).c_str(), native(path("tree/a/to-folder")).c_str()) == 0);
    QVERIFY(::symlink(native(path("outside/deep/file")).c_str(), native(path("tree/to-file")).c_str()) == 0);
    QVERIFY(::mkfifo(native(path("tree/a/b/pipe")).c_str(), 0600) == 0);
    const QString inside = mount == "bind file" ? "tree/mounted" : "tree/mounted/other-fs";
    if (mountInside) {
        QVERIFY(dir.mkpath("tree/mounted") && dir.mkpath("shared"));
        writeFile(path("shared/other-fs"), "other");
        bool mounted = false;
        if (mount == "tmpfs") {
            mounted = runs("mount", {"-t", "tmpfs", "none", path("tree/mounted")});
            writeFile(path(inside), "other");
        } else if (mount == "bind folder") {
            mounted = runs("mount", {"--bind", path("shared"), path("tree/mounted")});
        } else {
            QVERIFY(dir.rmdir("tree/mounted"));
            writeFile(path("tree/mounted"), "mount point");
            mounted = runs("mount", {"-t", "tmpfs", "none", path("shared")});
            writeFile(path("shared/other-fs"), "other");
            mounted = mounted && runs("mount", {"--bind", path("shared/other-fs"), path("tree/mounted")});
        }
        if (!mounted)
            QSKIP("mounting needs root");
    }

    const Plan plan = scan(native(path("tree")), [](dev_t) { return DeviceFacts{}; });
    const Outcome outcome = Shredder().shred(plan);
    if (mountInside) {
        const bool stillThere = readFile(path(inside)) == "other";
        runs("umount", {path("tree/mounted")});
        if (mount == "bind file")
            runs("umount", {path("shared")});
        QCOMPARE(plan.mountPoints, 1u);
        QCOMPARE(int(outcome.status), int(Status::Failed));
        QCOMPARE(outcome.error, EXDEV);
        QCOMPARE(QString::fromStdString(outcome.where), path("tree/mounted"));
        QVERIFY(stillThere);
        QCOMPARE(dir.entryList({}, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name).size(), 3);
        QCOMPARE(QDir(path("tree")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                 QStringList{"mounted"});
    } else {
        QCOMPARE(int(outcome.status), int(Status::Shredded));
        QVERIFY(!exists(path("tree")));
    }
    QCOMPARE(readFile(path("outside/deep/file")), QByteArray("outside"));
}

void TestShredder::actsOnlyOnWhatWasScanned_data()
{
    QTest::addColumn<QString>("race");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    const int failed = int(Status::Failed), changed = ChangedSinceScan;
    QTest::newRow("parent folder swapped for a link") << "parent link" << failed << changed;
    QTest::newRow("parent folder swapped for another") << "parent folder" << failed << changed;
    QTest::newRow("file replaced") << "file replaced" << failed << changed;
    QTest::newRow("folder swapped for a link") << "folder link" << failed << changed;
    QTest::newRow("FIFO swapped in before opening") << "fifo" << failed << changed;
    QTest::newRow("private file swapped for own protected one") << "private" << failed << changed;
    QTest::newRow("hard link made after the scan") << "link after scan" << failed << EMLINK;
    QTest::newRow("hard link made after opening") << "link after open" << failed << EMLINK;
    QTest::newRow("hard link the scan saw") << "link before scan" << int(Status::Shredded) << 0;
    QTest::newRow("cancel after lifting protection") << "cancel protected" << int(Status::Cancelled) << 0;
}

// Whatever takes the scanned item's place, or adds a name to it, between the confirmation
// and the write is left alone; `victim` stands for the data an attacker points us at.
void TestShredder::actsOnlyOnWhatWasScanned()
{
    QFETCH(QString, race);
    QFETCH(int, status);
    QFETCH(int, error);
    QDir dir(m_dir->path());
    QVERIFY(dir.mkpath("att/old") && dir.mkpath("victim/etc"));
    writeFile(path("att/old/etc"), "listed");
    writeFile(path("victim/etc/shadow"), "victim");
    const bool folderItem = race.startsWith("folder");
    if (folderItem) {
        QVERIFY(dir.mkpath("att/old/tree"));
        writeFile(path("att/old/tree/file"), "listed");
    }
    if (race == "link before scan")
        QVERIFY(::link(native(path("att/old/etc")).c_str(), native(path("victim/other-name")).c_str()) == 0);
    if (race.contains("protected") || race == "private")
        QVERIFY(::chmod(native(path("att/old/etc")).c_str(), 0444) == 0);
    const QString item = path(folderItem ? "att/old/tree" : "att/old/etc");
    const Plan plan = scan(native(item), [](dev_t) { return DeviceFacts{}; });
    QCOMPARE(plan.error, 0);

    const auto swapIn = [&](const QString &replacement) {
        QVERIFY(::rename(native(replacement).c_str(), native(item).c_str()) == 0);
    };
    if (race == "parent link") {
        QVERIFY(dir.rename("att/old", "att/gone") && dir.rename("victim/etc", "victim/old"));
        QVERIFY(::symlink(native(path("victim/old")).c_str(), native(path("att/old")).c_str()) == 0);
        writeFile(path("victim/old/etc"), "victim");
    } else if (race == "parent folder") {
        QVERIFY(dir.rename("att/old", "att/gone") && dir.mkpath("victim/old"));
        writeFile(path("victim/old/etc"), "victim");
        QVERIFY(dir.rename("victim/old", "att/old"));
    } else if (race == "file replaced") {
        writeFile(path("victim/new"), "victim");
        swapIn(path("victim/new"));
    } else if (race == "folder link") {
        QVERIFY(dir.rename("att/old/tree", "att/gone") && ::symlink("../../victim/etc", native(item).c_str()) == 0);
    } else if (race == "private") {
        writeFile(path("victim/private"), "victim");
        QVERIFY(::chmod(native(path("victim/private")).c_str(), 0400) == 0);
        swapIn(path("victim/private"));
    } else if (race == "link after scan") {
        QVERIFY(::link(native(item).c_str(), native(path("victim/other-name")).c_str()) == 0);
    }

    std::atomic<bool> stop{false};
    Shredder shredder({1, false}, &stop);
    int opened = 0;
    shredder.beforeOpen = [&](int dirFd, const std::string &name) {
        if (race != "fifo")
            return;
        QVERIFY(::mkfifoat(dirFd, "fifo", 0600) == 0 && ::renameat(dirFd, "fifo", dirFd, name.c_str()) == 0);
        opened = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ::inotify_add_watch(opened, native(item).c_str(), IN_OPEN);
    };
    shredder.beforeWrite = [&](int) {
        if (race == "link after open")
            QVERIFY(::link(native(item).c_str(), native(path("victim/other-name")).c_str()) == 0);
        stop = race == "cancel protected";
    };
    Outcome outcome;
    {
        WithoutDacOverride asUser;
        outcome = shredder.shred(plan);
    }

    QCOMPARE(int(outcome.status), status);
    QCOMPARE(outcome.error, error);
    QCOMPARE(shredder.bytesDone(), status == int(Status::Shredded) ? 4096u : 0u);
    for (const QString name : {"victim/etc/shadow", "victim/old/etc", "att/old/etc", "victim/other-name"}) {
        if (race == "fifo" && name == "att/old/etc")
            continue; // reading a FIFO would wait for a writer
        const QByteArray left = readFile(path(name));
        QVERIFY2(left == "victim" || left == "listed" || left == "<unreadable>" || (race == "link before scan" && left.isEmpty()),
                 qPrintable(name + ": " + left));
    }
    if (race == "fifo") {
        char buffer[256];
        QCOMPARE(::read(opened, buffer, sizeof buffer), ssize_t(-1)); // never opened, not even to look
        ::close(opened);
    }
    struct stat info {};
    if (race == "private" || race == "cancel protected") {
        QVERIFY(::stat(native(item).c_str(), &info) == 0);
        QCOMPARE(info.st_mode & 07777, race == "private" ? 0400u : 0444u);
        QCOMPARE(readFile(item), race == "private" ? QByteArray("victim") : QByteArray("listed"));
    }
}

// Far deeper than the descriptors the process may hold, with a folder it can't read: every
// file is counted, the unreadable folder is reported, and the rest goes.
void TestShredder::walksDeepTreesWithFewDescriptors()
{
    constexpr int depth = 300;
    QVERIFY(QDir(m_dir->path()).mkdir("deep"));
    int fd = ::open(native(path("deep")).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < depth && fd >= 0; ++level) {
        const int file = ::openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        QVERIFY(file >= 0 && ::write(file, "x", 1) == 1 && ::close(file) == 0);
        QVERIFY(::mkdirat(fd, "d", 0700) == 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    QVERIFY(fd >= 0 && ::mkdirat(fd, "locked", 0) == 0);
    ::close(fd);

    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
    rlimit few = saved;
    few.rlim_cur = 64;
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &few) == 0);
    Plan plan;
    Outcome outcome;
    {
        WithoutDacOverride asUser;
        plan = scan(native(path("deep")), [](dev_t) { return DeviceFacts{}; });
        outcome = Shredder().shred(plan);
    }
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &saved) == 0);

    QCOMPARE(plan.error, 0);
    QCOMPARE(plan.files, quint64(depth));
    QCOMPARE(plan.unreadable, 1u);
    QCOMPARE(int(outcome.status), int(Status::Failed));
    QCOMPARE(outcome.error, EACCES);
    QVERIFY(QString::fromStdString(outcome.where).endsWith("/d/locked"));
    QCOMPARE(outcome.failures, 1u);
    QCOMPARE(QDir(path("deep")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"d"}); // the rest went
    QVERIFY(::chmod(native(path("deep")).c_str(), 0700) == 0);
}

void TestShredder::overwritesOnlyData_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("sparse file") << false;
    QTest::newRow("sparse file on a full disk") << true;
}

// A sparse file of 10 GB holding 12 KiB: only the 12 KiB are written, so a full disk stays
// as it was and the holes stay holes.
void TestShredder::overwritesOnlyData()
{
    QFETCH(bool, fullDisk);
    QString folder = m_dir->path();
    if (fullDisk) {
        folder = path("small");
        QVERIFY(QDir().mkpath(folder));
        if (!runs("mount", {"-t", "tmpfs", "-o", "size=1m", "none", folder}))
            QSKIP("mounting needs root");
    }
    const QString file = folder + "/sparse";
    const int fd = ::open(native(file).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const QByteArray head = randomBytes(8192), middle = randomBytes(4096);
    const off_t apart = off_t(5) << 30;
    const bool written = fd >= 0 && ::pwrite(fd, head.data(), head.size(), 0) == head.size()
                         && ::pwrite(fd, middle.data(), middle.size(), apart) == middle.size()
                         && ::ftruncate(fd, off_t(10) << 30) == 0;
    ::close(fd);
    if (fullDisk) {
        QFile filler(folder + "/filler");
        if (filler.open(QIODevice::WriteOnly)) {
            while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
            }
        }
    }
    if (!written && fullDisk)
        runs("umount", {folder});
    QVERIFY(written);

    Shredder shredder;
    QByteArray seenHead, seenMiddle;
    shredder.beforeTruncate = [&](int out) {
        const int in = ::open(QString("/proc/self/fd/%1").arg(out).toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
        seenHead.resize(head.size());
        seenMiddle.resize(middle.size());
        QCOMPARE(::pread(in, seenHead.data(), head.size(), 0), head.size());
        QCOMPARE(::pread(in, seenMiddle.data(), middle.size(), apart), middle.size());
        ::close(in);
    };
    const Outcome outcome = shredder.shred(native(file));
    const bool gone = !exists(file);
    if (fullDisk)
        runs("umount", {folder});
    QCOMPARE(int(outcome.status), int(Status::Shredded));
    QVERIFY(gone);
    QCOMPARE(shredder.bytesDone(), quint64(head.size() + middle.size()));
    QVERIFY(seenHead != head && seenMiddle != middle);
}

void TestShredder::cancelLeavesFileInPlace_data()
{
    QTest::addColumn<int>("stopAfter"); // progress reports before the stop; -1: stopped before starting
    QTest::addColumn<bool>("folder");
    QTest::newRow("before starting") << -1 << false;
    QTest::newRow("after the first chunk") << 2 << false;
    QTest::newRow("inside a folder") << 2 << true;
}

void TestShredder::cancelLeavesFileInPlace()
{
    QFETCH(int, stopAfter);
    QFETCH(bool, folder);
    constexpr int chunk = 4 << 20; // the shredder writes in chunks this big
    const QByteArray original = randomBytes(3 * chunk);
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
    const QString file = path("folder/big");
    writeFile(file, original);
    writeFile(path("folder/small"), "small");

    std::atomic<bool> stop{stopAfter < 0};
    Shredder shredder({1, false}, &stop);
    int reports = 0;
    shredder.onProgress = [&](std::uint64_t, const std::string &) { stop = ++reports >= stopAfter; };
    const Outcome outcome = shredder.shred(native(folder ? path("folder") : file));

    QCOMPARE(int(outcome.status), int(Status::Cancelled));
    const QByteArray now = readFile(file);
    QVERIFY(now.size() >= original.size());
    if (stopAfter < 0 || (folder && now == original)) {
        // Not started, or the folder listed "small" first: it went, "big" was never touched.
        QCOMPARE(now, original);
        QCOMPARE(exists(path("folder/small")), stopAfter < 0);
    } else {
        QVERIFY(now.left(chunk) != original.left(chunk));
        QCOMPARE(now.mid(chunk, original.size() - chunk), original.mid(chunk));
    }
    QVERIFY(exists(path("folder")));
}

void TestShredder::reportsFailures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");
    QTest::newRow("someone else's file") << "foreign file" << int(Status::Failed) << EACCES;
    QTest::newRow("read-only folder") << "locked folder" << int(Status::Failed) << EACCES;
    QTest::newRow("own write-protected file") << "protected file" << int(Status::Shredded) << 0;
    QTest::newRow("vanished") << "missing" << int(Status::Failed) << ENOENT;
    QTest::newRow("read-only file system") << "read-only mount" << int(Status::Failed) << EROFS;
    QTest::newRow("append-only folder") << "append-only folder" << int(Status::Failed) << EPERM;
    QTest::newRow("another's file in a sticky folder") << "sticky folder" << int(Status::Failed) << EPERM;
}

void TestShredder::reportsFailures()
{
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(int, error);
    if (::geteuid() != 0 && setup != "missing" && !setup.startsWith("locked") && !setup.startsWith("protected"))
        QSKIP("needs root");
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
    const QString file = path("folder/file");
    if (setup == "read-only mount")
        QVERIFY(runs("mount", {"-t", "tmpfs", "none", path("folder")}));
    if (setup != "missing")
        writeFile(file, "content");
    if (setup == "read-only mount")
        QVERIFY(runs("mount", {"-o", "remount,ro", path("folder")}));
    if (setup == "foreign file")
        QVERIFY(::chown(native(file).c_str(), 65534, 65534) == 0);
    if (setup == "protected file")
        QVERIFY(::chmod(native(file).c_str(), 0444) == 0);
    if (setup == "locked folder")
        QVERIFY(::chmod(native(path("folder")).c_str(), 0555) == 0);
    if (setup == "sticky folder") {
        QVERIFY(::chmod(native(path("folder")).c_str(), 01777) == 0 && ::chmod(native(file).c_str(), 0666) == 0);
        QVERIFY(::chown(native(file).c_str(), 65534, 65534) == 0 && ::chown(native(path("folder")).c_str(), 65534, 65534) == 0);
    }
    const auto setFolderFlags = [&](int flags) {
        const int folder = ::open(native(path("folder")).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool done = ::ioctl(folder, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(folder);
        return done;
    };
    if (setup == "append-only folder" && !setFolderFlags(FS_APPEND_FL))
        QSKIP("this file system has no append-only folders");

    Outcome outcome;
    {
        WithoutDacOverride asUser;
        outcome = Shredder().shred(native(file));
    }
    ::chmod(native(path("folder")).c_str(), 0755);
    if (setup == "append-only folder")
        setFolderFlags(0);
    const QByteArray left = readFile(file);
    if (setup == "read-only mount")
        runs("umount", {path("folder")});
    QCOMPARE(int(outcome.status), status);
    QCOMPARE(outcome.error, error);
    if (status == int(Status::Failed) && setup != "missing")
        QCOMPARE(left, QByteArray("content")); // nothing overwritten that could not be removed
}

void TestShredder::failsOnWriteBackError_data()
{
    QTest::addColumn<bool>("finish"); // the waiting call fails, else the starting one
    QTest::addColumn<int>("failing"); // which call of its kind, from 0
    // 16 MiB in 4 MiB windows: each pass starts four windows and waits for three.
    QTest::newRow("first window started") << false << 0;
    QTest::newRow("second window waited for") << true << 1;
    QTest::newRow("zero pass, first window waited for") << true << 3;
}

// The device's error comes back once, from whichever write-back call meets it: that call
// fails the file, which stays whole and named, however well the later sync goes.
void TestShredder::failsOnWriteBackError()
{
    QFETCH(bool, finish);
    QFETCH(int, failing);
    constexpr int chunk = 4 << 20;
    const QString file = path("file");
    writeFile(file, randomBytes(4 * chunk));

    Shredder shredder({1, true});
    shredder.writeBack.window = chunk;
    int calls[2] = {0, 0};
    const auto standIn = [&](bool waits) {
        return [&, waits](int fd, std::uint64_t from, std::uint64_t length) {
            if (waits == finish && calls[waits]++ == failing)
                return EIO;
            return waits ? platform::finishWriteBack(fd, from, length) : platform::startWriteBack(fd, from, length);
        };
    };
    shredder.writeBack.start = standIn(false);
    shredder.writeBack.finish = standIn(true);
    const Outcome outcome = shredder.shred(native(file));

    QCOMPARE(int(outcome.status), int(Status::Failed));
    QCOMPARE(outcome.error, EIO);
    QCOMPARE(calls[finish], failing + 1); // nothing more was written after the failure
    QCOMPARE(QFileInfo(file).size(), qint64(4 * chunk));
}

// A file and a folder made in the tree after the user was asked stay where they are, and
// keep their folder; the rest goes.
void TestShredder::leavesWhatCameAfterTheScan()
{
    QVERIFY(QDir(m_dir->path()).mkpath("tree/old"));
    writeFile(path("tree/a"), "a");
    writeFile(path("tree/old/b"), "b");
    const Plan plan = scan(native(path("tree")), [](dev_t) { return DeviceFacts{}; });
    QCOMPARE(plan.error, 0);
    QVERIFY(QDir(m_dir->path()).mkpath("tree/new"));
    writeFile(path("tree/new/c"), "c");
    writeFile(path("tree/old/d"), "d");

    const Outcome outcome = Shredder().shred(plan);
    QCOMPARE(int(outcome.status), int(Status::Failed));
    QCOMPARE(outcome.error, ChangedSinceScan);
    QCOMPARE(outcome.failures, 2u);
    QVERIFY(!exists(path("tree/a")) && !exists(path("tree/old/b")));
    QCOMPARE(readFile(path("tree/new/c")), QByteArray("c"));
    QCOMPARE(readFile(path("tree/old/d")), QByteArray("d"));
}

void TestShredder::lastStepFollowsTheFile_data()
{
    QTest::addColumn<QString>("hook");
    QTest::addColumn<int>("call"); // which call of the hook exchanges, from 1
    QTest::newRow("before the first rename") << "rename" << 1;
    QTest::newRow("between renames") << "rename" << 3;
    QTest::newRow("before the unlink") << "remove" << 1;
}

// Another user exchanges a file of theirs into the name while the shredded file is renamed
// away: their file keeps its name's place untouched, ours is reported changed and gets its
// protection back.
void TestShredder::lastStepFollowsTheFile()
{
    QFETCH(QString, hook);
    QFETCH(int, call);
    QVERIFY(QDir(m_dir->path()).mkpath("att") && QDir(m_dir->path()).mkpath("keepdir"));
    writeFile(path("att/secret"), "listed");
    writeFile(path("keepdir/keep"), "keep");
    QVERIFY(::chmod(native(path("att/secret")).c_str(), 0444) == 0);

    Shredder shredder;
    int calls = 0;
    const auto exchange = [&](const QString &which, int dirFd, const std::string &name) {
        if (which != hook || ++calls != call)
            return;
        QVERIFY(::renameat2(dirFd, name.c_str(), AT_FDCWD, native(path("keepdir/keep")).c_str(), RENAME_EXCHANGE) == 0);
    };
    shredder.beforeRename = [&](int dirFd, const std::string &name) { exchange("rename", dirFd, name); };
    shredder.beforeRemove = [&](int dirFd, const std::string &name) { exchange("remove", dirFd, name); };
    Outcome outcome;
    {
        WithoutDacOverride asUser;
        outcome = shredder.shred(native(path("att/secret")));
    }

    QCOMPARE(calls, call);
    QCOMPARE(int(outcome.status), int(Status::Failed));
    QCOMPARE(outcome.error, ChangedSinceScan);
    const QStringList left = QDir(path("att")).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left.size(), 1);
    QCOMPARE(readFile(path("att/" + left.front())), QByteArray("keep"));
    struct stat info {};
    QVERIFY(::stat(native(path("keepdir/keep")).c_str(), &info) == 0);
    QCOMPARE(info.st_size, off_t(0));
    QCOMPARE(info.st_mode & 07777, 0444u);
}

void TestShredder::warns_data()
{
    QTest::addColumn<QString>("fsType");
    QTest::addColumn<int>("medium");
    QTest::addColumn<QString>("item");
    QTest::addColumn<unsigned>("expected");
    const int rotating = int(Medium::Rotating), flash = int(Medium::Flash), none = int(Medium::NoDevice);
    QTest::newRow("ext4 on a disk") << "ext4" << rotating << "file" << 0u;
    QTest::newRow("ext4 on flash") << "ext4" << flash << "file" << unsigned(FlashStorage);
    QTest::newRow("ext4, medium unknown") << "ext4" << int(Medium::Unknown) << "file" << unsigned(UnknownStorage);
    QTest::newRow("btrfs") << "btrfs" << rotating << "file" << unsigned(CopyOnWrite);
    QTest::newRow("btrfs on flash") << "btrfs" << flash << "folder" << unsigned(CopyOnWrite | FlashStorage);
    QTest::newRow("zfs") << "zfs" << none << "file" << unsigned(CopyOnWrite);
    QTest::newRow("f2fs") << "f2fs" << flash << "file" << unsigned(CopyOnWrite | FlashStorage);
    QTest::newRow("nfs4") << "nfs4" << none << "file" << unsigned(NetworkStorage);
    QTest::newRow("cifs") << "cifs" << none << "folder" << unsigned(NetworkStorage);
    QTest::newRow("sshfs") << "fuse.sshfs" << none << "file" << unsigned(NetworkStorage);
    QTest::newRow("tmpfs") << "tmpfs" << none << "file" << unsigned(InMemory);
    QTest::newRow("overlay") << "overlay" << none << "file" << unsigned(Overlay);
    QTest::newRow("ext4 journalling data") << "ext4 rw,data=journal" << rotating << "file" << unsigned(JournalledData);
    QTest::newRow("ext4 journalling metadata") << "ext4 rw,data=ordered" << rotating << "file" << 0u;
    QTest::newRow("hard link") << "ext4" << rotating << "hard link" << unsigned(OtherHardLinks);
    QTest::newRow("hard link in a folder") << "nfs" << none << "folder with hard link"
                                           << unsigned(OtherHardLinks | NetworkStorage);
    QTest::newRow("symbolic link on btrfs") << "btrfs" << flash << "link" << 0u;
}

void TestShredder::warns()
{
    QFETCH(QString, fsType);
    QFETCH(int, medium);
    QFETCH(QString, item);
    QFETCH(unsigned, expected);
    QVERIFY(QDir(m_dir->path()).mkdir("folder"));
    writeFile(path("folder/file"), "data");
    if (item.contains("hard link"))
        QVERIFY(::link(native(path("folder/file")).c_str(), native(path("other-name")).c_str()) == 0);
    QVERIFY(::symlink("folder/file", native(path("link")).c_str()) == 0);
    const QString target = item == "link" ? path("link") : item.startsWith("folder") ? path("folder") : path("folder/file");

    std::vector<dev_t> asked;
    const Plan plan = scan(native(target), [&](dev_t device) {
        asked.push_back(device);
        return DeviceFacts{fsType.section(' ', 0, 0).toStdString(), Medium(medium), fsType.section(' ', 1).toStdString()};
    });
    QCOMPARE(plan.error, 0);
    QCOMPARE(plan.warnings, expected);
    QCOMPARE(plan.files, item == "link" ? 0u : 1u);
    QCOMPARE(plan.size, item == "link" ? 0u : 4u);
    struct stat info {};
    QVERIFY(::stat(native(m_dir->path()).c_str(), &info) == 0);
    QCOMPARE(asked, item == "link" ? std::vector<dev_t>{} : std::vector<dev_t>{info.st_dev});
}

void TestShredder::describesRealDevice()
{
    struct stat info {};
    QVERIFY(::stat(native(m_dir->path()).c_str(), &info) == 0);
    const DeviceFacts facts = describeDevice(info.st_dev);
    QProcess findmnt;
    findmnt.start("findmnt", {"-n", "-o", "FSTYPE", "-T", m_dir->path()});
    QVERIFY(findmnt.waitForFinished());
    QCOMPARE(QString::fromStdString(facts.fsType), QString::fromUtf8(findmnt.readAllStandardOutput()).trimmed());
}

// What the kernel shows as files (settings, triggers) is never overwritten: not a file of
// it, not a folder of them, not the mount point of the whole interface.
void TestShredder::refusesKernelInterfaces_data()
{
    QTest::addColumn<QString>("item");
    QTest::newRow("a setting") << "/proc/sys/kernel/hostname";
    QTest::newRow("a trigger") << "/proc/sysrq-trigger";
    QTest::newRow("a folder of settings") << "/proc/sys/kernel";
    QTest::newRow("the whole interface") << "/proc";
    QTest::newRow("devices' settings") << "/sys/kernel";
}

void TestShredder::refusesKernelInterfaces()
{
    QFETCH(QString, item);
    if (!QFileInfo::exists(item))
        QSKIP("not on this system");
    const Plan plan = scan(native(item));
    QCOMPARE(plan.error, KernelInterface);
    QCOMPARE(plan.files, 0u);
}

QTEST_GUILESS_MAIN(TestShredder)
#include "test_shredder.moc"
