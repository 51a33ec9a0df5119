// Registry deletion through Wine, against a real throwaway prefix: what goes, what stays, and
// how the bridge copes with a missing prefix, a missing Wine and a helper that dies or hangs.

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/backup_seal.h"
#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_backup.h"
#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/wine_helper.h"
#include "cleanup/registry/wine_session.h"
#include "scoped_variable.h"
#include "wine_prefix.h"
#include "without_dac_override.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <optional>

#include <signal.h>
#include <sys/resource.h>

using namespace cleanup::registry;

namespace {

const QString testKey = QStringLiteral("HKCU\\Software\\BrisquelTest");
const QString key255 = QString(255, u'k');
const QString key256 = QString(256, u'l');
const QString longValue = QString(300, u'v');

// Every place the fixture lives; a failed deletion must leave all of them byte-identical.
const QStringList fixtureRoots{
    testKey,
    QStringLiteral("HKLM\\Software\\BrisquelTest"),
    QStringLiteral("HKLM\\Software\\Classes\\BrisquelTest.Ext"),
    QStringLiteral("HKEY_USERS\\.DEFAULT\\Software\\BrisquelTest"),
    QStringLiteral("HKEY_CURRENT_CONFIG\\Software\\BrisquelTest"),
};

// The keys and values the deletions work on (%1 stands for a 300-character value name).
QString fixture()
{
    QFile file(QStringLiteral(REGISTRY_FIXTURE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).replace(QStringLiteral("%1"), longValue);
}

QString helperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe");
}

// Makes registry links: make-reglink.exe LINK TARGET.
QString linkMakerPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/make-reglink.exe");
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

// The stand-in helper; its behaviour comes from BRISQUEL_FAKE_REGDEL.
QString fakeHelperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fake-regdel.exe");
}

