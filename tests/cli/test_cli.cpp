#include "platform/line_file.h"
#include "wine_prefix.h"

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
    qint64 files = 0, bytes = 0, failed = 0;
    QHash<QString, QPair<qint64, qint64>> mounts;
    for (const QJsonValue &entryValue : document.value("entries").toArray()) {
        const QJsonObject entry = entryValue.toObject();
        qint64 entryFiles = 0, entryBytes = 0, entryFailed = 0;
        for (const QJsonValue &itemValue : entry.value("items").toArray()) {
            const QJsonObject item = itemValue.toObject();
            const qint64 size = item.value("size").toInteger();
            if (item.value("status").toString() == QLatin1String("failed")) {
                ++entryFailed;
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
            || totals.value("failed").toInteger() != entryFailed)
            qWarning() << "entry totals are not the sum of its items:" << entry.value("entry");
        files += entryFiles;
        bytes += entryBytes;
        failed += entryFailed;
    }
    const QJsonObject totals = document.value("totals").toObject();
    if (totals.value("files").toInteger() != files || totals.value("bytes").toInteger() != bytes
        || totals.value("failed").toInteger() != failed)
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
                                        root + "/prefix/dosdevices/c:/Temp/A.TXT"};
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
        QCOMPARE(cli({"-y", "shred", m_dir->filePath("plain") + '/'}).code, 1);
        QVERIFY(QFile::exists(m_dir->filePath("plain")));
    }

    // Interrupted inside a file: the item says it was stopped there, partly overwritten
    // and still in place, in the text and in the JSON document alike.
    void shredInterrupted_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("text") << false;
        QTest::newRow("JSON") << true;
    }
    void shredInterrupted()
    {
        QFETCH(bool, json);
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
        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 130);
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
                && wine.addValue(key, "Kept", "three"));
        const QByteArray before = wine.exportKey(key);
        QVERIFY(platform::writeLines(m_dir->filePath("Zcql.ini"),
                                     {key + "\\Recent\\", key + "\\Stale", key + "\\Missing"}));
        QProcessEnvironment env = wine.environment();
        env.insert("HOME", m_dir->path());

        const Ran preview = cli({"-C", m_dir->path(), "preview", "registry", "--json"}, env);
        QCOMPARE(preview.code, 0);
        const QSet<QByteArray> listed = itemsWith(preview.json(), "listed");
        QCOMPARE(listed.size(), 2);
        const Ran clean = cli({"-C", m_dir->path(), "clean", "registry", "--json"}, env);
        QCOMPARE(clean.code, 0);
        QCOMPARE(itemsWith(clean.json(), "deleted"), listed);
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
        const QList<QByteArray> hostile{
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

        const Ran restored = cli({"-C", m_dir->path(), "restore", QFileInfo(backup).fileName()}, env);
        QVERIFY2(restored.code == 0, restored.err.constData());
        QCOMPARE(wine.exportKey(key), before);
    }

    // The wipe asks as shred does, and with -y fills a file system and gives the space back.
    void wipeOnPipe()
    {
        const TmpfsMount tmpfs(m_dir->filePath("mnt"));
        if (!tmpfs.mounted)
            QSKIP("mounting a tmpfs needs root");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir->path());
        QCOMPARE(cli({"wipe", tmpfs.path}, env, "y\n").code, 2);
        const Ran wiped = cli({"-y", "wipe", "--json", tmpfs.path}, env);
        QCOMPARE(wiped.code, 0);
        const QJsonObject item = wiped.json().value("entries").toArray().first()["items"].toArray().first().toObject();
        QCOMPARE(item.value("status").toString(), QStringLiteral("deleted"));
        QVERIFY(item.value("size").toInteger() > 3 << 20);
        QVERIFY(QDir(tmpfs.path).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir; // a fresh one for every case
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
