// The shipped lists against a home as people have it: the junk goes, everything else stays.

#include "cleanup/files/pattern_delete.h"
#include "cleanup/registry/registry_deleter.h"
#include "platform/line_file.h"
#include "platform/wine_prefixes.h"
#include "scoped_variable.h"
#include "wine_prefix.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString explorer = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer");

// History keys as Windows programs leave them, and settings beside them that must stay.
QString registryFixture()
{
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\n\n");
    for (const QString &history :
         {QStringLiteral("\\RecentDocs"), QStringLiteral("\\RecentDocs\\.txt"), QStringLiteral("\\RecentDocs\\Folder"),
          QStringLiteral("\\RunMRU"), QStringLiteral("\\ComDlg32\\OpenSavePidlMRU"),
          QStringLiteral("\\ComDlg32\\OpenSavePidlMRU\\*"), QStringLiteral("\\ComDlg32\\OpenSavePidlMRU\\docx"),
          QStringLiteral("\\ComDlg32\\LastVisitedPidlMRU"), QStringLiteral("\\ComDlg32\\OpenSaveMRU"),
          QStringLiteral("\\ComDlg32\\OpenSaveMRU\\txt"), QStringLiteral("\\ComDlg32\\LastVisitedMRU"),
          QStringLiteral("\\TypedPaths")})
        text += u'[' + explorer + history + QStringLiteral("]\n\"MRUList\"=\"a\"\n\"a\"=\"C:\\\\secret.txt\"\n\n");
    text += QStringLiteral("[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\n"
                           "\"url1\"=\"http://example.org/\"\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced]\n"
                           "\"Hidden\"=dword:00000001\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\Settings]\n"
                           "\"View\"=\"details\"\n\n"
                           "[HKEY_CURRENT_USER\\Software\\Tencent\\WeChat]\n\"Language\"=\"zh-CN\"\n\n");
    return text;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

// Every file below `root` with a digest of its bytes; links are listed, never followed. The
// hives and Wine's own bookkeeping change with every Wine command and are left out.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(QLatin1String(".reg")) || path.endsWith(QLatin1String("/.update-timestamp")))
            continue;
        QFile file(path);
        const QFileInfo info(path);
        files.insert(path, info.isSymLink() ? info.symLinkTarget().toUtf8()
                                            : (file.open(QIODevice::ReadOnly)
                                                   ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                                   : QByteArray("unreadable")));
    }
    return files;
}

// A registry export's sections, by key in lower case, each with its text.
QMap<QString, QString> sections(const QByteArray &exported)
{
    if (exported.size() < 2)
        return {};
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(exported.constData() + 2),
                                            (exported.size() - 2) / 2);
    QMap<QString, QString> found;
    for (const QString &section : text.split(QStringLiteral("\r\n\r\n"), Qt::SkipEmptyParts)) {
        if (section.startsWith(u'['))
            found.insert(section.section(u']', 0, 0).toLower(), section);
    }
    return found;
}

bool isHistory(const QString &section)
{
    static const QRegularExpression history(
        QStringLiteral("^\\[hkey_current_user\\\\software\\\\microsoft\\\\(windows\\\\currentversion\\\\explorer\\\\"
                       "(recentdocs|runmru|typedpaths|comdlg32\\\\(opensavepidlmru|lastvisitedpidlmru|opensavemru|"
                       "lastvisitedmru))|internet explorer\\\\typedurls)(\\\\|$)"));
    return history.match(section).hasMatch();
}

} // namespace

