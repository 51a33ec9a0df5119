#include "platform/mount_info.h"
#include "platform/storage_calls.h"
#include "shredder/wipe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace shredder;

namespace {

bool runs(const QString &program, const QStringList &arguments, QString *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    const bool done = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
                      && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return done;
}

std::uint64_t freeBytes(const QString &folder)
{
    struct statvfs counts {};
    ::statvfs(QFile::encodeName(folder).constData(), &counts);
    return std::uint64_t(counts.f_bfree) * counts.f_frsize;
}

// Leaves the process's effective capabilities without one for a scope.
class WithoutCapability
{
public:
    explicit WithoutCapability(int capability)
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[capability / 32].effective &= ~(1u << (capability % 32));
        m_active = ::syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutCapability()
    {
        if (m_active)
            ::syscall(SYS_capset, &m_header, m_saved);
    }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

} // namespace

// Each case runs on a small file system image of its own, loop-mounted; that needs root.
class TestWipe : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void leavesNoTraceOfDeletedFiles_data();
    void leavesNoTraceOfDeletedFiles();
    void givesSpaceBackWhenKilled_data();
    void givesSpaceBackWhenKilled();
    void statesTheReserve_data();
    void statesTheReserve();
    void findsFileSystemByMountId_data();
    void findsFileSystemByMountId();
    void removesOnlyRecordedLeftovers_data();
    void removesOnlyRecordedLeftovers();
    void failsOnWriteBackError();
    void refusesReadOnlyMount();

private:
    void mountImage(const QString &type, const QStringList &options = {}, const QString &mountOptions = {});
    void killFill(const std::string &ledger, bool named = true);
    QString m_mount, m_image, m_loop, m_bound;
    std::optional<QTemporaryDir> m_dir;
};

void TestWipe::init()
{
    QVERIFY(m_dir.emplace().isValid());
    m_image = m_dir->filePath("disk.img");
    m_mount = m_dir->filePath("mnt");
    QVERIFY(QDir().mkpath(m_mount));
}

void TestWipe::cleanup()
{
    if (!m_bound.isEmpty())
        runs("umount", {m_bound});
    m_bound.clear();
    runs("umount", {m_mount});
    if (!m_loop.isEmpty())
        runs("losetup", {"-d", m_loop});
    m_loop.clear();
}

void TestWipe::mountImage(const QString &type, const QStringList &options, const QString &mountOptions)
{
    if (::geteuid() != 0 || !runs("truncate", {"-s", type == "btrfs" ? "160M" : "48M", m_image}))
        QSKIP("a loop mount needs root");
    if (type == "btrfs") {
        if (!runs("mkfs.btrfs", {"-q", m_image}) || !runs("mount", {"-o", "loop", m_image, m_mount}))
            QSKIP("no btrfs through a loop device here");
        return;
    }
    if (type == "exfat") {
        // Through FUSE, which has no unnamed files: the named fill is what runs there.
        if (!runs("mkfs.exfat", {m_image}) || !runs("losetup", {"-f", "--show", m_image}, &m_loop)
            || !runs("mount.exfat-fuse", {m_loop, m_mount}))
            QSKIP("no exFAT through FUSE here");
        return;
    }
    if (!runs("mkfs.ext4", QStringList{"-q", "-F"} + options + QStringList{m_image})
        || !runs("mount", {"-o", "loop" + (mountOptions.isEmpty() ? QString() : ',' + mountOptions), m_image, m_mount}))
        QSKIP("loop devices are not available");
}

void TestWipe::leavesNoTraceOfDeletedFiles_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("named");
    QTest::addColumn<int>("passes");
    QTest::addColumn<bool>("zeroPass");
    QTest::newRow("ext4, unnamed fill") << "ext4" << false << 1 << false;
    QTest::newRow("ext4, named fill, three passes and zeros") << "ext4" << true << 3 << true;
    QTest::newRow("exFAT") << "exfat" << false << 1 << false;
}

