#include "platform/line_file.h"
#include "wine_prefix.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Ran
{
    int code = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

Ran cli(const QStringList &arguments, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
        const QByteArray &input = {})
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(BRISQUEL_CLI), arguments);
    process.write(input);
    process.closeWriteChannel();
    Ran ran;
    if (process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit)
        ran.code = process.exitCode();
    ran.out = process.readAllStandardOutput();
    ran.err = process.readAllStandardError();
    return ran;
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A tmpfs mounted for one test, unmounted however it ends.
struct TmpfsMount
{
    explicit TmpfsMount(const QString &where) : path(where)
    {
        mounted = QDir().mkpath(where) && runs(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=4m", "tmpfs", where});
    }
    ~TmpfsMount()
    {
        if (mounted)
            runs(QStringLiteral("umount"), {QStringLiteral("-l"), path});
    }
    QString path;
    bool mounted = false;
};

// A file system image, loop-mounted for one test.
struct LoopMount
{
    LoopMount(const QString &folder, const QString &type) : path(folder + "/mnt")
    {
        const QString image = folder + "/disk.img";
        mounted = ::geteuid() == 0 && QDir().mkpath(path) && runs("truncate", {"-s", type == "btrfs" ? "160M" : "48M", image})
                  && runs("mkfs." + type, {type == "btrfs" ? "-q" : "-qF", image}) && runs("mount", {"-o", "loop", image, path});
    }
    ~LoopMount()
    {
        if (mounted)
            runs(QStringLiteral("umount"), {path});
    }
    QString path;
    bool mounted = false;
};

bool makeFile(const QByteArray &path, const QByteArray &content = "junk")
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
    return ::close(fd) == 0 && written;
}

