#include "cleanup/files/pattern_delete.h"
#include "fake_prefix.h"
#include "scoped_variable.h"
#include "without_dac_override.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>
#include <set>

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

void writeFile(const QString &path, const QByteArray &content = "junk")
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

constexpr QFile::Permissions readAndEnter =
    QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;

// Clears a file's immutable flag however the test ends, so the folder can be cleaned up.
class ImmutableFlag
{
public:
    explicit ImmutableFlag(const QString &path) : m_path(path), m_set(change(true)) {}
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

    const QString m_path;
    const bool m_set;
};

// Root may remove files from any folder; a folder's permissions only bite an ordinary
// user, so the deletion runs without root's right to override them.
DeleteOutcome deleteAsOrdinaryUser(const QString &entry)
{
    const WithoutDacOverride asUser;
    return deleteByPattern(entry);
}


// A prefix as Wine leaves it, with hives that give its user `environment` ("NAME", value
// as Windows writes it) and the folders of a user "me".
bool writeUserHive(const QString &root, const QStringList &environment)
{
    QByteArray user = "WINE REGISTRY Version 2\n\n[Environment] 1700000000\n";
    for (qsizetype i = 0; i + 1 < environment.size(); i += 2) {
        QString value = environment.at(i + 1);
        user += "\"" + environment.at(i).toUtf8() + "\"=\"" + value.replace(u'\\', QStringLiteral("\\\\")).toUtf8() + "\"\n";
    }
    QFile system(root + QStringLiteral("/system.reg"));
    QFile hive(root + QStringLiteral("/user.reg"));
    return system.open(QIODevice::WriteOnly) && system.write("WINE REGISTRY Version 2\n") > 0
        && hive.open(QIODevice::WriteOnly) && hive.write(user) == user.size();
}

// A prefix as Wine leaves it, with hives that give its user `environment` ("NAME", value
// as Windows writes it, ...) and the folders of a user "me".
bool makeHivedPrefix(const QString &root, const QStringList &environment)
{
    return makeFakePrefix(root, {QStringLiteral("users/me/Temp"), QStringLiteral("users/me/AppData/Local")})
        && writeUserHive(root, environment);
}

QString windowsPath(QString path)
{
    return path.replace(u'/', u'\\');
}

} // namespace

class TestPatternDelete : public QObject
{
    Q_OBJECT

    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    QStringList contents() const { return tree(m_dir->path()); }
    QString prefix() const { return path(QStringLiteral("prefix")); }
    // A prefix laid out as Wine lays it out: dosdevices/c: links to ../drive_c.
    bool makePrefix() const { return makeFakePrefix(prefix(), {QStringLiteral("Windows/Temp")}); }

    // Creates each file in the test folder, and the folders it lies in.
    void touch(const QStringList &names) const
    {
        for (const QString &name : names) {
            const QString file = path(name);
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            writeFile(file);
        }
    }

    std::optional<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    void wildcards_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("removed"); // nothing removed means the entry failed