// A file removed the ordinary way is found nowhere on the disk once the free space is wiped,
// and the wipe leaves the file system as it found it.
void TestWipe::leavesNoTraceOfDeletedFiles()
{
    QFETCH(QString, type);
    QFETCH(bool, named);
    QFETCH(int, passes);
    QFETCH(bool, zeroPass);
    mountImage(type);
    const QByteArray marker = QByteArray("DELETED-BUT-NOT-GONE-").repeated(20000);
    QFile secret(m_mount + "/secret");
    QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write(marker) == marker.size() && secret.flush());
    ::fsync(secret.handle());
    secret.close();
    QVERIFY(QFile::remove(m_mount + "/secret"));
    ::sync();
    const QStringList before = QDir(m_mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const std::uint64_t freeBefore = freeBytes(m_mount);

    const FreeSpace space = examineFreeSpace(QFile::encodeName(m_mount).toStdString());
    QCOMPARE(space.error, 0);
    QCOMPARE(space.unnamed, type == "ext4");
    QCOMPARE(QString::fromStdString(space.mountPoint), QFileInfo(m_mount).canonicalFilePath());
    Wiper wiper({passes, zeroPass});
    wiper.namedOnly = named;
    std::uint64_t fullAt = 0;
    wiper.whenFull = [&] { fullAt = freeBytes(m_mount); };
    const WipeOutcome outcome = wiper.wipe(space);

    QCOMPARE(int(outcome.status), int(Status::Shredded));
    QVERIFY2(fullAt < 1 << 20, qPrintable(QString::number(fullAt)));
    QVERIFY(outcome.filled >= space.available - (2 << 20));
    QCOMPARE(outcome.written, outcome.filled * (passes + zeroPass));
    QCOMPARE(QDir(m_mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QVERIFY(freeBytes(m_mount) >= freeBefore - (64 << 10));
    cleanup();
    QFile image(m_image);
    QVERIFY(image.open(QIODevice::ReadOnly));
    QVERIFY(!image.readAll().contains("DELETED-BUT-NOT-GONE-DELETED"));
}

// Where the fill goes through the page cache, a write-back the device fails ends the wipe as
// a failure, though the later sync finds no error left to report.
void TestWipe::failsOnWriteBackError()
{
    mountImage("ext4");
    const QStringList before = QDir(m_mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const FreeSpace space = examineFreeSpace(QFile::encodeName(m_mount).toStdString());
    QCOMPARE(space.error, 0);
    Wiper wiper;
    wiper.throughCache = true;
    wiper.writeBack.window = 1 << 20;
    int waits = 0;
    wiper.writeBack.finish = [&](int fd, std::uint64_t from, std::uint64_t length) {
        return ++waits == 3 ? EIO : platform::finishWriteBack(fd, from, length);
    };
    const WipeOutcome outcome = wiper.wipe(space);
    QCOMPARE(waits, 3);
    QCOMPARE(int(outcome.status), int(Status::Failed));
    QCOMPARE(outcome.error, EIO);
    QCOMPARE(QDir(m_mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

void TestWipe::givesSpaceBackWhenKilled_data()
{
    QTest::addColumn<bool>("named");
    QTest::newRow("unnamed fill") << false;
    QTest::newRow("named fill, found by the next start") << true;
}

// A wipe killed while the disk is full: unnamed files go with the process; a named fill is
// found through the ledger and removed, and the folder it was in is as it was.
void TestWipe::givesSpaceBackWhenKilled()
{
    QFETCH(bool, named);
    mountImage("ext4");
    const std::uint64_t freeBefore = freeBytes(m_mount);
    const std::string ledger = QFile::encodeName(m_dir->filePath("state/wipe")).toStdString();
    killFill(ledger, named);

    if (named) {
        QVERIFY(freeBytes(m_mount) < 1 << 20);
        const std::vector<std::string> removed = removeWipeLeftovers(ledger);
        QCOMPARE(removed.size(), 1u);
        QVERIFY(QString::fromStdString(removed.front()).contains("/.brisquel-wipe-"));
        QCOMPARE(removeWipeLeftovers(ledger).size(), 0u); // the record went with it
    }
    QDeadlineTimer deadline(2000);
    while (freeBytes(m_mount) < freeBefore - (64 << 10) && !deadline.hasExpired())
        QTest::qWait(50);
    QVERIFY(freeBytes(m_mount) >= freeBefore - (64 << 10));
    QCOMPARE(QDir(m_mount).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"lost+found"});
}

void TestWipe::statesTheReserve_data()
{
    QTest::addColumn<QString>("keptFor");
    QTest::newRow("kept for another user") << "resuid=65534,resgid=65534";
    QTest::newRow("kept for root, who runs it") << "";
}

// Blocks kept for root can't be filled by anyone else; the confirmation must say how much.
// Whom they are kept for (root by default) fills them even without CAP_SYS_RESOURCE.
void TestWipe::statesTheReserve()
{
    QFETCH(QString, keptFor);
    mountImage("ext4", {"-m", "10"}, keptFor);
    const std::string folder = QFile::encodeName(m_mount).toStdString();
    WithoutCapability asUser(CAP_SYS_RESOURCE);
    const FreeSpace space = examineFreeSpace(folder);
    QVERIFY(space.reserve > space.total / 20 && space.reserve < space.total / 5);
    QCOMPARE(space.fillsReserve, keptFor.isEmpty());
    QCOMPARE(space.available + space.reserved(), space.free);
    QCOMPARE(space.reserved(), keptFor.isEmpty() ? 0 : space.reserve);
    if (!keptFor.isEmpty())
        return;
    const WipeOutcome outcome = Wiper().wipe(space);
    QCOMPARE(int(outcome.status), int(Status::Shredded));
    QVERIFY2(!outcome.stoppedEarly(), qPrintable(QString::number(outcome.filled)));
}

void TestWipe::findsFileSystemByMountId_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("bound");
    QTest::newRow("btrfs, whose device numbers the mount table doesn't list") << "btrfs" << false;
    QTest::newRow("a bind mount of an ext4 folder") << "ext4" << true;
}

// Every way of asking for a mount id names the same line of the table, and the wipe and the
// shredder know the file system by it.
void TestWipe::findsFileSystemByMountId()
{
    QFETCH(QString, type);
    QFETCH(bool, bound);
    mountImage(type);
    QString where = QFileInfo(m_mount).canonicalFilePath();
    if (bound) {
        const QString inner = m_mount + "/inner", bind = m_dir->filePath("bound");
        if (!QDir().mkpath(inner) || !QDir().mkpath(bind) || !runs("mount", {"--bind", inner, bind}))
            QSKIP("no bind mounts here");
        m_bound = bind;
        where = QFileInfo(bind).canonicalFilePath();
    }
    const QByteArray path = QFile::encodeName(where);
    const int fd = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const std::uint64_t id = platform::mountIdOf(fd, platform::MountIdSource::Status);
    QCOMPARE(platform::mountIdOf(fd, platform::MountIdSource::FileHandle), id);
    QCOMPARE(platform::mountIdOf(fd, platform::MountIdSource::FdInfo), id);
    ::close(fd);
    const std::vector<platform::MountEntry> table = platform::readMountInfo();
    const platform::MountEntry *entry = platform::findMountById(table, id);
    QVERIFY(entry);
    QCOMPARE(QByteArray::fromStdString(entry->mountPoint), path);

    const FreeSpace space = examineFreeSpace(path.toStdString());
    QCOMPARE(space.mountId, id);
    QCOMPARE(QString::fromStdString(space.fsType), type);
    QCOMPARE(bool(space.warnings & CopyOnWrite), type == "btrfs");
    QFile file(where + "/file");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("content") == 7);
    file.close();
    const Plan plan = scan((path + "/file").toStdString());
    QCOMPARE(QString::fromStdString(plan.fsType), type);
    QCOMPARE(bool(plan.warnings & CopyOnWrite), type == "btrfs");
    const std::vector<WipeableFileSystem> listed = wipeableFileSystems({});
    QVERIFY(std::any_of(listed.begin(), listed.end(), [&](const WipeableFileSystem &fs) {
        return QString::fromStdString(fs.mountPoint) == QFileInfo(m_mount).canonicalFilePath()
               && QString::fromStdString(fs.fsType) == type;
    }));
    // A subvolume has a device number of its own, yet is no mount: walked into, not kept.
    if (type != "btrfs" || !runs("btrfs", {"subvolume", "create", where + "/sub/"}))
        return;
    QVERIFY(QFile::copy(where + "/file", where + "/sub/file"));
    const Plan outer = scan(path.toStdString());
    QCOMPARE(outer.mountPoints, 0u);
    QCOMPARE(outer.files, 2u);
    const Plan sub = scan((path + "/sub").toStdString());
    QVERIFY(!sub.keepFolder);
    QCOMPARE(examineFreeSpace((path + "/sub").toStdString()).mountPoint, path.toStdString());
}

// Kills a fill once it holds the disk full; a named one leaves its folder and record.
void TestWipe::killFill(const std::string &ledger, bool named)
{
    const FreeSpace space = examineFreeSpace(QFile::encodeName(m_mount).toStdString());
    const pid_t child = ::fork();
    if (child == 0) {
        Wiper wiper;
        wiper.namedOnly = named;
        wiper.ledger = ledger;
        wiper.whenFull = [] { ::raise(SIGKILL); };
        wiper.wipe(space);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

void TestWipe::removesOnlyRecordedLeftovers_data()
{
    QTest::addColumn<QString>("attack");
    QTest::newRow("a FIFO among the records") << "fifo";
    QTest::newRow("a user's folder named like a fill folder") << "lookalike";
    QTest::newRow("a record folder that is a link") << "linked";
}

// The records are outside input: a clean-up neither blocks on them nor follows them anywhere
// but to the very folder a killed wipe made.
void TestWipe::removesOnlyRecordedLeftovers()
{
    QFETCH(QString, attack);
    mountImage("ext4");
    const QString state = m_dir->filePath("state");
    const std::string ledger = QFile::encodeName(state + "/wipe").toStdString();
    const auto fillFolders = [&] {
        return QDir(m_mount).entryList({".brisquel-wipe-*"}, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    const QString lookalike = m_mount + "/.brisquel-wipe-photos";
    if (attack == "lookalike") { // made while the disk has room
        QFile photo(lookalike + "/1");
        QVERIFY(QDir().mkpath(lookalike) && photo.open(QIODevice::WriteOnly) && photo.write("photo") == 5 && photo.flush());
    }
    killFill(ledger);
    QCOMPARE(fillFolders().size(), attack == "lookalike" ? 2 : 1);
    if (attack == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(state + "/wipe/0").constData(), 0600), 0);
    } else if (attack == "lookalike") {
        // A record naming it, but not as the folder a wipe made.
        struct stat seen {};
        QCOMPARE(::stat(QFile::encodeName(lookalike).constData(), &seen), 0);
        QFile forged(state + "/wipe/1");
        QVERIFY(forged.open(QIODevice::WriteOnly));
        forged.write(QByteArray::number(quint64(seen.st_dev)) + ' ' + QByteArray::number(quint64(seen.st_ino + 1)) + '\n'
                     + QFile::encodeName(lookalike));
    } else if (attack == "linked") {
        QVERIFY(QDir(state).rename("wipe", "elsewhere"));
        QVERIFY(QFile::link("elsewhere", state + "/wipe"));
        QVERIFY(removeWipeLeftovers(ledger).empty());
        QCOMPARE(fillFolders().size(), 1);
        QCOMPARE(QDir(state + "/elsewhere").entryList(QDir::Files).size(), 1);
        QVERIFY(QFile::remove(state + "/wipe") && QDir(state).rename("elsewhere", "wipe"));
    }
    QCOMPARE(removeWipeLeftovers(ledger).size(), 1u);
    QCOMPARE(fillFolders(), attack == "lookalike" ? QStringList{".brisquel-wipe-photos"} : QStringList());
    QCOMPARE(QFile::exists(lookalike + "/1"), attack == "lookalike");
}

// A file system mounted read-only is refused while it is examined, so no one is asked first.
void TestWipe::refusesReadOnlyMount()
{
    mountImage("ext4", {}, "ro");
    QCOMPARE(examineFreeSpace(QFile::encodeName(m_mount).toStdString()).error, EROFS);
    // Nor is a kernel interface ever filled: a folder made there may be a new cgroup.
    for (const char *interface : {"/proc", "/sys/fs/cgroup/cpu", "/dev/pts"}) {
        if (QFileInfo::exists(interface))
            QCOMPARE(examineFreeSpace(interface).error, KernelInterface);
    }
}

QTEST_GUILESS_MAIN(TestWipe)
#include "test_wipe.moc"