bool exists(const QByteArray &path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

QByteArray pathOf(const QJsonObject &item)
{
    return item.contains(QStringLiteral("path_bytes")) ? QByteArray::fromHex(item.value("path_bytes").toString().toLatin1())
                                                       : item.value("path").toString().toUtf8();
}

// The paths of a document's items with `status`, checking on the way that every total is
// the sum of the items it covers.
QSet<QByteArray> itemsWith(const QJsonObject &document, const QString &status)
{
    QSet<QByteArray> paths;
    qint64 files = 0, bytes = 0, failed = 0, skipped = 0;
    QHash<QString, QPair<qint64, qint64>> mounts;
    for (const QJsonValue &entryValue : document.value("entries").toArray()) {
        const QJsonObject entry = entryValue.toObject();
        qint64 entryFiles = 0, entryBytes = 0, entryFailed = 0, entrySkipped = 0;
        for (const QJsonValue &itemValue : entry.value("items").toArray()) {
            const QJsonObject item = itemValue.toObject();
            const qint64 size = item.value("size").toInteger();
            if (item.value("status").toString() == QLatin1String("failed")) {
                ++entryFailed;
            } else if (item.value("status").toString() == QLatin1String("skipped")) {
                ++entrySkipped;
            } else if (item.value("status").toString() != QLatin1String("stopped")) {
                ++entryFiles;
                entryBytes += size;
                if (const QString mount = item.value("mount").toString(); !mount.isEmpty()) {
                    ++mounts[mount].first;
                    mounts[mount].second += size;
                }
            }
            if (item.value("status").toString() == status)
                paths.insert(pathOf(item));
        }
        const QJsonObject totals = entry.value("totals").toObject();
        if (totals.value("files").toInteger() != entryFiles || totals.value("bytes").toInteger() != entryBytes
            || totals.value("failed").toInteger() != entryFailed || totals.value("skipped").toInteger() != entrySkipped)
            qWarning() << "entry totals are not the sum of its items:" << entry.value("entry");
        files += entryFiles;
        bytes += entryBytes;
        failed += entryFailed;
        skipped += entrySkipped;
    }
    const QJsonObject totals = document.value("totals").toObject();
    if (totals.value("files").toInteger() != files || totals.value("bytes").toInteger() != bytes
        || totals.value("failed").toInteger() != failed || totals.value("skipped").toInteger() != skipped)
        return {QByteArray("totals are not the sum of the items")};
    for (const QJsonValue &value : document.value("filesystems").toArray()) {
        const QJsonObject fs = value.toObject();
        if (mounts.take(fs.value("mount").toString()) != qMakePair(fs.value("files").toInteger(), fs.value("bytes").toInteger()))
            return {QByteArray("a file system's totals are not the sum of its items")};
    }
    if (!mounts.isEmpty())
        return {QByteArray("items on a file system the totals leave out")};
    return paths;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("wjql"); // the list's bytes; "dir" makes it a folder
        QTest::addColumn<int>("code");
        QTest::newRow("no subcommand") << QStringList{} << QByteArray() << 2;
        QTest::newRow("unknown subcommand") << QStringList{"frob"} << QByteArray() << 2;
        QTest::newRow("unknown option") << QStringList{"preview", "--frob"} << QByteArray() << 2;
        QTest::newRow("option of another subcommand") << QStringList{"preview", "-y"} << QByteArray() << 2;
        QTest::newRow("unknown list") << QStringList{"clean", "cookies"} << QByteArray() << 2;
        QTest::newRow("passes out of range") << QStringList{"shred", "-n", "36", "x"} << QByteArray() << 2;
        QTest::newRow("no passes") << QStringList{"shred", "-n", "0", "-z", "x"} << QByteArray() << 2;
        QTest::newRow("-y of another subcommand") << QStringList{"-y", "preview"} << QByteArray() << 2;
        QTest::newRow("empty wipe path") << QStringList{"-y", "wipe", ""} << QByteArray() << 2;
        QTest::newRow("restore without file") << QStringList{"restore"} << QByteArray() << 2;
        QTest::newRow("restore a missing file") << QStringList{"restore", "nothing.reg"} << QByteArray() << 2;
        QTest::newRow("-C to nowhere") << QStringList{"-C", "nowhere", "preview"} << QByteArray() << 2;
        QTest::newRow("no list") << QStringList{"preview", "files"} << QByteArray() << 2;
        QTest::newRow("list is a folder") << QStringList{"clean", "files"} << QByteArray("dir") << 2;
        QTest::newRow("version after") << QStringList{"preview", "--version"} << QByteArray() << 0;
        QTest::newRow("help of a subcommand") << QStringList{"help", "shred"} << QByteArray() << 0;
        QTest::newRow("min age without unattended") << QStringList{"clean", "--min-age", "3"} << QByteArray() << 2;
        QTest::newRow("min age not a number") << QStringList{"clean", "--unattended", "--min-age=soon"} << QByteArray() << 2;
        QTest::newRow("unattended shred") << QStringList{"shred", "--unattended", "x"} << QByteArray() << 2;
        QTest::newRow("unattended preview") << QStringList{"preview", "files", "--unattended", "--min-age=0"}
                                            << QByteArray("none/*.tmp\r\n") << 0;
        QTest::newRow("nothing matched") << QStringList{"clean", "files"} << QByteArray("none/*.tmp\r\n") << 0;
        QTest::newRow("options after the list") << QStringList{"preview", "files", "-q", "--json"}
                                                   << QByteArray("\r\n\r\nnone\r\n") << 0;
    }
    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, wjql);
        QFETCH(int, code);
        if (wjql == "dir")
            QVERIFY(QDir().mkpath(m_dir->filePath("Wjql.ini")));
        else if (!wjql.isEmpty())
            QVERIFY(platform::writeFile(m_dir->filePath("Wjql.ini"), wjql));
        const Ran ran = cli(QStringList{"-C", m_dir->path()} + arguments);
        QCOMPARE(ran.code, code);
        // Usage errors say so on stderr and print nothing else.
        if (code == 2)
            QVERIFY(ran.out.isEmpty() || ran.out.startsWith('{'));
        if (arguments.contains("--json"))
            QVERIFY(QJsonDocument::fromJson(ran.out).isObject());
    }

    // Run from a terminal without a desktop: no display libraries are even loaded.
    void needsNoDisplay()
    {
        QProcess readelf;
        readelf.start(QStringLiteral("readelf"), {"-d", QStringLiteral(BRISQUEL_CLI)});
        QVERIFY(readelf.waitForFinished());
        const QByteArray needed = readelf.readAllStandardOutput();
        QVERIFY(needed.contains("libQt6Core"));
        QVERIFY2(!needed.contains("libQt6Gui") && !needed.contains("libQt6Widgets"), needed.constData());
    }

    // With nothing changed in between, clean deletes exactly what preview listed: wildcards,
    // links (removed, never followed), FIFOs, undecodable names, a folder that matches (left
    // alone), a Windows-style entry through a prefix, and a second file system.
    void cleanDeletesWhatPreviewListed()
    {
        const QByteArray root = QFile::encodeName(m_dir->path());
        for (const char *folder : {"junk", "junk/dir.tmp", "keep", "prefix/drive_c/Temp", "prefix/dosdevices"})
            QVERIFY(QDir().mkpath(m_dir->filePath(folder)));
        QVERIFY(QFile::link("../drive_c", m_dir->filePath("prefix/dosdevices/c:")));
        for (const char *file : {"junk/a.tmp", "junk/b.TMP", "junk/.hidden.tmp", "junk/dir.tmp/inner.tmp", "junk/q1.log",
                                 "junk/q22.log", "junk/\xff\xfe.tmp", "junk/\x1b]0;title\x07.tmp", "keep/target", "prefix/drive_c/Temp/A.TXT",
                                 "prefix/drive_c/Temp/b.dat"})
            QVERIFY(makeFile(root + '/' + file));
        QVERIFY(QFile::link("../keep/target", m_dir->filePath("junk/link.tmp")));
        QVERIFY(QFile::link("../keep", m_dir->filePath("junk/folderlink.tmp")));
        QCOMPARE(::mkfifo(root + "/junk/fifo.tmp", 0644), 0);

        const TmpfsMount tmpfs(m_dir->filePath("mnt"));
        QStringList entries{"junk/*.tmp", "junk/q?.log", "C:\\TEMP\\*.txt", "~/nothing/*"};
        if (tmpfs.mounted) {
            QVERIFY(makeFile(root + "/mnt/x.tmp", QByteArray(5000, 'x')) && makeFile(root + "/mnt/y.tmp"));
            entries << "mnt/*.tmp";
        } else {
            qWarning("no tmpfs mount here: one file system only");
        }
        QVERIFY(platform::writeLines(m_dir->filePath("Wjql.ini"), entries));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", m_dir->filePath("prefix"));
        env.insert("HOME", m_dir->path());
        const Ran preview = cli({"preview", "files", "--json", "-C", m_dir->path()}, env);
        QCOMPARE(preview.code, 0);
        const QSet<QByteArray> listed = itemsWith(preview.json(), "listed");
        const QSet<QByteArray> expected{root + "/junk/a.tmp", root + "/junk/\xff\xfe.tmp", root + "/junk/link.tmp",
                                        root + "/junk/folderlink.tmp", root + "/junk/fifo.tmp", root + "/junk/q1.log",
                                        root + "/junk/\x1b]0;title\x07.tmp",
                                        root + "/prefix/drive_c/Temp/A.TXT"};
        const QSet<QByteArray> onTmpfs{root + "/mnt/x.tmp", root + "/mnt/y.tmp"};
        QCOMPARE(listed - onTmpfs, expected);
        if (tmpfs.mounted) {
            QVERIFY(listed.contains(root + "/mnt/y.tmp"));
            const QJsonArray fileSystems = preview.json().value("filesystems").toArray();
            QCOMPARE(fileSystems.size(), 2);
            QVERIFY(fileSystems.contains(QJsonObject{{"mount", m_dir->filePath("mnt")}, {"files", 2}, {"bytes", 5004}}));
        }
        for (const QByteArray &path : listed)
            QVERIFY(exists(path));
        // Shown on a terminal, a name can't send it escape sequences.
        const Ran shown = cli({"preview", "files", "-C", m_dir->path()}, env);
        QVERIFY(shown.out.contains("\\x1b]0;title\\x07.tmp") && !shown.out.contains('\x1b'));

        const Ran clean = cli({"-C", m_dir->path(), "--json", "clean", "files"}, env);
        QCOMPARE(clean.code, 0);
        QCOMPARE(itemsWith(clean.json(), "deleted"), listed);
        for (const QByteArray &path : listed)
            QVERIFY2(!exists(path), path.constData());
        for (const char *kept : {"junk/b.TMP", "junk/.hidden.tmp", "junk/dir.tmp/inner.tmp", "junk/q22.log", "keep/target",
                                 "prefix/drive_c/Temp/b.dat"})
            QVERIFY2(exists(root + '/' + kept), kept);

        // A file that can't go is a failed item with its reason, and exit code 1.
        if (tmpfs.mounted) {
            QVERIFY(makeFile(root + "/mnt/z.tmp"));
            QVERIFY(runs("mount", {"-o", "remount,ro", m_dir->filePath("mnt")}));
            const Ran failed = cli({"clean", "files", "-C", m_dir->path()}, env);
            QCOMPARE(failed.code, 1);
            QVERIFY(exists(root + "/mnt/z.tmp"));
            QVERIFY2(failed.out.contains(root + "/mnt/z.tmp：") && failed.out.contains("，1 个失败"), failed.out);
        }
    }

    // One folder named by two entries lists and loses each file once; an entry that would
    // leave the prefix's drive_c names nothing and says why.
    void prefixFilesCountedOnceAndKeptInside()
    {
        const QString prefix = m_dir->filePath("prefix");
        const QString home = m_dir->filePath("home");
        for (const QString &folder : {prefix + "/drive_c/users/me/AppData/Local/Temp", prefix + "/dosdevices", home})
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link("../drive_c", prefix + "/dosdevices/c:"));
        QVERIFY(QFile::link("/", prefix + "/dosdevices/z:"));
        const QByteArray temp = QFile::encodeName(prefix) + "/drive_c/users/me/AppData/Local/Temp/";
        QVERIFY(makeFile(temp + "a.tmp", "12345") && makeFile(temp + "b.tmp", "678"));
        QVERIFY(makeFile(QFile::encodeName(home) + "/thesis.pdf"));
        QVERIFY(platform::writeFile(prefix + "/system.reg", "WINE REGISTRY Version 2\n"));
        const QString homeOnZ = "Z:" + QString(home).replace(u'/', u'\\').replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
        QVERIFY(platform::writeFile(prefix + "/user.reg",
                                    "WINE REGISTRY Version 2\n\n[Environment] 1\n"
                                    "\"USERPROFILE\"=\"C:\\\\users\\\\me\"\n"
                                    "\"LOCALAPPDATA\"=\"%USERPROFILE%\\\\AppData\\\\Local\"\n"
                                    "\"TEMP\"=\"%LOCALAPPDATA%\\\\Temp\"\n\"TMP\"=\"" + homeOnZ.toUtf8() + "\"\n"));
        QVERIFY(platform::writeLines(m_dir->filePath("Wjql.ini"),
                                     {"%TEMP%\\*.*", "%LOCALAPPDATA%\\Temp\\*.*", "%TMP%\\*.pdf"}));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", prefix);
        env.insert("HOME", home);

        for (const char *command : {"preview", "clean"}) {
            const Ran ran = cli({command, "files", "--json", "-C", m_dir->path()}, env);
            QCOMPARE(ran.code, 1);
            const QJsonObject totals = ran.json().value("totals").toObject();
            QCOMPARE(totals.value("files").toInteger(), 2);
            QCOMPARE(totals.value("bytes").toInteger(), 8);
            QCOMPARE(totals.value("failed").toInteger(), 0);
            const QJsonArray entries = ran.json().value("entries").toArray();
            QCOMPARE(entries.size(), 3);
            QVERIFY(entries.at(2).toObject().value("error").toString().contains("Z: 盘"));
            QVERIFY(exists(QFile::encodeName(home) + "/thesis.pdf"));
        }
        QVERIFY(!exists(temp + "a.tmp") && !exists(temp + "b.tmp"));
        const Ran shown = cli({"preview", "files", "-C", m_dir->path()}, env);
        QVERIFY2(shown.out.contains("失败：Z: 盘不是 Wine 前缀自己的 C: 盘"), shown.out);
    }

    // The timer's service, run the way systemd runs it: what a process holds open and what
    // changed lately stays, an old file goes, and nothing the run started outlives it.
    void unattendedServiceRun()
    {
        QFile unit(QStringLiteral(BRISQUEL_SERVICE_UNIT));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QStringList command;
        for (const QByteArray &line : unit.readAll().split('\n')) {
            if (line.startsWith("ExecStart="))
                command = QString::fromUtf8(line.mid(10)).split(u' ', Qt::SkipEmptyParts);
        }
        QVERIFY(command.size() > 1 && command.first().endsWith("/bin/brisquel"));
        command.removeFirst();

        const QString work = m_dir->filePath("work");
        const QByteArray junk = QFile::encodeName(m_dir->filePath("home/.cache/junk"));
        QVERIFY(QDir().mkpath(work) && QDir().mkpath(QString::fromUtf8(junk)));
        QVERIFY(platform::writeLines(work + "/Wjql.ini", {"~/.cache/junk/*.tmp"}));
        QVERIFY(platform::writeFile(work + "/ZCql.ini", {}));
        for (const char *name : {"/held.tmp", "/new.tmp", "/old.tmp", "/read.tmp"})
            QVERIFY(makeFile(junk + name));
        const auto age = [&](const char *name, int modifiedDays, int readDays) {
            const qint64 now = QDateTime::currentSecsSinceEpoch();
            const timespec times[2] = {{time_t(now - readDays * 86400), 0}, {time_t(now - modifiedDays * 86400), 0}};
            return ::utimensat(AT_FDCWD, (junk + name).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
        };
        QVERIFY(age("/held.tmp", 30, 30) && age("/old.tmp", 30, 30) && age("/read.tmp", 30, 2));
        QFile held(QString::fromUtf8(junk + "/held.tmp"));
        QVERIFY(held.open(QIODevice::ReadOnly));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("WINEPREFIX");
        env.remove("XDG_CACHE_HOME");
        env.insert("HOME", m_dir->filePath("home"));
        const QByteArray mark = "BRISQUEL_TEST_RUN=" + QByteArray::number(::getpid()) + "-" + QByteArray::number(qint64(this));
        env.insert(QString::fromLatin1(mark.left(mark.indexOf('='))), QString::fromLatin1(mark.mid(mark.indexOf('=') + 1)));

        const Ran preview = cli({"preview", "files", "--unattended", "--json", "-C", work}, env);
        QCOMPARE(preview.code, 0);
        QCOMPARE(itemsWith(preview.json(), "listed"), QSet<QByteArray>{junk + "/old.tmp"});
        QCOMPARE(itemsWith(preview.json(), "skipped"),
                 (QSet<QByteArray>{junk + "/held.tmp", junk + "/new.tmp", junk + "/read.tmp"}));

        QProcess service;
        service.setProcessEnvironment(env);
        service.setWorkingDirectory(work);
        service.start(QStringLiteral(BRISQUEL_CLI), command);
        QVERIFY(service.waitForFinished(300000));
        const QByteArray journal = service.readAllStandardOutput();
        QCOMPARE(service.exitCode(), 0);
        QVERIFY(!exists(junk + "/old.tmp"));
        for (const char *kept : {"/held.tmp", "/new.tmp", "/read.tmp"})
            QVERIFY2(exists(junk + kept), kept);
        QVERIFY2(journal.contains("跳过  " + junk + "/held.tmp：有程序正打开着它") && journal.contains("，3 个跳过"), journal);

        // Every process inherits the environment: none with the run's mark may be left.
        QDir proc(QStringLiteral("/proc"));
        for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile environ(proc.filePath(pid + "/environ"));
            if (pid.toLongLong() != ::getpid() && environ.open(QIODevice::ReadOnly))
                QVERIFY2(!environ.readAll().split('\0').contains(mark), qPrintable(pid));
        }
    }

    // A signal during a long clean: each file is gone or whole, and the count printed is what went.
    void interruptedClean_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    }
    void interruptedClean()
    {
        QFETCH(int, signal);
        QFETCH(int, code);
        constexpr int count = 20000;
        const QByteArray big = QFile::encodeName(m_dir->filePath("big"));
        QVERIFY(QDir().mkpath(m_dir->filePath("big")));
        for (int i = 0; i < count; ++i)
            QVERIFY(makeFile(big + "/f" + QByteArray::number(i), "content"));
        QVERIFY(platform::writeLines(m_dir->filePath("Wjql.ini"), {"big/*"}));
        struct stat before;
        QCOMPARE(::stat(big.constData(), &before), 0);

        QProcess process;
        process.start(QStringLiteral(BRISQUEL_CLI), {"-C", m_dir->path(), "clean", "files", "--json"});
        QVERIFY(process.waitForStarted());
        // The folder changes with the first file removed: then the signal comes mid-run.
        struct stat now = before;
        const QDeadlineTimer deadline(60000);
        while (now.st_mtim.tv_sec == before.st_mtim.tv_sec && now.st_mtim.tv_nsec == before.st_mtim.tv_nsec
               && !deadline.hasExpired())
            ::stat(big.constData(), &now);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), code);

        const QJsonObject document = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        QVERIFY(document.value("interrupted").toBool());
        const qsizetype deleted = itemsWith(document, "deleted").size();
        QCOMPARE(document.value("totals").toObject().value("files").toInteger(), deleted);
        const QStringList left = QDir(m_dir->filePath("big")).entryList(QDir::Files);
        QVERIFY2(deleted > 0 && left.size() > 0, qPrintable(QString::number(deleted)));
        QCOMPARE(deleted + left.size(), count);
        for (const QString &name : left)
            QCOMPARE(QFileInfo(m_dir->filePath("big/" + name)).size(), 7);
    }

    void shredOnPipe_data()
    {
        QTest::addColumn<QStringList>("before"); // arguments before the subcommand
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("gone");
        QTest::newRow("-y") << QStringList{"-y"} << QStringList{"-n", "2", "-z"} << 0 << true;
        QTest::newRow("no -y") << QStringList{} << QStringList{} << 2 << false;
        QTest::newRow("no -y, answer piped") << QStringList{} << QStringList{"-n3"} << 2 << false;
        // `shred *` where a file is named "-y": the same arguments as -y typed there.
        QTest::newRow("-y after the subcommand") << QStringList{} << QStringList{"-y"} << 2 << false;
        QTest::newRow("--yes after the subcommand") << QStringList{"--yes"} << QStringList{"--yes"} << 2 << false;
        // Not the current folder, which an empty name would open as.
        QTest::newRow("empty path") << QStringList{"-y"} << QStringList{""} << 2 << false;
        QTest::newRow("empty path at the end") << QStringList{"-y"} << QStringList{"secret", ""} << 2 << false;
    }
    void shredOnPipe()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, options);
        QFETCH(int, code);
        QFETCH(bool, gone);
        const QString file = m_dir->filePath("secret");
        QVERIFY(makeFile(QFile::encodeName(file), "secret"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // A relative path is the caller's, whatever the working folder.
        env.insert("BRISQUEL_CALLER_DIR", m_dir->path());
        const Ran ran = cli(before + QStringList{"shred"} + options + QStringList{"secret", "-C", "/"}, env, "y\n");
        QCOMPARE(ran.code, code);
        QCOMPARE(!QFileInfo::exists(file), gone);
        // A usage error is told before anything is looked at; a question only after.
        const bool usageError = ran.err.contains("--help");
        QCOMPARE(ran.out.contains("secret"), !usageError);
        QCOMPARE(usageError, options.contains("") || options.contains("-y") || options.contains("--yes"));
    }

    // What the question is asked about: a folder that is a mount point by its contents (it
    // stays, with no mount below it entered), a sparse file by the data it holds; a
    // read-only mount is refused before anyone is asked.
    void shredWhatIsThere()
    {
        const TmpfsMount tmpfs(m_dir->filePath("stick"));
        if (!tmpfs.mounted)
            QSKIP("mounting a tmpfs needs root");
        const QByteArray stick = QFile::encodeName(tmpfs.path);
        QVERIFY(QDir().mkpath(tmpfs.path + "/sub") && makeFile(stick + "/a", "12345") && makeFile(stick + "/sub/b", "678"));
        const TmpfsMount inner(tmpfs.path + "/inner");
        QVERIFY(inner.mounted && makeFile(stick + "/inner/kept", "kept"));
        const QByteArray sparse = QFile::encodeName(m_dir->filePath("sparse"));
        QVERIFY(makeFile(sparse, "data"));
        QVERIFY(::truncate(sparse.constData(), 1 << 30) == 0);

        const Ran asked = cli({"shred", tmpfs.path + '/', m_dir->filePath("sparse")}, QProcessEnvironment::systemEnvironment(), "n\n");
        QCOMPARE(asked.code, 2); // no terminal to answer on
        QVERIFY2(asked.out.contains("（2 个文件）") && asked.out.contains("是挂载点") && asked.out.contains("1 个挂载点")
                     && asked.out.contains("长度 1.0 GB") && !asked.out.contains("经链接指向"),
                 asked.out.constData());

        const Ran shredded = cli({"-y", "shred", "--json", tmpfs.path, m_dir->filePath("sparse")});
        QCOMPARE(shredded.code, 1); // the inner mount is the one failure
        const QJsonArray entries = shredded.json().value("entries").toArray();
        QCOMPARE(entries.size(), 2);
        QVERIFY(!exists(sparse));
        const QJsonObject sparseItem = entries.at(1)["items"].toArray().first().toObject();
        QCOMPARE(sparseItem.value("status").toString(), QStringLiteral("deleted"));
        QVERIFY(sparseItem.value("size").toInteger() < 1 << 20);
        QCOMPARE(sparseItem.value("length").toInteger(), 1 << 30);
        QVERIFY(exists(stick) && !exists(stick + "/a") && !exists(stick + "/sub") && exists(stick + "/inner/kept"));

        QVERIFY(makeFile(stick + "/c"));
        QVERIFY(runs("mount", {"-o", "remount,ro", tmpfs.path}));
        for (const QStringList &arguments : {QStringList{"shred", tmpfs.path + "/c"}, QStringList{"wipe", tmpfs.path}}) {
            const Ran refused = cli(arguments);
            QCOMPARE(refused.code, 1);
            QVERIFY2(refused.out.contains("只读") && !refused.err.contains("确认"), refused.out + refused.err);
        }
        QVERIFY(makeFile(QFile::encodeName(m_dir->filePath("plain"))));
        const Ran fileWiped = cli({"wipe", m_dir->filePath("plain")});
        QCOMPARE(fileWiped.code, 1);
        QVERIFY2(fileWiped.out.contains("不是文件夹"), fileWiped.out.constData());
        const Ran slashed = cli({"-y", "shred", m_dir->filePath("plain") + '/'});
        QCOMPARE(slashed.code, 1);
        QVERIFY2(slashed.out.contains("不是文件夹"), slashed.out.constData());
        QVERIFY(QFile::exists(m_dir->filePath("plain")));
    }

    // Interrupted inside a file: the item says it was stopped there, partly overwritten
    // and still in place, in the text and in the JSON document alike.
    void shredInterrupted_data()
    {
        QTest::addColumn<bool>("json");
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("text") << false << int(SIGINT) << 130;
        QTest::newRow("JSON") << true << int(SIGINT) << 130;
        QTest::newRow("terminal closed") << true << int(SIGHUP) << 129;
    }
    void shredInterrupted()
    {
        QFETCH(bool, json);
        QFETCH(int, signal);
        QFETCH(int, code);
        const QByteArray big = QFile::encodeName(m_dir->filePath("big"));
        QVERIFY(makeFile(big, QByteArray(64 << 20, 'x')));
        struct stat before;
        QCOMPARE(::stat(big.constData(), &before), 0);
        QProcess process;
        process.start(QStringLiteral(BRISQUEL_CLI), QStringList{"-y", "shred", "-n", "35", QString::fromUtf8(big)}
                                                        + (json ? QStringList{"--json"} : QStringList{}));
        QVERIFY(process.waitForStarted());
        // The file changes with the first chunk overwritten: then the signal comes mid-file.
        struct stat now = before;
        const QDeadlineTimer deadline(60000);
        while (now.st_mtim.tv_sec == before.st_mtim.tv_sec && now.st_mtim.tv_nsec == before.st_mtim.tv_nsec
               && !deadline.hasExpired())
            ::stat(big.constData(), &now);
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), code);
        QCOMPARE(QFileInfo(QString::fromUtf8(big)).size(), qint64(64 << 20));
        const QByteArray out = process.readAllStandardOutput();
        if (json) {
            const QJsonObject document = QJsonDocument::fromJson(out).object();
            QVERIFY(document.value("interrupted").toBool());
            const QJsonObject item = document.value("entries").toArray().first()["items"].toArray().first().toObject();
            QCOMPARE(item.value("status").toString(), QStringLiteral("stopped"));
            QCOMPARE(item.value("partly_overwritten").toString(), QString::fromUtf8(big));
            QVERIFY(item.value("reason").toString().contains("仍在原处"));
            QCOMPARE(itemsWith(document, "stopped"), QSet<QByteArray>{big});
        } else {
            QVERIFY2(out.contains("已中断  " + big + "：文件已被部分覆写，仍在原处"), out.constData());
        }
    }

    // The registry list through a real prefix: preview lists what clean then deletes, and
    // restore puts it back exactly; files that are no backup of ours are refused.
    void registryPreviewCleanRestore()
    {
        test::WinePrefix wine;
        QVERIFY2(wine.isValid(), qPrintable(wine.errorString()));
        const QString key = QStringLiteral("HKCU\\Software\\BrisquelCliTest");
        QVERIFY(wine.addValue(key + "\\Recent", "a", "one") && wine.addValue(key, "Stale", "two")
                && wine.addValue(key, "Kept", "three") && wine.addValue(key + "\\Recent\\Sub", "b", "four"));
        const QByteArray before = wine.exportKey(key);
        // A subkey before its key, as the shipped list has them: the clean deletes both in
        // turn, and the preview finds the same.
        QVERIFY(platform::writeLines(m_dir->filePath("Zcql.ini"), {key + "\\Recent\\Sub\\", key + "\\Recent\\",
                                                                   key + "\\Stale", key + "\\Missing"}));
        QProcessEnvironment env = wine.environment();
        env.insert("HOME", m_dir->path());
        // The preview reads the hives, which the server writes as it ends.
        wine.waitForServerExit();

        const Ran preview = cli({"-C", m_dir->path(), "preview", "registry", "--json"}, env);
        QCOMPARE(preview.code, 0);
        const QSet<QByteArray> listed = itemsWith(preview.json(), "listed");
        QCOMPARE(listed.size(), 3);
        QVERIFY(test::processesIn(wine.path()).isEmpty());
        const Ran clean = cli({"-C", m_dir->path(), "clean", "registry", "--json"}, env);
        QCOMPARE(clean.code, 0);
        QCOMPARE(itemsWith(clean.json(), "deleted"), listed);
        // Wine started by the clean went with it.
        QCOMPARE(test::processesIn(wine.path()), QList<qint64>());
        QVERIFY(!wine.keyExists(key + "\\Recent") && !wine.valueExists(key, "Stale") && wine.valueExists(key, "Kept"));

        const QJsonArray backups = clean.json().value("backups").toArray();
        QCOMPARE(backups.size(), 1);
        const QString backup = backups.first().toString();
        QFile file(backup);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();

        // Refused, with nothing changed: cut short, someone else's, and one reaching elsewhere.
        const QByteArray after = wine.exportKey(key);
        // The backup's own encoding for what is added to it.
        const auto encoded = [&text](const QString &added) {
            if (!text.startsWith("\xff\xfe"))
                return added.toUtf8();
            return QByteArray(reinterpret_cast<const char *>(added.utf16()), added.size() * 2);
        };
        QByteArray moved = text;
        moved.replace(encoded("; Wine prefix: " + wine.path()), encoded("; Wine prefix: " + wine.path() + "/"));
        QVERIFY(moved != text);
        const QList<QByteArray> hostile{
            moved, // no longer as we wrote it, and no terminal to ask at
            text.left(text.size() / 2),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=\"y\"\r\n",
            text + encoded(QStringLiteral("\r\n[-HKEY_CURRENT_USER\\Software]\r\n"))};
        for (const QByteArray &bad : hostile) {
            QVERIFY(platform::writeFile(m_dir->filePath("bad.reg"), bad));
            const Ran refused = cli({"restore", m_dir->filePath("bad.reg"), "-C", m_dir->path()}, env);
            QCOMPARE(refused.code, 2);
            QVERIFY(!refused.err.isEmpty());
            QCOMPARE(wine.exportKey(key), after);
        }

        // At a terminal, what can't be vouched for is shown and goes back only on a yes.
        QVERIFY(platform::writeFile(m_dir->filePath("moved.reg"), moved));
        for (const QByteArray answer : {"n\n", "y\n"}) {
            QProcess terminal;
            terminal.setProcessEnvironment(env);
            terminal.start("script", {"-qec", QStringLiteral(BRISQUEL_CLI " -C '%1' restore '%1/moved.reg'").arg(m_dir->path()),
                                      "/dev/null"});
            terminal.write(answer);
            terminal.closeWriteChannel();
            QVERIFY(terminal.waitForFinished(300000));
            const QByteArray said = terminal.readAll();
            QVERIFY2(said.contains("仍要导入吗") && said.contains("[HKEY_CURRENT_USER\\Software\\BrisquelCliTest"),
                     said.constData());
            QCOMPARE(wine.exportKey(key), answer == "n\n" ? after : before);
        }

        const Ran restored = cli({"-C", m_dir->path(), "restore", QFileInfo(backup).fileName()}, env);
        QVERIFY2(restored.code == 0, restored.err.constData());
        QCOMPARE(wine.exportKey(key), before);

        // A prefix another Wine build made: passed over with a reason, its files untouched.
        wine.stopServer();
        const QString other = m_dir->filePath(".wine");
        QVERIFY(QDir().mkpath(other + "/drive_c"));
        for (const QString &hive : {QStringLiteral("system.reg"), QStringLiteral("user.reg")})
            QVERIFY(QFile::copy(wine.path() + u'/' + hive, other + u'/' + hive));
        QVERIFY(platform::writeFile(other + "/.update-timestamp", "1000000000\n"));
        env.remove("WINEPREFIX");
        const auto files = [&other] { return QDir(other).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); };
        const QList<QFileInfo> untouched = files();
        for (const QString &command : {QStringLiteral("preview"), QStringLiteral("clean")}) {
            const Ran ran = cli({"-C", m_dir->path(), command, "registry", "--json"}, env);
            QCOMPARE(ran.code, 0);
            const QJsonArray skipped = ran.json().value("skipped_prefixes").toArray();
            QCOMPARE(skipped.size(), 1);
            QVERIFY(skipped.first()["reason"].toString().contains(QStringLiteral("其他版本的 Wine")));
            QVERIFY(itemsWith(ran.json(), command == "clean" ? "deleted" : "listed").isEmpty());
        }
        // Without a stamp at all, the reason says so.
        QVERIFY(QFile::remove(other + "/.update-timestamp"));
        const Ran stampless = cli({"-C", m_dir->path(), "preview", "registry", "--json"}, env);
        QVERIFY(stampless.json()["skipped_prefixes"].toArray().first()["reason"].toString().contains(
            QStringLiteral("没有 Wine 的更新时间戳")));
        QVERIFY(platform::writeFile(other + "/.update-timestamp", "1000000000\n"));
        const QList<QFileInfo> now = files();
        QCOMPARE(now.size(), untouched.size());
        for (qsizetype i = 0; i < now.size(); ++i)
            QCOMPARE(now[i].lastModified(), untouched[i].lastModified());
        QVERIFY(test::processesIn(other).isEmpty());
    }

    // The timer's service, started through a user systemd, ends inactive, not failed, though
    // its clean started Wine in the user's prefix.
    void serviceEndsInactive()
    {
        QFile init(QStringLiteral("/proc/1/comm"));
        if (!init.open(QIODevice::ReadOnly) || init.readAll().trimmed() != "systemd")
            QSKIP("systemd is not process 1 here (a container), so no user systemd can start the service");
        QProcess probe;
        probe.start(QStringLiteral("systemctl"), {QStringLiteral("--user"), QStringLiteral("show-environment")});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            QSKIP("no user systemd runs for this user");

        // The unit's own [Service] settings, its command this build's.
        QFile unit(QStringLiteral(BRISQUEL_SERVICE_UNIT));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        QStringList arguments{QStringLiteral("--user"), QStringLiteral("--wait"), QStringLiteral("--collect")};
        bool service = false;
        for (const QByteArray &raw : unit.readAll().split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.startsWith('['))
                service = line == "[Service]";
            else if (service && line.contains('=') && !line.startsWith('#') && !line.startsWith("ExecStart="))
                arguments << QStringLiteral("-p") << QString::fromUtf8(line);
        }
        test::WinePrefix wine;
        QVERIFY2(wine.isValid(), qPrintable(wine.errorString()));
        const QString key = QStringLiteral("HKCU\\Software\\BrisquelServiceTest");
        QVERIFY(wine.addValue(key, "Stale", "x"));
        QVERIFY(platform::writeLines(m_dir->filePath("Zcql.ini"), {key + "\\Stale"}));
        wine.waitForServerExit();
        arguments << QStringLiteral("-p") << QStringLiteral("WorkingDirectory=") + m_dir->path()
                  << QStringLiteral("--setenv=HOME=") + m_dir->path() << QStringLiteral("--setenv=WINEPREFIX=") + wine.path()
                  << QStringLiteral(BRISQUEL_CLI) << QStringLiteral("clean") << QStringLiteral("--unattended")
                  << QStringLiteral("registry");
        QProcess run;
        run.start(QStringLiteral("systemd-run"), arguments);
        QVERIFY(run.waitForFinished(300000));
        const QByteArray said = run.readAllStandardOutput() + run.readAllStandardError();
        QVERIFY2(run.exitCode() == 0 && said.contains("Finished with result: success"), said.constData());
        QVERIFY(!wine.valueExists(key, "Stale"));
        QCOMPARE(test::processesIn(wine.path()), QList<qint64>());
    }

    // The wipe asks as shred does, and with -y fills a file system and gives the space back;
    // a FIFO among its records holds nothing up.
    void wipeOnPipe()
    {
        const LoopMount disk(m_dir->path(), "ext4");
        if (!disk.mounted)
            QSKIP("a loop mount needs root");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir->path());
        env.insert("XDG_STATE_HOME", m_dir->filePath("state"));
        QVERIFY(QDir().mkpath(m_dir->filePath("state/brisquel/wipe")));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir->filePath("state/brisquel/wipe/0")).constData(), 0600), 0);
        QCOMPARE(cli({"wipe", disk.path}, env, "y\n").code, 2);
        const Ran wiped = cli({"-y", "wipe", "--json", disk.path}, env);
        QCOMPARE(wiped.code, 0);
        const QJsonObject item = wiped.json().value("entries").toArray().first()["items"].toArray().first().toObject();
        QCOMPARE(item.value("status").toString(), QStringLiteral("deleted"));
        QVERIFY(item.value("size").toInteger() > 3 << 20);
        QCOMPARE(QDir(disk.path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"lost+found"});
    }

    void wipeSaysWhatItCant_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QStringList>("reasons");
        QTest::newRow("tmpfs, which keeps nothing deleted") << "tmpfs" << QStringList{"无法擦除：", "内存文件系统（tmpfs）"};
        QTest::newRow("btrfs under a quota") << "btrfs" << QStringList{"只擦除了部分空闲空间", "磁盘配额已用完"};
    }

    // What isn't wiped, or only in part, is a failure that says why.
    void wipeSaysWhatItCant()
    {
        QFETCH(QString, type);
        QFETCH(QStringList, reasons);
        std::optional<TmpfsMount> tmpfs;
        std::optional<LoopMount> disk;
        QString where = m_dir->filePath("mnt");
        if (type == "tmpfs" && !tmpfs.emplace(where).mounted)
            QSKIP("mounting a tmpfs needs root");
        if (type == "btrfs"
            && (!disk.emplace(m_dir->path(), type).mounted || !runs("btrfs", {"quota", "enable", where})
                || !runs("btrfs", {"qgroup", "limit", "16M", where})))
            QSKIP("no btrfs with quotas through a loop device here");
        const Ran ran = cli({"-y", "wipe", "--json", where});
        QCOMPARE(ran.code, 1);
        const QJsonObject item = ran.json().value("entries").toArray().first()["items"].toArray().first().toObject();
        QCOMPARE(item.value("status").toString(), QStringLiteral("failed"));
        for (const QString &reason : reasons)
            QVERIFY2(item.value("reason").toString().contains(reason), qPrintable(item.value("reason").toString()));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir; // a fresh one for every case
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
