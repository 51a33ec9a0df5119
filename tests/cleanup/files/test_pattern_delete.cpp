#include "cleanup/files/pattern_delete.h"
#include "fake_prefix.h"
#include "without_dac_override.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using cleanup::files::DeleteOutcome;
using cleanup::files::deleteByPattern;

namespace {

// Every file and folder below `root`, as sorted relative paths; links are listed, never
// followed.
QStringList tree(const QString &root)
{
    QStringList names;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext())
        names.append(base.relativeFilePath(it.next()));
    names.sort();
    return names;
}

QStringList removedNames(QStringList before, const QStringList &after)
{
    before.removeIf([&](const QString &name) { return after.contains(name); });
    return before;
}

// Clears a file's immutable flag however the test ends, so the folder can be cleaned up.
class ImmutableFlag
{
public:
    explicit ImmutableFlag(const QString &path) : m_path(path)
    {
        m_set = change(true);
    }
    ~ImmutableFlag()
    {
        if (m_set)
            change(false);
    }
    bool isSet() const { return m_set; }

private:
    bool change(bool on) const
    {
        const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString m_path;
    bool m_set = false;
};

// Root may remove files from any folder; a folder's permissions only bite an ordinary
// user, so the deletion runs without root's right to override them.
std::optional<DeleteOutcome> deleteAsOrdinaryUser(const QString &entry)
{
    WithoutDacOverride asUser;
    return deleteByPattern(entry);
}

} // namespace

class TestPatternDelete : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wildcards_data();
    void wildcards();
    void entriesNamingNoFile_data();
    void entriesNamingNoFile();
    void subfoldersLeftAlone();
    void symlinkToFileRemovedNotFollowed();
    void symlinkToFolderRemovedNotFollowed();
    void specialFilesRemoved();
    void readOnlyFileRemoved();
    void readOnlyFolderFails();
    void everyMatchTriedAfterAFailure();
    void windowsPaths_data();
    void windowsPaths();
    void windowsNamePrefersExactCase();
    void literalEntries_data();
    void literalEntries();
    void relativeToWorkingFolder();
    void manyMatches();
    void hugeEntries();
    void deleterReportsOutcome();

private:
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    void touch(const QString &relative);
    void makeFolder(const QString &relative);
    QString makePrefix();

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPatternDelete::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPatternDelete::cleanup()
{
    m_dir.reset();
}

void TestPatternDelete::touch(const QString &relative)
{
    QFile file(path(relative));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
    file.write("junk");
}

void TestPatternDelete::makeFolder(const QString &relative)
{
    QVERIFY(QDir(m_dir->path()).mkpath(relative));
}

// A prefix laid out as Wine lays it out: dosdevices/c: links to ../drive_c.
QString TestPatternDelete::makePrefix()
{
    return makeFakePrefix(path(QStringLiteral("prefix")), {QStringLiteral("Windows/Temp")})
        ? path(QStringLiteral("prefix"))
        : QString();
}