        QTest::newRow("star") << QStringList{"a.tmp", "b.tmp", "c.log", "d.tmp.bak"} << "*.tmp"
                              << QStringList{"a.tmp", "b.tmp"};
        QTest::newRow("question") << QStringList{"a.tmp", "ab.tmp", "文.tmp"} << "?.tmp"
                                  << QStringList{"a.tmp", "文.tmp"};
        QTest::newRow("both") << QStringList{"log1.txt", "log22.txt", "log3.dat"} << "log?.*"
                              << QStringList{"log1.txt", "log3.dat"};
        QTest::newRow("star alone") << QStringList{"x", "y.z"} << "*" << QStringList{"x", "y.z"};
        QTest::newRow("exact name") << QStringList{"a.tmp", "b.tmp"} << "a.tmp" << QStringList{"a.tmp"};
        QTest::newRow("case matters") << QStringList{"a.tmp"} << "*.TMP" << QStringList{};
        QTest::newRow("no match") << QStringList{"a.tmp"} << "*.xyz" << QStringList{};
        QTest::newRow("missing name") << QStringList{"a.tmp"} << "b.tmp" << QStringList{};
        QTest::newRow("star skips dotfiles") << QStringList{".hidden", ".cfg.tmp", "shown"} << "*"
                                             << QStringList{"shown"};
        QTest::newRow("dot star takes dotfiles") << QStringList{".hidden", "shown"} << ".*"
                                                 << QStringList{".hidden"};
        QTest::newRow("only dotfiles match") << QStringList{".a.tmp"} << "*.tmp" << QStringList{};
        QTest::newRow("brackets literal") << QStringList{"a.tmp", "[ab].tmp"} << "[ab].tmp"
                                          << QStringList{"[ab].tmp"};
    }
    void wildcards()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, pattern);
        QFETCH(QStringList, removed);
        touch(files);
        const QStringList before = contents();

        const DeleteOutcome outcome = deleteByPattern(path(pattern));

        removed.sort();
        QCOMPARE(removedNames(before, contents()), removed);
        QCOMPARE(outcome.ok(), !removed.isEmpty());
        QCOMPARE(outcome.matched, removed.size());
        QCOMPARE(outcome.removed, removed.size());
        QCOMPARE(outcome.failed, 0);
    }

    void entriesNamingNoFile_data()
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
        QTest::newRow("NUL cuts nothing short") << QStringLiteral("@/a.tmp") + QChar(0) + u'x';
        QTest::newRow("NUL in folder part") << QStringLiteral("@/sub") + QChar(0) + "/../a.tmp";
    }
    void entriesNamingNoFile()
    {
        QFETCH(QString, entry);
        touch({"a.tmp", "sub/a.tmp"});
        const QStringList before = contents();

        const DeleteOutcome outcome = deleteByPattern(entry.replace(u'@', m_dir->path()));

        QVERIFY(!outcome.ok());
        QCOMPARE(outcome.removed, 0);
        QCOMPARE(contents(), before);
    }

    void subfoldersLeftAlone()
    {
        touch({"a.tmp", "x.tmp/inner.tmp", "sub/b.tmp"});
        const QStringList folders{"sub", "sub/b.tmp", "x.tmp", "x.tmp/inner.tmp"};

        const DeleteOutcome outcome = deleteByPattern(path("*.tmp"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 1);
        QCOMPARE(contents(), folders);

        QVERIFY(!deleteByPattern(path("*")).ok());
        QCOMPARE(contents(), folders);
    }

    void symlinkToFileRemovedNotFollowed()
    {
        QTemporaryDir outside;
        QVERIFY(outside.isValid());
        const QString target = outside.filePath("target.tmp");
        writeFile(target, "keep me");
        QVERIFY(QFile::link(target, path("link.tmp")));
        QVERIFY(QFile::link(outside.filePath("gone"), path("dangling.tmp")));

        const DeleteOutcome outcome = deleteByPattern(path("*.tmp"));

        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 2);
        QCOMPARE(contents(), QStringList{});
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep me"));
    }

    void symlinkToFolderRemovedNotFollowed()
    {
        QTemporaryDir outside;
        QVERIFY(outside.isValid());
        QVERIFY(QDir(outside.path()).mkdir("folder.tmp"));
        writeFile(outside.filePath("folder.tmp/keep.tmp"));
        const QString folder = outside.filePath("folder.tmp");
        QVERIFY(QFile::link(folder, path("wild.tmp")));
        QVERIFY(QFile::link(folder, path("named")));

        // Through a wildcard and by its own name alike, the link goes and the folder stays.
        QVERIFY(deleteByPattern(path("*.tmp")).ok());
        QVERIFY(deleteByPattern(path("named")).ok());
        QCOMPARE(contents(), QStringList{});
        QCOMPARE(tree(outside.path()), (QStringList{"folder.tmp", "folder.tmp/keep.tmp"}));
    }

    void specialFilesRemoved()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(path("pipe.tmp")).constData(), 0600), 0);

        const QByteArray socketPath = QFile::encodeName(path("socket.tmp"));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(std::size_t(socketPath.size()) < sizeof address.sun_path);
        qstrcpy(address.sun_path, socketPath.constData());
        const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(sock >= 0);
        const bool bound = ::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
        ::close(sock);
        QVERIFY(bound);

        const DeleteOutcome outcome = deleteByPattern(path("*.tmp"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 2);
        QCOMPARE(contents(), QStringList{});
    }

    void readOnlyFileRemoved()
    {
        touch({"locked.tmp"});
        QVERIFY(QFile::setPermissions(path("locked.tmp"), QFile::ReadOwner));
        // The folder lets everyone remove files from it; the file lets nobody write.
        QVERIFY(QFile::setPermissions(m_dir->path(), readAndEnter | QFile::WriteOwner | QFile::WriteOther));

        QVERIFY(deleteAsOrdinaryUser(path("*.tmp")).ok());
        QCOMPARE(contents(), QStringList{});
    }

    void readOnlyFolderFails()
    {
        touch({"ro/a.tmp", "ro/b.tmp", "ro/c.tmp"});
        QVERIFY(QFile::setPermissions(m_dir->path(), readAndEnter | QFile::WriteOwner));
        QVERIFY(QFile::setPermissions(path("ro"), readAndEnter));
        const QStringList before = contents();

        const DeleteOutcome outcome = deleteAsOrdinaryUser(path("ro/*.tmp"));
        QVERIFY(QFile::setPermissions(path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        QVERIFY(!outcome.ok());
        QCOMPARE(outcome.matched, 3); // every match was tried
        QCOMPARE(outcome.failed, 3);
        QCOMPARE(outcome.removed, 0);
        QCOMPARE(outcome.error, EACCES);
        QCOMPARE(contents(), before);
    }

    void everyMatchTriedAfterAFailure()
    {
        touch({"a.tmp", "b.tmp", "c.tmp"});
        const ImmutableFlag stuck(path("b.tmp"));
        if (!stuck.isSet())
            QSKIP("the immutable flag needs CAP_LINUX_IMMUTABLE and a file system that has it");

        const DeleteOutcome outcome = deleteByPattern(path("*.tmp"));

        QVERIFY(!outcome.ok());
        QCOMPARE(outcome.matched, 3);
        QCOMPARE(outcome.removed, 2);
        QCOMPARE(outcome.failed, 1);
        QCOMPARE(outcome.error, EPERM);
        QCOMPARE(contents(), QStringList{"b.tmp"});
    }

    void windowsPaths_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("removed"); // nothing removed means the entry failed

        const QStringList allFiles{".hidden", "Junk.TMP", "README", "keep.log", "other.Tmp"};
        QTest::newRow("star without case") << "C:\\WINDOWS\\TEMP\\*.tmp" << QStringList{"Junk.TMP", "other.Tmp"};
        QTest::newRow("star dot star takes every file") << "c:/windows/temp/*.*" << allFiles;
        QTest::newRow("star takes dotfiles") << "C:\\Windows\\Temp\\*" << allFiles;
        QTest::newRow("one name without case") << "C:\\windows\\temp\\junk.tmp" << QStringList{"Junk.TMP"};
        QTest::newRow("question without case") << "C:\\windows\\temp\\JUNK.?MP" << QStringList{"Junk.TMP"};
        QTest::newRow("name dot star without dot") << "C:\\windows\\temp\\readme.*" << QStringList{"README"};
        QTest::newRow("doubled separators") << "C:\\\\windows\\\\temp\\\\*.LOG" << QStringList{"keep.log"};
        QTest::newRow("drive-relative name") << "C:Windows\\Temp\\keep.log" << QStringList{"keep.log"};
        QTest::newRow("no such file") << "C:\\windows\\temp\\nosuch.tmp" << QStringList{};
        QTest::newRow("no such folder") << "C:\\nosuch\\*.tmp" << QStringList{};
        QTest::newRow("unmapped drive") << "D:\\windows\\temp\\*.tmp" << QStringList{};
        QTest::newRow("folder") << "C:\\windows\\temp\\sub.tmp" << QStringList{};
        QTest::newRow("folder without case") << "C:\\windows\\temp" << QStringList{};
        QTest::newRow("separator last") << "C:\\windows\\temp\\" << QStringList{};
        QTest::newRow("bare drive") << "C:" << QStringList{};
        QTest::newRow("drive root") << "C:\\" << QStringList{};
        QTest::newRow("dot dot last") << "C:\\windows\\.." << QStringList{};
        QTest::newRow("above the root") << "C:\\..\\.." << QStringList{};
        QTest::newRow("out to the drive links") << "C:\\..\\dosdevices\\c:" << QStringList{};
    }
    void windowsPaths()
    {
        QFETCH(QString, entry);
        QFETCH(QStringList, removed);
        const auto inTemp = [](QStringList names) {
            for (QString &name : names)
                name.prepend(QStringLiteral("prefix/drive_c/Windows/Temp/"));
            names.sort();
            return names;
        };
        QVERIFY(makePrefix());
        touch(inTemp({"Junk.TMP", "other.Tmp", "README", ".hidden", "keep.log", "Sub.tmp/inner.tmp"}));
        const QStringList before = contents();

        const DeleteOutcome outcome = deleteByPattern(entry, prefix());

        QCOMPARE(removedNames(before, contents()), inTemp(removed));
        QCOMPARE(outcome.ok(), !removed.isEmpty());
        QCOMPARE(outcome.removed, removed.size());
        QVERIFY(QFileInfo(prefix() + "/dosdevices/c:").isSymLink());
    }

    void windowsNamePrefersExactCase()
    {
        QVERIFY(makePrefix());
        touch({"prefix/drive_c/A.txt", "prefix/drive_c/a.txt"});
        const QString driveC = path("prefix/drive_c");

        // One name deletes one file: the exact one when it is there...
        DeleteOutcome outcome = deleteByPattern("C:\\a.txt", prefix());
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 1);
        QCOMPARE(tree(driveC), (QStringList{"A.txt", "Windows", "Windows/Temp"}));

        // ...else the first in a fixed order of those that match without case.
        touch({"prefix/drive_c/a.txt"});
        outcome = deleteByPattern("C:\\A.TXT", prefix());
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 1);
        QCOMPARE(tree(driveC), (QStringList{"Windows", "Windows/Temp", "a.txt"}));

        // A wildcard takes them all.
        touch({"prefix/drive_c/A.txt"});
        outcome = deleteByPattern("C:\\*.TXT", prefix());
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 2);
    }

    void literalEntries_data()
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
    void literalEntries()
    {
        QFETCH(QString, name);
        // Decoys for what a shell would make of the name.
        touch({name, "b.tmp", "slash.tmp", "feed.tmp", "back/slash.tmp"});
        const QStringList before = contents();

        const DeleteOutcome outcome = deleteByPattern(path(name));

        QVERIFY(outcome.ok());
        QCOMPARE(removedNames(before, contents()), QStringList{name});
        QVERIFY(!QFileInfo::exists(path("pwned")));
        QVERIFY(!QFileInfo::exists("pwned"));
    }

    // A byte the list file held that was no text (kept as U+DC00 + byte) names exactly that
    // byte in a native path, never a U+FFFD, and no file at all in a Windows path.
    void undecodableBytes_data()
    {
        QTest::addColumn<QString>("entry"); // "@" stands for the test folder
        QTest::addColumn<QByteArrayList>("removed");

        const QString fe(QChar(char16_t(0xDCFE)));
        const QString ff(QChar(char16_t(0xDCFF)));
        QTest::newRow("one byte") << "@/" + fe + ".tmp" << QByteArrayList{"\xfe.tmp"};
        QTest::newRow("another byte") << "@/" + ff + ".tmp" << QByteArrayList{"\xff.tmp"};
        QTest::newRow("U+FFFD is itself") << QStringLiteral("@/\uFFFD.tmp") << QByteArrayList{"\xef\xbf\xbd.tmp"};
        QTest::newRow("byte after a wildcard") << "@/*" + ff + ".log" << QByteArrayList{"a\xff.log"};
        QTest::newRow("byte in the folder") << "@/" + fe + "/*.tmp" << QByteArrayList{"\xfe/in.tmp"};
        QTest::newRow("lone surrogate is no wildcard") << "@/*" + QString(QChar(char16_t(0xD800))) + ".tmp"
                                                       << QByteArrayList{"\xef\xbf\xbd.tmp"};
        QTest::newRow("Windows path") << "C:\\Windows\\Temp\\" + fe + ".tmp" << QByteArrayList{};
        QTest::newRow("Windows wildcard") << "C:\\Windows\\Temp\\*" + fe + "*" << QByteArrayList{};
    }
    void undecodableBytes()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArrayList, removed);
        QVERIFY(makePrefix());
        const QByteArray root = QFile::encodeName(m_dir->path()) + '/';
        QCOMPARE(::mkdir(root + "\xfe", 0755), 0);
        const QByteArrayList files{"\xfe.tmp", "\xff.tmp", "\xef\xbf\xbd.tmp", "a\xff.log", "\xfe/in.tmp",
                                   "prefix/drive_c/Windows/Temp/\xfe.tmp",
                                   "prefix/drive_c/Windows/Temp/\xef\xbf\xbd.tmp"};
        for (const QByteArray &file : files) {
            const int fd = ::open(root + file, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }

        const DeleteOutcome outcome = deleteByPattern(entry.replace(u'@', m_dir->path()), prefix());

        QByteArrayList gone;
        struct stat st;
        for (const QByteArray &file : files) {
            if (::lstat(root + file, &st) != 0)
                gone.append(file);
        }
        QCOMPARE(gone, removed);
        QCOMPARE(outcome.ok(), !removed.isEmpty());
    }

    void relativeToWorkingFolder()
    {
        touch({"a.tmp", "sub/b.tmp", "sub/c.tmp"});

        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        const DeleteOutcome climbing = deleteByPattern("sub/../*.tmp");
        const bool bare = deleteByPattern("*.tmp").ok();
        const bool nested = deleteByPattern("sub/b.tmp").ok();
        const bool dotted = deleteByPattern("./sub/./*").ok();
        QVERIFY(QDir::setCurrent(saved));

        // ".." is refused, with a reason, before anything is looked at.
        QVERIFY(!climbing.refusal.isEmpty());
        QCOMPARE(climbing.matched, 0);
        QVERIFY(bare);
        QVERIFY(nested);
        QVERIFY(dotted);
        QCOMPARE(contents(), QStringList{"sub"});
    }

    // Every way an entry was seen to leave its place: what a preview lists is only inside it,
    // and the user's files survive the window's run.
    void entriesStayInTheirPlace_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QStringList>("listed"); // real paths below the test folder
        QTest::addColumn<bool>("refused");       // the entry names nothing, with a reason

        const QString temp = QStringLiteral("home/.wine/drive_c/users/me/Temp/");
        QTest::newRow("prefix temp, real path shown") << "plain" << "%TEMP%\\*.*" << QStringList{temp + "junk.tmp"} << false;
        QTest::newRow("temp is the linked desktop") << "desktop" << "%TEMP%\\*.*" << QStringList{} << true;
        QTest::newRow("temp on drive Z") << "drive z" << "%TEMP%\\*.*" << QStringList{} << true;
        QTest::newRow("drive_c a link to the root") << "drive_c link" << "%TEMP%\\*" << QStringList{} << true;
        QTest::newRow("temp a link to the home") << "temp link" << "%TEMP%\\*.*" << QStringList{} << true;
        QTest::newRow("unpacked game prefix") << "game" << "%TEMP%\\*.*" << QStringList{} << true;
        QTest::newRow("another user's prefix") << "other user" << "%TEMP%\\*.*" << QStringList{} << false;
        QTest::newRow("climbing out of the home") << "plain" << "~/../etc/*" << QStringList{} << true;
        QTest::newRow("climbing past a missing folder") << "plain" << "~/gone/../../etc/*" << QStringList{} << true;
        QTest::newRow("temp value climbing") << "temp climbing" << "%TEMP%\\*.*" << QStringList{} << true;
        QTest::newRow("home is the root") << "root home" << "~/*" << QStringList{} << true;
        QTest::newRow("link below the cache") << "thumbnails link" << "$XDG_CACHE_HOME/thumbnails/normal/*.png"
                                              << QStringList{} << true;
        QTest::newRow("cache on another disk") << "cache link" << "$XDG_CACHE_HOME/thumbnails/normal/*.png"
                                               << QStringList{"disk/cache/thumbnails/normal/a.png"} << false;
        QTest::newRow("cache on another disk, from the home") << "cache link" << "~/.cache/thumbnails/normal/*.png"
                                                              << QStringList{"disk/cache/thumbnails/normal/a.png"} << false;
        QTest::newRow("cache through someone else's link") << "someone else's cache link"
                                                           << "~/.cache/thumbnails/normal/*.png" << QStringList{} << true;
        QTest::newRow("linked folder below the home") << "pictures link" << "~/shots/*.png" << QStringList{} << true;
        QTest::newRow("absolute through a link") << "plain" << "@/linked/logs/*.log" << QStringList{"real/logs/a.log"}
                                                 << false;
    }
    void entriesStayInTheirPlace()
    {
        QFETCH(QString, layout);
        QFETCH(QString, entry);
        QFETCH(QStringList, listed);
        QFETCH(bool, refused);

        const QString home = path("home");
        const QString wine = path("home/.wine");
        const QStringList mine{"home/.bashrc", "home/thesis.pdf", "home/Desktop/note.txt", "home/Documents/报告.docx",
                               "home/Documents/预算.xlsx", "home/Pictures/a.png", "etc/passwd", "other/prefix/drive_c/x.tmp"};
        touch(mine);
        touch({"home/.wine/drive_c/users/me/Temp/junk.tmp", "disk/cache/thumbnails/normal/a.png", "real/logs/a.log"});
        QVERIFY(QFile::link(path("real"), path("linked")));
        QStringList environment{"USERPROFILE", "C:\\users\\me", "TEMP", "%USERPROFILE%\\Temp"};
        std::optional<ScopedVariable> homeVariable;
        if (layout == "desktop") {
            QVERIFY(QFile::link(path("home/Desktop"), path("home/.wine/drive_c/users/me/Desktop")));
            environment = QStringList{"USERPROFILE", "C:\\users\\me", "TEMP", "%USERPROFILE%\\Desktop"};
        } else if (layout == "drive z") {
            environment = QStringList{"TEMP", "Z:" + windowsPath(path("home/Documents"))};
        } else if (layout == "temp climbing") {
            environment = QStringList{"USERPROFILE", "C:\\users\\me", "TEMP", "%USERPROFILE%\\Temp\\..\\..\\.."};
        } else if (layout == "temp link") {
            QVERIFY(QDir(path("home/.wine/drive_c/users/me/Temp")).removeRecursively());
            QVERIFY(QFile::link(home, path("home/.wine/drive_c/users/me/Temp")));
        } else if (layout == "thumbnails link") {
            QVERIFY(QDir().mkpath(path("home/.cache/thumbnails")));
            QVERIFY(QFile::link(path("home/Pictures"), path("home/.cache/thumbnails/normal")));
        } else if (layout == "pictures link") {
            QVERIFY(QFile::link(path("home/Pictures"), path("home/shots")));
        } else if (layout == "cache link" || layout == "someone else's cache link") {
            QVERIFY(QFile::link(path("disk/cache"), path("home/.cache")));
            if (layout != "cache link"
                && (::lchown(QFile::encodeName(path("home/.cache")).constData(), 65534, 65534) != 0 || ::geteuid() == 65534))
                QSKIP("links can't be given to another user here (run as root)");
        } else if (layout == "root home") {
            homeVariable.emplace("HOME", "//");
        }
        QVERIFY(makeHivedPrefix(wine, environment));
        QVERIFY(QFile::link(QStringLiteral("/"), path("home/.wine/dosdevices/z:")));
        if (layout == "drive_c link") {
            // A stand-in for "/" holding an etc of its own: the same link, nothing real at stake.
            QVERIFY(QDir(path("home/.wine/drive_c")).removeRecursively());
            QVERIFY(QFile::link(m_dir->path(), path("home/.wine/drive_c")));
            QVERIFY(writeUserHive(wine, {"TEMP", "C:\\etc"}));
        } else if (layout == "game") {
            // Unpacked with tar: the Documents link Wine made on the packer's machine comes
            // along, relative, and now leads into this home.
            const QString game = path("home/Games/game");
            QVERIFY(QDir(wine).removeRecursively());
            QVERIFY(makeHivedPrefix(game, {"TEMP", "C:\\users\\steamuser\\Documents"}));
            QVERIFY(QDir().mkpath(game + "/drive_c/users/steamuser"));
            QVERIFY(QFile::link("../../../../../Documents", game + "/drive_c/users/steamuser/Documents"));
            QVERIFY(QFileInfo::exists(game + "/drive_c/users/steamuser/Documents/报告.docx"));
        } else if (layout == "other user") {
            // Another user's prefix, reached through a link that user could have made.
            QVERIFY(QDir(wine).removeRecursively());
            QVERIFY(makeHivedPrefix(path("other/prefix"), {"TEMP", "C:\\"}));
            QVERIFY(QDir().mkpath(path("home/.local/share/wineprefixes")));
            const QString link = path("home/.local/share/wineprefixes/shared");
            QVERIFY(QFile::link(path("other/prefix"), link));
            if (::lchown(QFile::encodeName(link).constData(), 65534, 65534) != 0 || ::geteuid() == 65534)
                QSKIP("links can't be given to another user here (run as root)");
        }
        entry.replace(u'@', m_dir->path());

        const ScopedVariable noChosenPrefix("WINEPREFIX");
        const ScopedVariable noCacheHome("XDG_CACHE_HOME");
        if (!homeVariable)
            homeVariable.emplace("HOME", QFile::encodeName(home));
        const QString real = QFileInfo(m_dir->path()).canonicalFilePath() + u'/';
        const cleanup::files::EntryPlaces places;
        QStringList found;
        bool gaveReason = false;
        for (const cleanup::files::FolderMatch &match : cleanup::files::matchEntry(entry, places)) {
            gaveReason = gaveReason || !match.refusal.isEmpty();
            for (const cleanup::files::MatchedFile &file : match.files)
                found.append(QString::fromUtf8(match.folder + '/' + file.name).remove(real));
        }
        found.sort();
        QCOMPARE(found, listed);
        QCOMPARE(gaveReason, refused);

        // The root-home row looks at "/" itself: it is only ever previewed.
        if (layout != "root home") {
            cleanup::files::FilePatternDeleter deleter;
            deleter.runStarted();
            QCOMPARE(deleter.remove(entry), !listed.isEmpty());
            deleter.runFinished();
        }
        for (const QString &file : mine)
            QVERIFY2(QFileInfo::exists(path(file)), qPrintable(file));
        for (const QString &file : listed)
            QVERIFY2(!QFileInfo::exists(path(file)), qPrintable(file));
    }

    void manyMatches()
    {
        QStringList files{"keep.log"};
        for (int i = 0; i < 1000; ++i)
            files.append(QStringLiteral("f%1.tmp").arg(i));
        touch(files);

        const DeleteOutcome outcome = deleteByPattern(path("*.tmp"));

        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 1000);
        QCOMPARE(outcome.removed, 1000);
        QCOMPARE(contents(), QStringList{"keep.log"});
    }

    // A 10 MB line in the list file is an entry like any other: it must neither hang nor crash.
    void hugeEntries()
    {
        QVERIFY(makePrefix());
        touch({"a.tmp", "b.log"});
        const QString huge(10'000'000, u'a');
        const QStringList before = contents();

        QVERIFY(!deleteByPattern(path(huge)).ok());
        QVERIFY(!deleteByPattern(path(huge + "/*.tmp")).ok());
        QVERIFY(!deleteByPattern(path("*" + huge)).ok());
        QVERIFY(!deleteByPattern("C:\\" + QStringLiteral("x\\").repeated(2'000'000) + "*.tmp", prefix()).ok());
        QVERIFY(!deleteByPattern("C:\\Windows\\" + QStringLiteral("..\\Windows\\").repeated(500'000) + "*.tmp",
                                 prefix())
                     .ok());
        QCOMPARE(contents(), before);

        // Runs of stars are one star, however many.
        const DeleteOutcome outcome = deleteByPattern(path(QString(5'000'000, u'*') + ".tmp"));
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.matched, 1);
        QVERIFY(!QFileInfo::exists(path("a.tmp")));
    }

    void deleterReportsOutcome()
    {
        QVERIFY(makePrefix());
        touch({"a.tmp", "prefix/drive_c/Windows/Temp/x.TMP"});

        cleanup::files::FilePatternDeleter deleter(prefix());
        cleanup::EntryDeleter &page = deleter;
        QVERIFY(page.remove(path("a.tmp")));
        QVERIFY(!page.remove(path("a.tmp")));
        QVERIFY(!page.remove(QString()));
        QVERIFY(page.remove("C:\\WINDOWS\\TEMP\\*.tmp"));
        QVERIFY(!page.remove("C:\\WINDOWS\\TEMP\\*.tmp"));
        page.runFinished();
    }
};

QTEST_GUILESS_MAIN(TestPatternDelete)
#include "test_pattern_delete.moc"