bool isEmptyFolder(const QString &path)
{
    return QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

bool isZombie(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype end = text.lastIndexOf(')');
    return end > 0 && text.mid(end + 2, 1) == "Z";
}

// While it lives, every write of this process past a file's start fails as on a full disk.
struct FileSizeLimit
{
    FileSizeLimit()
    {
        ::getrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, old.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, SIG_DFL);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    rlimit old{};
};

QStringList mtimes(const QString &folder)
{
    QStringList out;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        out << info.fileName() + u' ' + QString::number(info.lastModified().toMSecsSinceEpoch());
    return out;
}

bool processGone(qint64 pid)
{
    return pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

class TestRegistryDeleter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(helperPath()).isFile(), "brisquel-regdel.exe is not built beside the test");
        QVERIFY2(!findWineLoader().isEmpty(), "no Wine loader found");

        m_prefix = std::make_unique<test::WinePrefix>();
        QVERIFY2(m_prefix->isValid(), qPrintable(m_prefix->errorString()));
        QVERIFY(m_prefix->keepServerRunning());
        const QString regText = fixture();
        QVERIFY2(!regText.isEmpty(), REGISTRY_FIXTURE);
        QVERIFY2(m_prefix->importReg(regText), m_prefix->lastErrorOutput().constData());
        // Names `reg import` can't carry, and a key name Windows wouldn't allow but Wine does.
        QVERIFY2(m_prefix->addValue(testKey + "\\Odd", "line\nfeed"), m_prefix->lastErrorOutput().constData());
        QVERIFY2(m_prefix->addKey(testKey + "\\Long\\" + key255), m_prefix->lastErrorOutput().constData());
        QVERIFY2(m_prefix->addValue(testKey + "\\Long\\" + key256, "V"), m_prefix->lastErrorOutput().constData());
        QVERIFY2(m_prefix->addValue(testKey + "\\Odd\\line\nkey", "V"), m_prefix->lastErrorOutput().constData());
        QVERIFY(exists(testKey + "\\Odd|line\nfeed"));
        QVERIFY(exists(testKey + "\\Odd|" + longValue));
        QVERIFY(exists(testKey + "\\中文 键\\子键"));

        // Links into the same hive and into HKLM.
        for (const auto &[link, target] : {std::pair{"Links\\ToLeaf", "HKCU\\Software\\BrisquelTest\\Links\\Leaf"},
                                           std::pair{"Links\\ToLeaf2", "HKCU\\Software\\BrisquelTest\\Links\\Leaf2"},
                                           std::pair{"Links\\ToMachine", "HKLM\\Software\\BrisquelTest\\LinkTarget"}})
            QCOMPARE(m_prefix->wine({linkMakerPath(), "HKCU\\Software\\BrisquelTest\\" + QString(link), target}), 0);
        QVERIFY(exists(testKey + "\\Links\\ToMachine|V"));

        // Every deletion below is backed up first.
        QVERIFY(m_backups.isValid());
        m_deleter = std::make_unique<RegistryDeleter>(helperPath(), m_prefix->path());
        m_deleter->setBackupFolder(m_backups.path());
    }

    void cleanupTestCase()
    {
        m_deleter.reset();
        m_prefix.reset();
    }

    // "KEY" in `gone` and `kept` names a key, "KEY|NAME" a value of it.
    void deletesExactlyWhatIsNamed_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<quint32>("error");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("kept");

        const QString t = testKey;
        const QString classes = QStringLiteral("HKLM\\Software\\Classes\\BrisquelTest.Ext");
        const QString hklm = QStringLiteral("HKLM\\Software\\BrisquelTest");
        const QString users = QStringLiteral("HKEY_USERS\\.DEFAULT\\Software\\BrisquelTest");
        const QString config = QStringLiteral("HKEY_CURRENT_CONFIG\\Software\\BrisquelTest");

        QTest::newRow("value") << t + "\\Value\\Target" << 0u << QStringList{t + "\\Value|Target"}
                               << QStringList{t + "\\Value|Sibling", t + "\\Value\\Child|Target", t + "\\Value"};
        QTest::newRow("key without subkeys") << "HKEY_CURRENT_USER\\Software\\BrisquelTest\\Key\\Leaf\\" << 0u
                                             << QStringList{t + "\\Key\\Leaf"}
                                             << QStringList{t + "\\Key|V", t + "\\Key\\Sibling"};
        QTest::newRow("lower-case root, value") << "hkcu\\Software\\BrisquelTest\\Lower\\V" << 0u
                                                << QStringList{t + "\\Lower|V"}
                                                << QStringList{t + "\\Lower|W", t + "\\Lower\\K"};
        QTest::newRow("lower-case root and names, key") << "hkey_current_user\\software\\brisqueltest\\lower\\k\\"
                                                        << 0u << QStringList{t + "\\Lower\\K"}
                                                        << QStringList{t + "\\Lower|W"};
        QTest::newRow("blanks, value") << t + "\\With Blanks\\Sub Key\\My Value" << 0u
                                       << QStringList{t + "\\With Blanks\\Sub Key|My Value"}
                                       << QStringList{t + "\\With Blanks\\Sub Key|My"};
        QTest::newRow("blanks, key") << t + "\\With Blanks\\Leaf Key\\" << 0u
                                     << QStringList{t + "\\With Blanks\\Leaf Key"}
                                     << QStringList{t + "\\With Blanks\\Sub Key|My"};
        QTest::newRow("Chinese, value") << t + "\\中文 键\\值 名" << 0u << QStringList{t + "\\中文 键|值 名"}
                                        << QStringList{t + "\\中文 键|值", t + "\\中文 键\\子键"};
        QTest::newRow("Chinese, key") << t + "\\中文 键\\子键\\" << 0u << QStringList{t + "\\中文 键\\子键"}
                                      << QStringList{t + "\\中文 键|值"};
        QTest::newRow("HKCR, value") << "HKCR\\BrisquelTest.Ext\\V" << 0u << QStringList{classes + "|V"}
                                     << QStringList{classes + "|W", classes + "\\Leaf"};
        QTest::newRow("HKEY_CLASSES_ROOT, key") << "HKEY_CLASSES_ROOT\\BrisquelTest.Ext\\Leaf\\" << 0u
                                                << QStringList{classes + "\\Leaf"} << QStringList{classes + "|W"};
        QTest::newRow("HKLM") << hklm + "\\V" << 0u << QStringList{hklm + "|V"} << QStringList{hklm + "|W"};
        QTest::newRow("HKEY_USERS") << users + "\\V" << 0u << QStringList{users + "|V"} << QStringList{users + "|W"};
        QTest::newRow("HKEY_CURRENT_CONFIG") << config + "\\V" << 0u << QStringList{config + "|V"}
                                             << QStringList{config + "|W"};
        QTest::newRow("quote in a value name") << t + "\\Odd\\q\"uote" << 0u << QStringList{t + "\\Odd|q\"uote"}
                                               << QStringList{t + "\\Odd|Target", t + "\\Odd|Sibling"};
        QTest::newRow("line feed in a value name") << t + "\\Odd\\line\nfeed" << 0u
                                                   << QStringList{t + "\\Odd|line\nfeed"}
                                                   << QStringList{t + "\\Odd|Target", t + "\\Odd|Sibling"};
        QTest::newRow("300-character value name") << t + "\\Odd\\" + longValue << 0u
                                                  << QStringList{t + "\\Odd|" + longValue}
                                                  << QStringList{t + "\\Odd|Target"};
        QTest::newRow("255-character key name") << t + "\\Long\\" + key255 + "\\" << 0u
                                                << QStringList{t + "\\Long\\" + key255}
                                                << QStringList{t + "\\Long\\" + key256 + "|V"};
        // A value is looked up through a link.
        QTest::newRow("value through a link") << t + "\\Links\\ToLeaf2\\V" << 0u
                                              << QStringList{t + "\\Links\\Leaf2|V"}
                                              << QStringList{t + "\\Links\\ToLeaf2|W", t + "\\Links\\Leaf2|W"};

        // Failures: each leaves every fixture key byte-identical.
        const QStringList none;
        const QStringList target{t + "\\Odd|Target"};
        QTest::newRow("key with subkeys") << t + "\\Tree\\" << 5u << none << QStringList{t + "\\Tree\\Sub|V"};
        QTest::newRow("missing key, value form") << t + "\\Missing\\V" << 2u << none << none;
        QTest::newRow("missing key, key form") << t + "\\Missing\\" << 2u << none << none;
        QTest::newRow("missing value") << t + "\\Value\\Nope" << 2u << none << QStringList{t + "\\Value|Sibling"};
        QTest::newRow("a key named as a value") << t + "\\Value\\Child" << 2u << none
                                                << QStringList{t + "\\Value\\Child|Target"};
        QTest::newRow("root alone") << "HKCU\\" << 87u << none << none;
        QTest::newRow("root without backslash") << "HKCU" << 87u << none << none;
        QTest::newRow("empty") << "" << 87u << none << none;
        QTest::newRow("unknown root") << "HKXX\\Software\\BrisquelTest\\Odd\\Target" << 87u << none << target;
        QTest::newRow("double backslash") << "HKCU\\Software\\\\BrisquelTest\\Odd\\Target" << 87u << none << target;
        QTest::newRow("quoted value name") << t + "\\Odd\\\"Target\"" << 2u << none << target;
        QTest::newRow("quoted entry") << "\"" + t + "\\Odd\\Target\"" << 87u << none << target;
        QTest::newRow("trailing blank") << t + "\\Odd\\Target " << 2u << none << target;
        QTest::newRow("trailing CR LF") << t + "\\Odd\\Target\r\n" << 2u << none << target;
        QTest::newRow("two entries in one") << t + "\\Odd\\Sibling\n" + t + "\\Odd\\Target" << 2u << none
                                            << target + QStringList{t + "\\Odd|Sibling"};
        QTest::newRow("escape lookalike") << t + "\\Odd\\Targe%74" << 2u << none << target;
        QTest::newRow("NUL inside") << t + "\\Odd\\Target" + QChar(0) + "x" << 87u << none << target;
        QTest::newRow("lone surrogate") << t + "\\Odd\\Target" + QChar(0xD800) << 1113u << none << target;
        QTest::newRow("256-character key name") << t + "\\Long\\" + key256 + "\\" << 206u << none
                                                << QStringList{t + "\\Long\\" + key256};
        QTest::newRow("value below a 256-character key") << t + "\\Long\\" + key256 + "\\V" << 206u << none
                                                         << QStringList{t + "\\Long\\" + key256 + "|V"};
        // No backup could bring these back: a registry file can't make a link, nor name a key
        // holding a line feed.
        QTest::newRow("link into the same hive") << t + "\\Links\\ToLeaf\\" << errorNotRestorable << none
                                                 << QStringList{t + "\\Links\\ToLeaf", t + "\\Links\\Leaf|V"};
        QTest::newRow("link into HKLM") << t + "\\Links\\ToMachine\\" << errorNotRestorable << none
                                        << QStringList{t + "\\Links\\ToMachine", hklm + "\\LinkTarget|V"};
        QTest::newRow("line feed in a key name") << t + "\\Odd\\line\nkey\\" << errorNotRestorable << none
                                                 << QStringList{t + "\\Odd\\line\nkey|V"};
        QTest::newRow("value of a key with a line feed") << t + "\\Odd\\line\nkey\\V" << errorNotRestorable
                                                         << none << QStringList{t + "\\Odd\\line\nkey|V"};
        QTest::newRow("10 MB entry") << t + "\\Odd\\" + QString(10 * 1024 * 1024, u'x') << 206u << none << none;
    }

    void deletesExactlyWhatIsNamed()
    {
        QFETCH(QString, entry);
        QFETCH(quint32, error);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, kept);

        QCOMPARE(present(gone + kept), gone + kept); // the fixture has them
        // Failing rows come last and change nothing, so one row's snapshot after is the next
        // row's before.
        if (error == 0)
            m_snapshot.clear();
        else if (m_snapshot.isEmpty())
            QVERIFY(takeSnapshot(m_snapshot));

        QCOMPARE(m_deleter->remove(entry), error == 0);
        QCOMPARE(m_deleter->lastError(), error);

        QCOMPARE(present(gone), QStringList());
        QCOMPARE(present(kept), kept);
        if (error != 0) {
            QList<QByteArray> after;
            QVERIFY(takeSnapshot(after));
            QCOMPARE(after, m_snapshot);
        }
    }

    // The run's backup, imported with the registry editor, gives back exactly what went.
    void backupRestoresWhatWasDeleted()
    {
        const QString base = QStringLiteral("HKCU\\Software\\BrisquelBackup");
        QVERIFY2(m_prefix->addValue(base + "\\Singles", "line\nfeed", "two\nlines"),
                 m_prefix->lastErrorOutput().constData());
        const QByteArray before = m_prefix->exportKey(base);
        const QByteArray mixed = m_prefix->exportKey(base + "\\Mixed");
        QVERIFY(!before.isEmpty() && !mixed.isEmpty());

        // Files of other runs started around now are never touched.
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString folder = work.filePath(QStringLiteral("注册表备份"));
        QVERIFY(QDir().mkpath(folder));
        const QDateTime now = QDateTime::currentDateTime();
        QStringList others;
        for (int s = 0; s < 5; ++s) {
            others.append(folder + now.addSecs(s).toString(QStringLiteral("/yyyy-MM-dd_HH-mm-ss.reg")));
            QFile other(others.last());
            QVERIFY(other.open(QIODevice::WriteOnly) && other.write("other run") == 9);
        }

        RegistryDeleter deleter(helperPath(), m_prefix->path());
        deleter.setBackupFolder(folder);
        deleter.runStarted();
        QVERIFY(!deleter.remove(base + "\\Missing\\"));
        QVERIFY(!deleter.remove(base + "\\Singles\\Missing"));
        QCOMPARE(deleter.backupFileName(), QString()); // nothing to back up yet, no file
        for (const QString &entry : {base + "\\Mixed\\", base + "\\Bare\\", base + "\\Singles\\Text",
                                     QStringLiteral("hkcu\\software\\brisquelbackup\\singles\\upper"),
                                     base + "\\Singles\\Blob", base + "\\Singles\\line\nfeed"})
            QVERIFY2(deleter.remove(entry), qPrintable(entry));
        const QString file = deleter.backupFileName();
        deleter.runFinished();
        QVERIFY2(file.endsWith(QStringLiteral("_2.reg")), qPrintable(file));
        for (const QString &other : others)
            QCOMPARE(readAll(other), QByteArray("other run"));
        QVERIFY(!m_prefix->keyExists(base + "\\Mixed"));
        QVERIFY(!m_prefix->valueExists(base + "\\Singles", "Upper"));

        // The editor's own export of a key is the key's section, byte for byte.
        const QString headerText = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n");
        const QByteArray header = QByteArray("\xFF\xFE", 2)
                + QByteArray(reinterpret_cast<const char *>(headerText.utf16()), headerText.size() * 2);
        const QByteArray backup = readAll(file);
        QVERIFY(backup.startsWith(header));
        QVERIFY(mixed.startsWith(header));
        QVERIFY(backup.contains(mixed.mid(header.size())));

        QCOMPARE(m_prefix->wine({QStringLiteral("regedit"), QStringLiteral("/s"), test::WinePrefix::windowsPath(file)}), 0);
        QCOMPARE(m_prefix->exportKey(base), before);
    }

    // A backup that can't be written deletes nothing.
    void unwritableBackupDeletesNothing_data()
    {
        QTest::addColumn<bool>("folderIsFile");
        QTest::addColumn<bool>("diskIsFull");
        QTest::newRow("read-only folder") << false << false;
        QTest::newRow("a file in the folder's place") << true << false;
        QTest::newRow("full disk") << false << true;
    }

    void unwritableBackupDeletesNothing()
    {
        QFETCH(bool, folderIsFile);
        QFETCH(bool, diskIsFull);
        const QString base = QStringLiteral("HKCU\\Software\\BrisquelBackup");
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString folder = work.filePath(QStringLiteral("注册表备份"));
        if (folderIsFile) {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(folder));
            if (!diskIsFull)
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        RegistryDeleter deleter(helperPath(), m_prefix->path());
        deleter.setBackupFolder(folder);
        deleter.runStarted(); // the helper is up before the limit, which it would inherit
        {
            const WithoutDacOverride asUser;
            std::optional<FileSizeLimit> fullDisk;
            if (diskIsFull)
                fullDisk.emplace();
            for (const QString &entry : {base + "\\Kept\\", base + "\\Singles\\Stays"}) {
                QVERIFY(!deleter.remove(entry));
                QCOMPARE(deleter.lastError(), errorBackupFailed);
            }
        }
        deleter.runFinished();
        QVERIFY(exists(base + "\\Kept|V"));
        QVERIFY(exists(base + "\\Singles|Stays"));
        if (!folderIsFile)
            QVERIFY(isEmptyFolder(folder));
    }

    // A program writes to an entry between its backup and its deletion: the backup gets what
    // was there at the deletion, values added and removed meanwhile included.
    void writesBeforeTheDeletionAreBackedUp_data()
    {
        QTest::addColumn<QString>("entry"); // below the key
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("secondBackup"); // a line only the second backup has
        QString added = QStringLiteral("\"Old 0\"=-\n");
        for (int i = 0; i < 15; ++i)
            added += QStringLiteral("\"New %1\"=dword:%1\n").arg(i);
        QTest::newRow("key") << "" << added << "\"Old 0\"=-";
        QTest::newRow("value") << "Old 1" << "\"Old 1\"=dword:7\n" << "\"Old 1\"=dword:00000007";
    }

    void writesBeforeTheDeletionAreBackedUp()
    {
        QFETCH(QString, entry);
        QFETCH(QString, meanwhile);
        QFETCH(QString, secondBackup);
        const QString key = QStringLiteral("HKCU\\Software\\BrisquelBackup\\Busy");
        const QString header = "Windows Registry Editor Version 5.00\n\n[" + key + "]\n";
        QString first = header;
        for (int i = 0; i < 22; ++i)
            first += QStringLiteral("\"Old %1\"=\"x\"\n").arg(i);
        QVERIFY2(m_prefix->importReg(first), m_prefix->lastErrorOutput().constData());
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        RegistryDeleter deleter(helperPath(), m_prefix->path());
        deleter.setBackupFolder(folder.path());
        deleter.runStarted();
        QVERIFY(!deleter.remove(key + "\\Missing")); // the helper is up

        // A program writes to the entry once it is backed up, before it is deleted.
        QByteArray before;
        deleter.setBeforeDelete([&] {
            if (before.isEmpty() && m_prefix->importReg(header + meanwhile))
                before = m_prefix->exportKey(key);
        });
        deleter.begin(key + "\\" + entry);
        while (deleter.busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCOMPARE(deleter.lastError(), 0u);
        QVERIFY(!before.isEmpty());
        const QString file = deleter.backupFileName();
        deleter.runFinished();
        QVERIFY(readAll(file).contains(utf16le(secondBackup + "\r\n")));
        QCOMPARE(m_prefix->wine({QStringLiteral("regedit"), QStringLiteral("/s"), test::WinePrefix::windowsPath(file)}), 0);
        QCOMPARE(m_prefix->exportKey(key), before);
    }

    // A prefix without hives (an empty folder, a missing one), no Wine, no helper: nothing is
    // started, nothing created, nothing deleted.
    void failsAtOnceWithoutRegistry()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        const QString missing = empty.filePath(QStringLiteral("never"));
        WineRegistryDeleter emptyPrefix(helperPath(), empty.path());
        WineRegistryDeleter missingPrefix(helperPath(), missing);
        WineRegistryDeleter noWine(helperPath(), m_prefix->path());
        noWine.setWineLoader(QStringLiteral("/nonexistent/wine64"));
        WineRegistryDeleter noHelper(QStringLiteral("/nonexistent/brisquel-regdel.exe"), m_prefix->path());

        for (WineRegistryDeleter *deleter : {&emptyPrefix, &missingPrefix, &noWine, &noHelper}) {
            QVERIFY(!deleter->remove(testKey + "\\Odd\\Target"));
            QCOMPARE(deleter->lastError(), errorNoRegistry);
            QCOMPARE(deleter->helperProcessId(), 0);
            deleter->runFinished();
        }
        QVERIFY(isEmptyFolder(empty.path()));
        QVERIFY(!QFileInfo::exists(missing));
        QVERIFY(exists(testKey + "\\Odd|Target"));
    }

    void defaultsComeFromTheEnvironment()
    {
        QTemporaryDir home;
        QTemporaryDir work; // the backups go below the working folder
        QVERIFY(home.isValid() && work.isValid());
        const QString oldWork = QDir::currentPath();
        QVERIFY(QDir::setCurrent(work.path()));
        const auto restoreWork = qScopeGuard([&oldWork] { QDir::setCurrent(oldWork); });
        const std::unique_ptr<cleanup::EntryDeleter> deleter = makeRegistryDeleter();
        bool removedThere = false;
        bool removedAtHome = true;
        {
            // $WINEPREFIX, and the helper beside the running program (this test sits with it in bin).
            const ScopedVariable prefix("WINEPREFIX", QFile::encodeName(m_prefix->path()));
            removedThere = deleter->remove(testKey + "\\Life\\7");
            deleter->runFinished();
        }
        {
            // Else ~/.wine, which isn't created when it's missing.
            const ScopedVariable noPrefix("WINEPREFIX");
            const ScopedVariable homeFolder("HOME", QFile::encodeName(home.path()));
            removedAtHome = deleter->remove(testKey + "\\Life\\Absent");
            deleter->runFinished();
        }
        QVERIFY(removedThere);
        QVERIFY(!exists(testKey + "\\Life|7"));
        QVERIFY(!removedAtHome);
        QVERIFY(isEmptyFolder(home.path()));
        QCOMPARE(QDir(work.filePath(defaultBackupFolder())).entryList({QStringLiteral("*.reg")}).size(), 1);
    }

    void helperLivesForOneRun()
    {
        qint64 pid = 0;
        {
            WineRegistryDeleter deleter(helperPath(), m_prefix->path());
            QCOMPARE(deleter.helperProcessId(), 0);
            QVERIFY(deleter.remove(testKey + "\\Life\\1"));
            pid = deleter.helperProcessId();
            QVERIFY(pid > 0);
            QVERIFY(!deleter.remove(testKey + "\\Life\\1")); // gone already
            QCOMPARE(deleter.lastError(), 2u);
            QCOMPARE(deleter.helperProcessId(), pid);
            deleter.runFinished();
            QCOMPARE(deleter.helperProcessId(), 0);
            QTRY_VERIFY(processGone(pid)); // ended without waiting on this thread

            // The next run starts a helper of its own; the destructor ends it.
            QVERIFY(deleter.remove(testKey + "\\Life\\2"));
            pid = deleter.helperProcessId();
            QVERIFY(pid > 0);
        }
        QVERIFY(processGone(pid));
        QVERIFY(exists(testKey + "\\Life|3"));
    }

    void helperInChineseFolderUnderCLocale()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.filePath(QStringLiteral("清理 工具"));
        QVERIFY(QDir().mkpath(folder));
        const QString copy = folder + QStringLiteral("/brisquel-regdel.exe");
        QVERIFY(QFile::copy(helperPath(), copy));

        bool removed = false;
        {
            const ScopedVariable all("LC_ALL", "C");
            const ScopedVariable lang("LANG", "C");
            RegistryDeleter deleter(copy, m_prefix->path());
            removed = deleter.remove(testKey + "\\Life\\6");
            deleter.runFinished();
        }
        QVERIFY(removed);
        QVERIFY(!exists(testKey + "\\Life|6"));
    }

    void killedHelperIsReplaced()
    {
        WineRegistryDeleter deleter(helperPath(), m_prefix->path());
        QVERIFY(deleter.remove(testKey + "\\Life\\3"));
        const qint64 pid = deleter.helperProcessId();
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        // Wait without an event loop, so the deleter itself has to notice the death.
        QElapsedTimer timer;
        timer.start();
        while (!isZombie(pid) && timer.elapsed() < 10000)
            QThread::msleep(10);
        QVERIFY(isZombie(pid));

        // Found dead before the request went out: a new helper does the deletion.
        QVERIFY(deleter.remove(testKey + "\\Life\\4"));
        QVERIFY(!exists(testKey + "\\Life|4"));
        QVERIFY(deleter.helperProcessId() > 0);
        QVERIFY(deleter.helperProcessId() != pid);
        QVERIFY(processGone(pid));
        deleter.runFinished();
        QVERIFY(exists(testKey + "\\Life|5"));
    }

    void helperThatFailsMidRequest_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<int>("answerMs");
        QTest::addColumn<quint32>("error");
        QTest::addColumn<int>("boundMs"); // a dead helper isn't waited for until the timeout
        QTest::newRow("dies") << QByteArray("die-second") << 5000 << errorHelperFailed << 5000;
        QTest::newRow("hangs") << QByteArray("hang-second") << 1500 << errorHelperTimeout << 1500 + 5000;
    }

    void helperThatFailsMidRequest()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(int, answerMs);
        QFETCH(quint32, error);
        QFETCH(int, boundMs);
        const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL", behaviour);
        WineRegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
        deleter.setTimeouts(30000, answerMs);

        QVERIFY(deleter.remove(testKey + "\\Life\\5"));
        const qint64 pid = deleter.helperProcessId();
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!deleter.remove(testKey + "\\Life\\5"));
        QCOMPARE(deleter.lastError(), error);
        QVERIFY2(timer.elapsed() < boundMs, "the wait for a failed helper wasn't bounded");
        QCOMPARE(deleter.helperProcessId(), 0);
        QTRY_VERIFY(processGone(pid)); // ended without waiting on this thread

        // The next deletion gets a helper of its own.
        QVERIFY(deleter.remove(testKey + "\\Life\\5"));
        QVERIFY(deleter.helperProcessId() != pid);
        deleter.runFinished();
    }

    void freshHelperThatDiesIsTriedOnceMore()
    {
        QTemporaryDir markers;
        QVERIFY(markers.isValid());
        const QString marker = markers.filePath(QStringLiteral("died"));

        // Only the first start dies: the second helper does the deletion.
        const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL",
                                       "die-first:" + test::WinePrefix::windowsPath(marker).toUtf8());
        WineRegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
        QVERIFY(deleter.remove(testKey + "\\Life\\5"));
        QVERIFY(QFile::exists(marker));
        QVERIFY(deleter.helperProcessId() != 0);
        deleter.runFinished();
    }

    void brokenHelperIsNotRetriedThisRun_data()
    {
        QTest::addColumn<QByteArray>("behaviour");
        QTest::addColumn<quint32>("error");
        QTest::newRow("never answers") << QByteArray("silent") << errorHelperTimeout;
        QTest::newRow("talks nonsense") << QByteArray("garbage") << errorHelperFailed;
        // Dies at both tries.
        QTest::newRow("dies at every start") << QByteArray("die-first") << errorHelperFailed;
    }

    void brokenHelperIsNotRetriedThisRun()
    {
        QFETCH(QByteArray, behaviour);
        QFETCH(quint32, error);
        const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL", behaviour);
        WineRegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
        deleter.setTimeouts(2000, 1000);

        QVERIFY(!deleter.remove(testKey + "\\Life\\5"));
        QCOMPARE(deleter.lastError(), error);
        QCOMPARE(deleter.helperProcessId(), 0);

        // The rest of the run is passed over without starting Wine again.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!deleter.remove(testKey + "\\Life\\5"));
        QCOMPARE(deleter.lastError(), errorHelperFailed);
        QCOMPARE(deleter.helperProcessId(), 0);
        QVERIFY(timer.elapsed() < 1000);

        // A new run tries again.
        const ScopedVariable healed("BRISQUEL_FAKE_REGDEL", "ok");
        deleter.runFinished();
        QVERIFY(deleter.remove(testKey + "\\Life\\5"));
        deleter.runFinished();
    }

    // Lines written to the helper directly, past the deleter's own checks.
    void helperActsOnlyOnWholeValidRequests_data()
    {
        QTest::addColumn<QByteArray>("requests");
        QTest::addColumn<QByteArray>("answers");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("kept");

        const QString proto = testKey + "\\Proto|";
        // A request cut off by a dying sender names something else ("...\Proto\A" of
        // "...\Proto\AB"): the helper must not act on it.
        QTest::newRow("unterminated request")
                << QByteArray(encodeRequest(u"HKCU\\Software\\BrisquelTest\\Proto\\A")->c_str()) << QByteArray()
                << QStringList() << QStringList{proto + "A"};
        const QByteArray line = "HKCU\\Software\\BrisquelTest\\Proto\\";
        QTest::newRow("corrupt requests") << line + "B\rx\n"                                      // raw CR
                                                 + line + "%4\n"                                  // bad escape
                                                 + line + "\xff\n"                                // no UTF-8
                                                 + QByteArray(int(maxRequestBytes) + 10, 'x') + "\n" // too long
                                                 + line + "%43\n"                                 // "C", escaped
                                                 + line + "D\n"
                                          << QByteArray("ERR 13\nERR 13\nERR 13\nERR 206\n0\n0\n")
                                          << QStringList{proto + "C", proto + "D"}
                                          << QStringList{proto + "A", proto + "B", proto + "E"};
        // A checked delete takes only what the helper's last export found.
        QTest::newRow("checked deletes") << "CHECKED " + line + "F\nEXPORT " + line + "F\nCHECKED " + line + "G\n"
                                                 + "EXPORT " + line + "G\nCHECKED " + line + "G\n"
                                          << QByteArray("ERR 1237\nVALUE 1 78000000 F\n0\nERR 1237\n"
                                                        "VALUE 1 78000000 G\n0\n0\n")
                                          << QStringList{proto + "G"} << QStringList{proto + "F"};
    }

    void helperActsOnlyOnWholeValidRequests()
    {
        QFETCH(QByteArray, requests);
        QFETCH(QByteArray, answers);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, kept);

        QProcess helper;
        helper.setProcessEnvironment(m_prefix->environment());
        helper.setStandardErrorFile(QProcess::nullDevice());
        helper.start(findWineLoader(), {helperPath()});
        QVERIFY(helper.waitForStarted());
        helper.write(requests);
        helper.closeWriteChannel();
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(helper.readAllStandardOutput(), answers);
        QCOMPARE(present(gone), QStringList());
        QCOMPARE(present(kept), kept);
    }

    // The whole backup, however many entries a run deletes, stays one that a restore takes:
    // an entry whose section would pass the bound is not backed up, so not deleted.
    void backupNeverOutgrowsTheRestore()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        RegistryBackup backup;
        backup.setFolder(folder.path());
        backup.setPrefix(m_prefix->path());
        backup.startRun();
        const std::u16string entry = u"HKCU\\Software\\Big\\";
        const RegistryName name = parseRegistryName(entry).name;
        // Each byte of binary data takes over six in the file: two of these pass 64 MiB.
        const ExportedValue blob{u"Blob", 3, std::string(std::size_t(11) << 19, '\x5a')};
        QCOMPARE(backup.append(entry, name, u"Big", {blob}), 0u);
        const qint64 size = QFileInfo(backup.fileName()).size();
        QVERIFY(size > qint64(32 << 20) && size < qint64(maxBackupFileBytes));
        QCOMPARE(backup.append(entry, name, u"Big", {blob}), errorBackupTooLarge);
        const ExportedValue huge{u"Huge", 3, std::string(maxBackupFileBytes + 1, '\0')};
        QCOMPARE(backup.append(entry, name, u"Big", {huge}), errorBackupTooLarge);
        QCOMPARE(QFileInfo(backup.fileName()).size(), size);
        // What is there is still a backup of ours, vouched for.
        const QByteArray bytes = readAll(backup.fileName());
        const BackupFileCheck check = readBackupFile(std::string_view(bytes.constData(), size_t(bytes.size())));
        QVERIFY(check.ok());
        QCOMPARE(check.file.sections.size(), 1u);
        QVERIFY(check.file.sections[0].entry == entry);
        const std::optional<QByteArray> key = backupKey(folder.path(), false);
        QVERIFY(key && vouchedFor(*key, check.file));
        QCOMPARE(QFileInfo(backupKeyPath(folder.path())).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    // A prefix made by another Wine build is never started, so never brought up to date.
    void otherWineBuildIsLeftAlone()
    {
        m_prefix->stopServer();
        QTemporaryDir other;
        QVERIFY(other.isValid());
        for (const QString &hive : {QStringLiteral("system.reg"), QStringLiteral("user.reg")})
            QVERIFY(QFile::copy(m_prefix->path() + u'/' + hive, other.filePath(hive)));
        QFile stamp(other.filePath(QStringLiteral(".update-timestamp")));
        QVERIFY(stamp.open(QIODevice::WriteOnly) && stamp.write("1234567890\n") == 11);
        stamp.close();
        const QStringList before = mtimes(other.path());
        QTemporaryDir backups;
        QVERIFY(backups.isValid());
        WineRegistryDeleter deleter(helperPath(), other.path());
        deleter.setBackupFolder(backups.path());
        deleter.runStarted();
        QVERIFY(!deleter.remove(testKey + "\\Life\\3"));
        QCOMPARE(deleter.lastError(), errorOtherWineBuild);
        QCOMPARE(deleter.helperProcessId(), 0);
        deleter.runFinished();
        QCOMPARE(mtimes(other.path()), before);
        QVERIFY(isEmptyFolder(backups.path()));
        QVERIFY(test::processesIn(other.path()).isEmpty());
    }

    // A run ends the Wine it started (server, services, helper), and leaves a session that was
    // running before it alone.
    void runEndsOnlyTheWineItStarted()
    {
        QVERIFY(m_prefix->addValue(testKey + "\\Session", "A") && m_prefix->addValue(testKey + "\\Session", "B"));
        m_prefix->stopServer();
        QVERIFY(!wineServerProcess(m_prefix->path()));
        {
            RegistryDeleter deleter(helperPath(), m_prefix->path());
            deleter.runStarted();
            QVERIFY(deleter.remove(testKey + "\\Session\\A"));
            const std::optional<qint64> server = wineServerProcess(m_prefix->path());
            QVERIFY(server);
            deleter.runFinished();
            QVERIFY(deleter.waitForWineToEnd(60000));
            QVERIFY(!wineServerProcess(m_prefix->path()));
            QVERIFY(processGone(*server) || isZombie(*server));
        }
        QCOMPARE(test::processesIn(m_prefix->path()), QList<qint64>());

        QVERIFY(m_prefix->keepServerRunning());
        const std::optional<qint64> session = wineServerProcess(m_prefix->path());
        QVERIFY(session);
        {
            RegistryDeleter deleter(helperPath(), m_prefix->path());
            deleter.runStarted();
            QVERIFY(deleter.remove(testKey + "\\Session\\B"));
            deleter.runFinished();
            QVERIFY(deleter.waitForWineToEnd(60000));
        }
        QCOMPARE(wineServerProcess(m_prefix->path()), session);
        QVERIFY(!exists(testKey + "\\Session|A") && !exists(testKey + "\\Session|B"));
    }

private:
    // "KEY" names a key, "KEY|NAME" a value of it.
    bool exists(const QString &item) const
    {
        const qsizetype bar = item.indexOf(u'|');
        return bar < 0 ? m_prefix->keyExists(item) : m_prefix->valueExists(item.left(bar), item.mid(bar + 1));
    }

    // Those of `items` the prefix holds, in their order.
    QStringList present(const QStringList &items) const
    {
        QStringList found;
        for (const QString &item : items) {
            if (exists(item))
                found.append(item);
        }
        return found;
    }

    bool takeSnapshot(QList<QByteArray> &exports) const
    {
        exports.clear();
        for (const QString &root : fixtureRoots) {
            const QByteArray bytes = m_prefix->exportKey(root);
            if (bytes.isEmpty()) {
                qWarning("reg export %s failed: %s", qPrintable(root), m_prefix->lastErrorOutput().constData());
                return false;
            }
            exports.append(bytes);
        }
        return true;
    }

    std::unique_ptr<test::WinePrefix> m_prefix;
    QTemporaryDir m_backups;
    std::unique_ptr<RegistryDeleter> m_deleter;
    QList<QByteArray> m_snapshot;
};

QTEST_GUILESS_MAIN(TestRegistryDeleter)
#include "test_registry_deleter.moc"