void TestPatternDelete::wildcards_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<bool>("ok");

    QTest::newRow("star") << QStringList{"a.tmp", "b.tmp", "c.log", "d.tmp.bak"} << "*.tmp"
                          << QStringList{"a.tmp", "b.tmp"} << true;
    QTest::newRow("question") << QStringList{"a.tmp", "ab.tmp", "文.tmp"} << "?.tmp"
                              << QStringList{"a.tmp", "文.tmp"} << true;
    QTest::newRow("both") << QStringList{"log1.txt", "log22.txt", "log3.dat"} << "log?.*"
                          << QStringList{"log1.txt", "log3.dat"} << true;
    QTest::newRow("star alone") << QStringList{"x", "y.z"} << "*" << QStringList{"x", "y.z"}
                                << true;
    QTest::newRow("exact name") << QStringList{"a.tmp", "b.tmp"} << "a.tmp"
                                << QStringList{"a.tmp"} << true;
    QTest::newRow("case matters") << QStringList{"a.tmp"} << "*.TMP" << QStringList{} << false;
    QTest::newRow("no match") << QStringList{"a.tmp"} << "*.xyz" << QStringList{} << false;
    QTest::newRow("missing name") << QStringList{"a.tmp"} << "b.tmp" << QStringList{} << false;
    QTest::newRow("star skips dotfiles") << QStringList{".hidden", ".cfg.tmp", "shown"} << "*"
                                         << QStringList{"shown"} << true;
    QTest::newRow("dot star takes dotfiles") << QStringList{".hidden", "shown"} << ".*"
                                             << QStringList{".hidden"} << true;
    QTest::newRow("only dotfiles match") << QStringList{".a.tmp"} << "*.tmp" << QStringList{}
                                         << false;
    QTest::newRow("brackets literal") << QStringList{"a.tmp", "[ab].tmp"} << "[ab].tmp"
                                      << QStringList{"[ab].tmp"} << true;
}

void TestPatternDelete::wildcards()
{
    QFETCH(QStringList, files);
    QFETCH(QString, pattern);
    QFETCH(QStringList, removed);
    QFETCH(bool, ok);

    for (const QString &file : files)
        touch(file);
    const QStringList before = tree(m_dir->path());

    const DeleteOutcome outcome = deleteByPattern(path(pattern));

    removed.sort();
    QCOMPARE(removedNames(before, tree(m_dir->path())), removed);
    QCOMPARE(outcome.ok(), ok);
    QCOMPARE(outcome.matched, removed.size());
    QCOMPARE(outcome.removed, removed.size());
    QCOMPARE(outcome.failed, 0);
}

void TestPatternDelete::entriesNamingNoFile_data()
{
    QTest::addColumn<QString>("entry"); // "@" stands for the test folder

    QTest::newRow("empty") << QString();
    QTest::newRow("folder") << "@/sub";
    QTest::newRow("folder with separator") << "@/sub/";
    QTest::newRow("dot") << "@/.";
    QTest::newRow("dot dot") << "@/sub/..";
    QTest::newRow("only folders match") << "@/s*";
    QTest::newRow("missing folder") << "@/nosuch/*.tmp";
    QTest::newRow("wildcard in folder part") << "@/s*/a.tmp";
    QTest::newRow("file as folder") << "@/a.tmp/*";
    QTest::newRow("NUL cuts nothing short") << QStringLiteral("@/a.tmp") + QChar(0) + QStringLiteral("x");
    QTest::newRow("NUL in folder part") << QStringLiteral("@/sub") + QChar(0) + QStringLiteral("/../a.tmp");
}

void TestPatternDelete::entriesNamingNoFile()
{
    QFETCH(QString, entry);
    touch(QStringLiteral("a.tmp"));
    makeFolder(QStringLiteral("sub"));
    touch(QStringLiteral("sub/a.tmp"));
    const QStringList before = tree(m_dir->path());

    const DeleteOutcome outcome = deleteByPattern(entry.replace(u'@', m_dir->path()));

    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.removed, 0);
    QCOMPARE(tree(m_dir->path()), before);
}

void TestPatternDelete::subfoldersLeftAlone()
{
    touch(QStringLiteral("a.tmp"));
    makeFolder(QStringLiteral("x.tmp"));
    touch(QStringLiteral("x.tmp/inner.tmp"));
    makeFolder(QStringLiteral("sub"));
    touch(QStringLiteral("sub/b.tmp"));

    DeleteOutcome outcome = deleteByPattern(path(QStringLiteral("*.tmp")));
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 1);
    QCOMPARE(tree(m_dir->path()),
             (QStringList{"sub", "sub/b.tmp", "x.tmp", "x.tmp/inner.tmp"}));

    outcome = deleteByPattern(path(QStringLiteral("*")));
    QVERIFY(!outcome.ok());
    QCOMPARE(tree(m_dir->path()),
             (QStringList{"sub", "sub/b.tmp", "x.tmp", "x.tmp/inner.tmp"}));
}

