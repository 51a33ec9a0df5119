#include "shredder/wipe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <linux/capability.h>
#include <signal.h>
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
    void statesTheReserve();

private:
    void mountImage(const QString &type, const QStringList &options = {});
    QString m_mount, m_image, m_loop;
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
    runs("umount", {m_mount});
    if (!m_loop.isEmpty())
        runs("losetup", {"-d", m_loop});
    m_loop.clear();
}

void TestWipe::mountImage(const QString &type, const QStringList &options)
{
    if (::geteuid() != 0 || !runs("truncate", {"-s", "48M", m_image}))
        QSKIP("a loop mount needs root");
    if (type == "exfat") {
        // Through FUSE, which has no unnamed files: the named fill is what runs there.
        if (!runs("mkfs.exfat", {m_image}) || !runs("losetup", {"-f", "--show", m_image}, &m_loop)
            || !runs("mount.exfat-fuse", {m_loop, m_mount}))
            QSKIP("no exFAT through FUSE here");
        return;
    }
    if (!runs("mkfs.ext4", QStringList{"-q", "-F"} + options + QStringList{m_image})
        || !runs("mount", {"-o", "loop", m_image, m_mount}))
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

// Blocks kept for root can't be filled by anyone else; the confirmation must say how much.
void TestWipe::statesTheReserve()
{
    mountImage("ext4", {"-m", "10"});
    const std::string folder = QFile::encodeName(m_mount).toStdString();
    WithoutCapability asUser(CAP_SYS_RESOURCE);
    const FreeSpace space = examineFreeSpace(folder);
    QVERIFY(space.reserved() > space.total / 20 && space.reserved() < space.total / 5);
    QCOMPARE(space.available + space.reserved(), space.free);
}

QTEST_GUILESS_MAIN(TestWipe)
#include "test_wipe.moc"