class TestRealisticHome : public QObject
{
    Q_OBJECT

private slots:
    void shippedListsCleanOnlyTheJunk()
    {
        QTemporaryDir home;
        QTemporaryDir work;
        const ScopedVariable homeVariable("HOME", QFile::encodeName(home.path()));
        const ScopedVariable noPrefix("WINEPREFIX");
        const ScopedVariable noCache("XDG_CACHE_HOME");
        const ScopedVariable noConfig("XDG_CONFIG_HOME");

        // ~/.wine and a deepin-wine prefix, both with history and settings in their registry.
        test::WinePrefix wine;
        QVERIFY2(wine.isValid(), qPrintable(wine.errorString()));
        QVERIFY2(wine.importReg(registryFixture()), wine.lastErrorOutput().constData());
        wine.waitForServerExit();
        const std::unique_ptr<test::WinePrefix> wechat = test::WinePrefix::copyOf(wine);
        QVERIFY2(wechat->isValid(), qPrintable(wechat->errorString()));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".deepinwine"))));
        QVERIFY(QFile::link(wine.path(), home.filePath(QStringLiteral(".wine"))));
        QVERIFY(QFile::link(wechat->path(), home.filePath(QStringLiteral(".deepinwine/Deepin-WeChat"))));
        // A program pointed the second prefix's TEMP at its user's desktop, which Wine links to
        // the home's: that prefix has no temp folder to clean, and the desktop stays.
        const QString userName = qEnvironmentVariable("USER", QStringLiteral("root"));
        QVERIFY(wechat->addValue(QStringLiteral("HKCU\\Environment"), QStringLiteral("TEMP"),
                                 QStringLiteral("%USERPROFILE%\\Desktop")));
        wechat->waitForServerExit();
        QCOMPARE(platform::windowsEnvironment(wechat->path()).value(QStringLiteral("TEMP")),
                 QStringLiteral("C:\\users\\") + userName + QStringLiteral("\\Desktop"));
        const QString wechatDesktop = wechat->path() + QStringLiteral("/drive_c/users/") + userName + QStringLiteral("/Desktop");
        // Wine links it to the home itself when the home has no Desktop: remove only the link.
        QVERIFY(QFileInfo(wechatDesktop).isSymLink() ? QFile::remove(wechatDesktop)
                                                       : QDir(wechatDesktop).removeRecursively());
        QVERIFY(QFile::link(home.filePath(QStringLiteral("Desktop")), wechatDesktop));
        writeFile(home.filePath(QStringLiteral("Desktop/notes.txt")), "notes");

        // What a person has: none of it may change.
        writeFile(home.filePath(QStringLiteral("Documents/报告.docx")), "report");
        writeFile(home.filePath(QStringLiteral("Pictures/photo.png")), "photo");
        writeFile(home.filePath(QStringLiteral("Downloads/setup.tmp")), "a download");
        writeFile(home.filePath(QStringLiteral(".config/app/settings.ini")), "[a]");
        writeFile(home.filePath(QStringLiteral("project/build/cache.tmp")), "tmp of the project");
        writeFile(home.filePath(QStringLiteral("project/logs/run.log")), "log of the project");
        writeFile(home.filePath(QStringLiteral(".cache/thumbnails/normal/README")), "not a thumbnail");
        QStringList junk;
        for (const char *size : {"normal", "large", "x-large", "xx-large"})
            junk << home.filePath(QStringLiteral(".cache/thumbnails/%1/0123abcd.png").arg(QLatin1String(size)));
        for (const test::WinePrefix *prefix : {&wine, wechat.get()}) {
            const QString c = prefix->path() + QStringLiteral("/drive_c/");
            const QString user = c + QStringLiteral("users/") + userName;
            QVERIFY(QFileInfo(user).isDir());
            writeFile(c + QStringLiteral("users/Public/Documents/合同.doc"), "contract");
            writeFile(c + QStringLiteral("Program Files/App/app.exe"), "MZ");
            writeFile(user + QStringLiteral("/AppData/Roaming/Tencent/WeChat/config.data"), "settings");
            writeFile(user + QStringLiteral("/AppData/Roaming/Tencent/WeChat/xweb/crash/Crashpad/settings.dat"), "s");
            if (prefix == &wine)
                junk << user + QStringLiteral("/Temp/~DF1234.tmp");
            else
                writeFile(user + QStringLiteral("/Temp/~DF1234.tmp"), "not what its TEMP names");
            junk << c + QStringLiteral("windows/temp/setup.log")
                 << user + QStringLiteral("/AppData/Roaming/Microsoft/Windows/Recent/报告.docx.lnk")
                 << user + QStringLiteral("/AppData/Roaming/Tencent/WeChat/xweb/crash/Crashpad/reports/a1b2.dmp");
        }
        for (const QString &file : std::as_const(junk))
            writeFile(file, "junk");

        QMap<QString, QByteArray> expected;
        for (const QString &root : {home.path(), wine.path(), wechat->path()})
            expected.insert(snapshot(root));
        for (const QString &file : std::as_const(junk))
            QVERIFY(expected.remove(file) == 1);
        QMap<QString, QMap<QString, QString>> keptKeys;
        for (const test::WinePrefix *prefix : {&wine, wechat.get()}) {
            QMap<QString, QString> all = sections(prefix->exportKey(QStringLiteral("HKCU\\Software")));
            QVERIFY(all.size() > 30);
            all.removeIf([](const auto &it) { return isHistory(it.key()); });
            keptKeys.insert(prefix->path(), all);
        }

        QDir::setCurrent(work.path());
        const QString data = QStringLiteral(BRISQUEL_SOURCE_DIR "/data/");
        const QStringList fileList = platform::readLines(data + QStringLiteral("Wjql.ini")).lines;
        const QStringList registryList = platform::readLines(data + QStringLiteral("Zcql.ini")).lines;
        QVERIFY(fileList.size() > 10 && registryList.size() > 10);

        for (int run = 0; run < 2; ++run) {
            cleanup::files::FilePatternDeleter files;
            const std::unique_ptr<cleanup::EntryDeleter> registry = cleanup::registry::makeRegistryDeleter();
            int deleted = 0;
            files.runStarted();
            for (const QString &entry : fileList)
                deleted += files.remove(entry);
            files.runFinished();
            registry->runStarted();
            for (const QString &entry : registryList)
                deleted += registry->remove(entry);
            registry->runFinished();
            // The second run finds nothing left to delete.
            if (run == 1)
                QCOMPARE(deleted, 0);
            else
                QVERIFY(deleted > 10);
        }

        QMap<QString, QByteArray> after;
        for (const QString &root : {home.path(), wine.path(), wechat->path()})
            after.insert(snapshot(root));
        after.removeIf([](const auto &it) { return it.key().contains(QLatin1String("/注册表备份/")); });
        QCOMPARE(after.keys(), expected.keys());
        QVERIFY(after == expected);
        for (const test::WinePrefix *prefix : {&wine, wechat.get()}) {
            const QMap<QString, QString> now = sections(prefix->exportKey(QStringLiteral("HKCU\\Software")));
            for (auto it = now.cbegin(); it != now.cend(); ++it)
                QVERIFY2(!isHistory(it.key()), qPrintable(it.key()));
            const QMap<QString, QString> kept = keptKeys.value(prefix->path());
            for (auto it = kept.cbegin(); it != kept.cend(); ++it)
                QVERIFY2(now.contains(it.key()), qPrintable(it.key()));
        }

        // One backup per prefix, each naming its prefix; importing it there brings the history back.
        const QFileInfoList backups = QDir(work.filePath(cleanup::registry::defaultBackupFolder()))
                                          .entryInfoList({QStringLiteral("*.reg")}, QDir::Files);
        QCOMPARE(backups.size(), 2);
        for (const QFileInfo &backup : backups) {
            QFile file(backup.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData() + 2),
                                                    (bytes.size() - 2) / 2);
            const QString named = text.section(QStringLiteral("; Wine prefix: "), 1).section(u'\r', 0, 0);
            const test::WinePrefix *prefix = named == home.filePath(QStringLiteral(".wine")) ? &wine : wechat.get();
            QCOMPARE(named, prefix == &wine ? home.filePath(QStringLiteral(".wine"))
                                            : home.filePath(QStringLiteral(".deepinwine/Deepin-WeChat")));
            QVERIFY(prefix->reg({QStringLiteral("import"), test::WinePrefix::windowsPath(backup.filePath())}));
            QVERIFY(prefix->keyExists(explorer + QStringLiteral("\\RunMRU")));
        }
    }
};

QTEST_GUILESS_MAIN(TestRealisticHome)
#include "test_realistic_home.moc"