void TestPatternDelete::symlinkToFileRemovedNotFollowed()
{
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    QFile target(outside.filePath(QStringLiteral("target.tmp")));
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write("keep me");
    target.close();

    QVERIFY(QFile::link(target.fileName(), path(QStringLiteral("link.tmp"))));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("gone")), path(QStringLiteral("dangling.tmp"))));

    const DeleteOutcome outcome = deleteByPattern(path(QStringLiteral("*.tmp")));

    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 2);
    QCOMPARE(tree(m_dir->path()), QStringList{});
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), QByteArray("keep me"));
}

void TestPatternDelete::symlinkToFolderRemovedNotFollowed()
{
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    QVERIFY(QDir(outside.path()).mkdir(QStringLiteral("folder.tmp")));
    QFile inner(outside.filePath(QStringLiteral("folder.tmp/keep.tmp")));
    QVERIFY(inner.open(QIODevice::WriteOnly));
    inner.close();

    const QString folder = outside.filePath(QStringLiteral("folder.tmp"));
    QVERIFY(QFile::link(folder, path(QStringLiteral("wild.tmp"))));
    QVERIFY(QFile::link(folder, path(QStringLiteral("named"))));

    // Through a wildcard and by its own name alike, the link goes and the folder stays.
    QVERIFY(deleteByPattern(path(QStringLiteral("*.tmp"))).ok());
    QVERIFY(deleteByPattern(path(QStringLiteral("named"))).ok());
    QCOMPARE(tree(m_dir->path()), QStringList{});
    QCOMPARE(tree(outside.path()), (QStringList{"folder.tmp", "folder.tmp/keep.tmp"}));
}

void TestPatternDelete::specialFilesRemoved()
{
    QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.tmp"))).constData(), 0600), 0);

    const QByteArray socketPath = QFile::encodeName(path(QStringLiteral("socket.tmp")));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    QVERIFY(std::size_t(socketPath.size()) < sizeof address.sun_path);
    qstrcpy(address.sun_path, socketPath.constData());
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QVERIFY(sock >= 0);
    const bool bound = ::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(sock);
    QVERIFY(bound);

    const DeleteOutcome outcome = deleteByPattern(path(QStringLiteral("*.tmp")));
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 2);
    QCOMPARE(tree(m_dir->path()), QStringList{});
}

void TestPatternDelete::readOnlyFileRemoved()
{
    touch(QStringLiteral("locked.tmp"));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("locked.tmp")), QFile::ReadOwner));
    // The folder lets everyone remove files from it; the file lets nobody write.
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner | QFile::ReadOther
                                                     | QFile::WriteOther | QFile::ExeOther));

    const std::optional<DeleteOutcome> outcome =
        deleteAsOrdinaryUser(path(QStringLiteral("*.tmp")));
    if (!outcome)
        QSKIP("can't give up root privileges here");
    QVERIFY(outcome->ok());
    QCOMPARE(tree(m_dir->path()), QStringList{});
}

void TestPatternDelete::readOnlyFolderFails()
{
    makeFolder(QStringLiteral("ro"));
    for (const char *name : {"ro/a.tmp", "ro/b.tmp", "ro/c.tmp"})
        touch(QString::fromLatin1(name));
    QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner
                                                     | QFile::ExeOwner | QFile::ReadOther
                                                     | QFile::ExeOther));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("ro")), QFile::ReadOwner | QFile::ExeOwner
                                                                  | QFile::ReadOther
                                                                  | QFile::ExeOther));
    const QStringList before = tree(m_dir->path());

    const std::optional<DeleteOutcome> outcome = deleteAsOrdinaryUser(path(QStringLiteral("ro/*.tmp")));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("ro")), QFile::ReadOwner | QFile::WriteOwner
                                                                  | QFile::ExeOwner));
    if (!outcome)
        QSKIP("can't give up root privileges here");

    QVERIFY(!outcome->ok());
    QCOMPARE(outcome->matched, 3); // every match was tried
    QCOMPARE(outcome->failed, 3);
    QCOMPARE(outcome->removed, 0);
    QCOMPARE(outcome->error, EACCES);
    QCOMPARE(tree(m_dir->path()), before);
}

void TestPatternDelete::everyMatchTriedAfterAFailure()
{
    for (const char *name : {"a.tmp", "b.tmp", "c.tmp"})
        touch(QString::fromLatin1(name));
    const ImmutableFlag stuck(path(QStringLiteral("b.tmp")));
    if (!stuck.isSet())
        QSKIP("the immutable flag needs CAP_LINUX_IMMUTABLE and a file system that has it");

    const DeleteOutcome outcome = deleteByPattern(path(QStringLiteral("*.tmp")));

    QVERIFY(!outcome.ok());
    QCOMPARE(outcome.matched, 3);
    QCOMPARE(outcome.removed, 2);
    QCOMPARE(outcome.failed, 1);
    QCOMPARE(outcome.error, EPERM);
    QCOMPARE(tree(m_dir->path()), QStringList{"b.tmp"});
}

void TestPatternDelete::windowsPaths_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<bool>("ok");

    const QStringList allFiles{".hidden", "Junk.TMP", "README", "keep.log", "other.Tmp"};
    QTest::newRow("star without case") << "C:\\WINDOWS\\TEMP\\*.tmp"
                                       << QStringList{"Junk.TMP", "other.Tmp"} << true;
    QTest::newRow("star dot star takes every file") << "c:/windows/temp/*.*" << allFiles << true;
    QTest::newRow("star takes dotfiles") << "C:\\Windows\\Temp\\*" << allFiles << true;
    QTest::newRow("one name without case") << "C:\\windows\\temp\\junk.tmp"
                                           << QStringList{"Junk.TMP"} << true;
    QTest::newRow("question without case") << "C:\\windows\\temp\\JUNK.?MP"
                                           << QStringList{"Junk.TMP"} << true;
    QTest::newRow("name dot star without dot") << "C:\\windows\\temp\\readme.*"
                                               << QStringList{"README"} << true;
    QTest::newRow("doubled separators") << "C:\\\\windows\\\\temp\\\\*.LOG"
                                        << QStringList{"keep.log"} << true;
    QTest::newRow("drive-relative name") << "C:Windows\\Temp\\keep.log"
                                         << QStringList{"keep.log"} << true;
    QTest::newRow("no such file") << "C:\\windows\\temp\\nosuch.tmp" << QStringList{} << false;
    QTest::newRow("no such folder") << "C:\\nosuch\\*.tmp" << QStringList{} << false;
    QTest::newRow("unmapped drive") << "D:\\windows\\temp\\*.tmp" << QStringList{} << false;
    QTest::newRow("folder") << "C:\\windows\\temp\\sub.tmp" << QStringList{} << false;
    QTest::newRow("folder without case") << "C:\\windows\\temp" << QStringList{} << false;
    QTest::newRow("separator last") << "C:\\windows\\temp\\" << QStringList{} << false;
    QTest::newRow("bare drive") << "C:" << QStringList{} << false;
    QTest::newRow("drive root") << "C:\\" << QStringList{} << false;
    QTest::newRow("dot dot last") << "C:\\windows\\.." << QStringList{} << false;
    QTest::newRow("above the root") << "C:\\..\\.." << QStringList{} << false;
    QTest::newRow("out to the drive links") << "C:\\..\\dosdevices\\c:" << QStringList{}
                                            << false;
}

void TestPatternDelete::windowsPaths()
{
    QFETCH(QString, entry);
    QFETCH(QStringList, removed);
    QFETCH(bool, ok);

    const QString prefix = makePrefix();
    QVERIFY(!prefix.isEmpty());
    const QString temp = prefix + QStringLiteral("/drive_c/Windows/Temp/");
    for (const char *name : {"Junk.TMP", "other.Tmp", "README", ".hidden", "keep.log"})
        touch(QStringLiteral("prefix/drive_c/Windows/Temp/") + QString::fromLatin1(name));
    makeFolder(QStringLiteral("prefix/drive_c/Windows/Temp/Sub.tmp"));
    touch(QStringLiteral("prefix/drive_c/Windows/Temp/Sub.tmp/inner.tmp"));
    const QStringList before = tree(m_dir->path());

    const DeleteOutcome outcome = deleteByPattern(entry, prefix);

    QStringList expected;
    for (const QString &name : removed)
        expected.append(QStringLiteral("prefix/drive_c/Windows/Temp/") + name);
    expected.sort();
    QCOMPARE(removedNames(before, tree(m_dir->path())), expected);
    QCOMPARE(outcome.ok(), ok);
    QCOMPARE(outcome.removed, removed.size());
    QVERIFY(QFileInfo(prefix + QStringLiteral("/dosdevices/c:")).isSymLink());
}

void TestPatternDelete::windowsNamePrefersExactCase()
{
    const QString prefix = makePrefix();
    QVERIFY(!prefix.isEmpty());
    touch(QStringLiteral("prefix/drive_c/A.txt"));
    touch(QStringLiteral("prefix/drive_c/a.txt"));

    // One name deletes one file: the exact one when it is there...
    DeleteOutcome outcome = deleteByPattern(QStringLiteral("C:\\a.txt"), prefix);
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 1);
    QCOMPARE(tree(path(QStringLiteral("prefix/drive_c"))), (QStringList{"A.txt", "Windows", "Windows/Temp"}));

    // ...else the first in a fixed order of those that match without case.
    touch(QStringLiteral("prefix/drive_c/a.txt"));
    outcome = deleteByPattern(QStringLiteral("C:\\A.TXT"), prefix);
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 1);
    QCOMPARE(tree(path(QStringLiteral("prefix/drive_c"))), (QStringList{"Windows", "Windows/Temp", "a.txt"}));

    // A wildcard takes them all.
    touch(QStringLiteral("prefix/drive_c/A.txt"));
    outcome = deleteByPattern(QStringLiteral("C:\\*.TXT"), prefix);
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 2);
}

void TestPatternDelete::literalEntries_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("quotes") << "\"quoted\" 'single'.tmp";
    QTest::newRow("blanks") << "  two  blanks  .tmp";
    QTest::newRow("trailing blank") << "trailing ";
    QTest::newRow("line feed") << "line\nfeed.tmp";
    QTest::newRow("carriage return") << "cr\rname";
    QTest::newRow("command substitution") << "$(touch pwned).tmp";
    QTest::newRow("backticks") << "`touch pwned`.tmp";
    QTest::newRow("semicolon") << "a; rm -f b.tmp";
    QTest::newRow("backslash is a character") << "back\\slash.tmp";
    QTest::newRow("environment reference") << "%TEMP%.tmp";
    QTest::newRow("tilde") << "~";
    QTest::newRow("Chinese") << "临时文件.tmp";
    QTest::newRow("dash first") << "-rf";
}

void TestPatternDelete::literalEntries()
{
    QFETCH(QString, name);
    touch(name);
    touch(QStringLiteral("b.tmp"));
    touch(QStringLiteral("slash.tmp"));
    touch(QStringLiteral("feed.tmp"));
    makeFolder(QStringLiteral("back"));
    touch(QStringLiteral("back/slash.tmp"));
    const QStringList before = tree(m_dir->path());

    const DeleteOutcome outcome = deleteByPattern(m_dir->path() + u'/' + name);

    QVERIFY(outcome.ok());
    QCOMPARE(removedNames(before, tree(m_dir->path())), QStringList{name});
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("pwned"))));
    QVERIFY(!QFileInfo::exists(QStringLiteral("pwned")));
}

void TestPatternDelete::relativeToWorkingFolder()
{
    makeFolder(QStringLiteral("sub"));
    touch(QStringLiteral("a.tmp"));
    touch(QStringLiteral("sub/b.tmp"));
    touch(QStringLiteral("sub/c.tmp"));

    const QString saved = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const bool bare = deleteByPattern(QStringLiteral("*.tmp")).ok();
    const bool nested = deleteByPattern(QStringLiteral("sub/b.tmp")).ok();
    const bool dotted = deleteByPattern(QStringLiteral("./sub/../sub/*")).ok();
    QVERIFY(QDir::setCurrent(saved));

    QVERIFY(bare);
    QVERIFY(nested);
    QVERIFY(dotted);
    QCOMPARE(tree(m_dir->path()), QStringList{"sub"});
}

void TestPatternDelete::manyMatches()
{
    for (int i = 0; i < 1000; ++i)
        touch(QStringLiteral("f%1.tmp").arg(i));
    touch(QStringLiteral("keep.log"));

    const DeleteOutcome outcome = deleteByPattern(path(QStringLiteral("*.tmp")));

    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 1000);
    QCOMPARE(outcome.removed, 1000);
    QCOMPARE(tree(m_dir->path()), QStringList{"keep.log"});
}

// A 10 MB line in the list file is an entry like any other: it must neither hang nor crash.
void TestPatternDelete::hugeEntries()
{
    const QString prefix = makePrefix();
    QVERIFY(!prefix.isEmpty());
    touch(QStringLiteral("a.tmp"));
    touch(QStringLiteral("b.log"));
    const QString huge(10'000'000, u'a');
    const QStringList before = tree(m_dir->path());

    QVERIFY(!deleteByPattern(path(huge)).ok());
    QVERIFY(!deleteByPattern(path(huge + QStringLiteral("/*.tmp"))).ok());
    QVERIFY(!deleteByPattern(path(QStringLiteral("*") + huge)).ok());
    QVERIFY(!deleteByPattern(QStringLiteral("C:\\") + QStringLiteral("x\\").repeated(2'000'000)
                                 + QStringLiteral("*.tmp"),
                             prefix)
                 .ok());
    QVERIFY(!deleteByPattern(QStringLiteral("C:\\Windows\\") + QStringLiteral("..\\Windows\\").repeated(500'000)
                                 + QStringLiteral("*.tmp"),
                             prefix)
                 .ok());
    QCOMPARE(tree(m_dir->path()), before);

    // Runs of stars are one star, however many.
    const DeleteOutcome outcome =
        deleteByPattern(path(QString(5'000'000, u'*') + QStringLiteral(".tmp")));
    QVERIFY(outcome.ok());
    QCOMPARE(outcome.matched, 1);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("a.tmp"))));
}

void TestPatternDelete::deleterReportsOutcome()
{
    const QString prefix = makePrefix();
    QVERIFY(!prefix.isEmpty());
    touch(QStringLiteral("a.tmp"));
    touch(QStringLiteral("prefix/drive_c/Windows/Temp/x.TMP"));

    cleanup::files::FilePatternDeleter deleter(prefix);
    cleanup::EntryDeleter &page = deleter;
    QVERIFY(page.remove(path(QStringLiteral("a.tmp"))));
    QVERIFY(!page.remove(path(QStringLiteral("a.tmp"))));
    QVERIFY(!page.remove(QString()));
    QVERIFY(page.remove(QStringLiteral("C:\\WINDOWS\\TEMP\\*.tmp")));
    QVERIFY(!page.remove(QStringLiteral("C:\\WINDOWS\\TEMP\\*.tmp")));
    page.runFinished();
}

QTEST_GUILESS_MAIN(TestPatternDelete)
#include "test_pattern_delete.moc"
