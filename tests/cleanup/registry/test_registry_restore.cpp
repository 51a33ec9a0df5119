// Looking registry entries up without deleting them, and putting a run's backup back, against
// one real throwaway Wine prefix.

#include "cleanup/registry/backup_file.h"
#include "cleanup/registry/backup_restore.h"
#include "cleanup/registry/backup_seal.h"
#include "cleanup/registry/registry_deleter.h"
#include "cleanup/registry/registry_preview.h"
#include "scoped_variable.h"
#include "wine_prefix.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace cleanup::registry;

namespace {

const QString base = QStringLiteral("HKCU\\Software\\BrisquelRestore");

QString helperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe");
}

QByteArray utf16le(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

ExportedValue text(const std::u16string &name, const QString &data)
{
    return {name, 1, utf16le(data + QChar(0)).toStdString()};
}

QByteArray backupBytes(const QString &prefix, std::vector<BackupSection> sections, const QByteArray &key = {})
{
    BackupFile file{prefix.toStdU16String(), std::move(sections), {}};
    if (!key.isEmpty())
        file.checksum = backupChecksum(key, file);
    const std::string bytes = writeBackupFile(file);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QStringList mtimes(const QString &folder)
{
    QStringList out;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden))
        out << info.fileName() + u' ' + QString::number(info.lastModified().toMSecsSinceEpoch());
    return out;
}

} // namespace

class TestRegistryRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_prefix = std::make_unique<test::WinePrefix>();
        QVERIFY2(m_prefix->isValid(), qPrintable(m_prefix->errorString()));
        QVERIFY(m_prefix->keepServerRunning());
        QString text = QStringLiteral("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Mixed]\n"
                                      "@=\"default\"\n\"Text\"=\"中文 text\"\n\"Number\"=dword:0000002a\n"
                                      "\"Path\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\n"
                                      "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\n\"Blob\"=hex:");
        for (int i = 0; i < 60; ++i)
            text += QStringLiteral("%1%2").arg(i, 2, 16, QLatin1Char('0')).arg(i == 59 ? "" : ",");
        text += QStringLiteral("\n\n[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Mixed\\Sub]\n\"V\"=\"x\"\n\n"
                               "[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Bare]\n\n"
                               "[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\n\"A\"=\"1\"\n\"B\"=\"2\"\n\"Keep\"=\"3\"\n\n"
                               "[HKEY_LOCAL_MACHINE\\Software\\BrisquelRestore]\n\"M\"=dword:00000001\n");
        QVERIFY2(m_prefix->importReg(text), m_prefix->lastErrorOutput().constData());
        QVERIFY2(m_prefix->addValue(base + "\\Singles", "line\nfeed", "two\nlines"),
                 m_prefix->lastErrorOutput().constData());
    }

    void cleanupTestCase() { m_prefix.reset(); }

    // What the previewer finds is what a deletion would take; the registry stays as it was.
    void previewFindsWithoutDeleting()
    {
        // The preview reads the hives, which a running server writes only now and then.
        m_prefix->stopServer();
        const QByteArray before = m_prefix->exportKey(base);
        m_prefix->stopServer();
        QVERIFY(!before.isEmpty());
        QTemporaryDir noRegistry;
        QVERIFY(noRegistry.isValid());
        RegistryPreviewer previewer(helperPath(), {m_prefix->path(), noRegistry.path()});
        QCOMPARE(previewer.prefixes(), QStringList({m_prefix->path(), noRegistry.path()}));

        std::vector<PreviewedEntry> found = previewer.preview(QStringLiteral("hkcu\\software\\brisquelrestore\\singles\\"));
        QCOMPARE(found.size(), 2u);
        QCOMPARE(found[0].error, 0u);
        QVERIFY(found[0].isKey);
        QCOMPARE(found[0].keyName, QStringLiteral("Singles"));
        QCOMPARE(found[0].keyPath, QStringLiteral("HKEY_CURRENT_USER\\software\\brisquelrestore\\Singles"));
        QCOMPARE(found[0].values.size(), 4u);
        QVERIFY(found[0].values[3].name == u"line\nfeed");
        QCOMPARE(describeValueData(found[0].values[3]), QStringLiteral("two\\nlines"));
        QCOMPARE(found[1].error, errorNoRegistry);

        found = previewer.preview(base + "\\Mixed\\Number");
        QCOMPARE(found[0].error, 0u);
        QVERIFY(!found[0].isKey);
        QCOMPARE(found[0].keyPath, QStringLiteral("HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Mixed"));
        QCOMPARE(found[0].values.size(), 1u);
        QCOMPARE(valueTypeName(found[0].values[0].type), QStringLiteral("REG_DWORD"));
        QCOMPARE(describeValueData(found[0].values[0]), QStringLiteral("0x0000002a (42)"));

        // The failures a deletion would give.
        QCOMPARE(previewer.preview(base + "\\Mixed\\")[0].error, 5u);
        QCOMPARE(previewer.preview(base + "\\Missing\\")[0].error, 2u);
        QCOMPARE(previewer.preview(base + "\\Mixed\\Nope")[0].error, 2u);
        QCOMPARE(previewer.preview(QStringLiteral("HKCU"))[0].error, 87u);
        QCOMPARE(m_prefix->exportKey(base), before);
        m_prefix->keepServerRunning(); // for speed only: the export's server may still be up
    }

    // Entries are judged in list order, as the clean deletes them: subkeys named before their
    // key leave it deletable, and what went with a key is gone for later entries. A prefix
    // another Wine build made is left alone, its files untouched.
    void previewJudgesAsTheRunWould()
    {
        m_prefix->stopServer();
        QTemporaryDir other;
        QVERIFY(other.isValid());
        for (const QString &hive : {QStringLiteral("system.reg"), QStringLiteral("user.reg")})
            QVERIFY(QFile::copy(m_prefix->path() + u'/' + hive, other.filePath(hive)));
        QVERIFY(writeFile(other.filePath(QStringLiteral(".update-timestamp")), "1234567890\n"));
        const QStringList before = mtimes(other.path());

        RegistryPreviewer previewer(helperPath(), {m_prefix->path(), other.path()});
        const auto errors = [&previewer](const QString &entry) {
            const std::vector<PreviewedEntry> found = previewer.preview(entry);
            return std::pair{found[0].error, found[1].error};
        };
        QCOMPARE(errors(base + "\\Mixed\\"), std::pair(5u, errorOtherWineBuild));
        QCOMPARE(errors(base + "\\Mixed\\Sub\\"), std::pair(0u, errorOtherWineBuild));
        QCOMPARE(errors(base + "\\Mixed\\"), std::pair(0u, errorOtherWineBuild));
        QCOMPARE(errors(base + "\\Mixed\\Number"), std::pair(2u, errorOtherWineBuild));
        QCOMPARE(errors(base + "\\Singles\\A"), std::pair(0u, errorOtherWineBuild));
        QCOMPARE(errors(base + "\\Singles\\a"), std::pair(2u, errorOtherWineBuild));
        const std::vector<PreviewedEntry> singles = previewer.preview(base + "\\Singles\\");
        QCOMPARE(singles[0].values.size(), 3u);
        // Through Wine's links, as the registry calls go: HKCR is HKLM's classes.
        QCOMPARE(errors(QStringLiteral("HKCR\\ADODB.Command\\")).first, 5u);
        QCOMPARE(errors(QStringLiteral("HKCR\\ADODB.Command\\CurVer\\")).first, 0u);
        QCOMPARE(errors(QStringLiteral("HKLM\\System\\CurrentControlSet\\Control\\Nope\\")).first, 2u);
        QCOMPARE(errors(QStringLiteral("HKCR\\Wow6432Node\\AppId\\")).first, errorNotRestorable);
        const std::vector<PreviewedEntry> linked = previewer.preview(QStringLiteral("HKCR\\Wow6432Node\\AppId\\BITS\\AppID"));
        QCOMPARE(linked[0].error, 0u);
        QCOMPARE(describeValueData(linked[0].values.at(0)), QStringLiteral("{69AD4AEE-51BE-439B-A92C-86AE490E8B30}"));
        QCOMPARE(errors(QStringLiteral("HKCR\\AppID\\BITS\\AppID")).first, 2u); // gone with the entry before
        QCOMPARE(mtimes(other.path()), before);
        QVERIFY(!QFileInfo::exists(other.filePath(QStringLiteral("drive_c"))));
        QVERIFY(m_prefix->keepServerRunning());
    }

    void describesValueData_data()
    {
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<QString>("shown");
        QTest::newRow("string") << 1u << utf16le(QString::fromUtf16(u"中文\0", 3)) << 80 << QStringLiteral("中文");
        QTest::newRow("expandable, no terminator") << 2u << utf16le(QStringLiteral("%TEMP%")) << 80 << QStringLiteral("%TEMP%");
        QTest::newRow("terminal escape") << 1u << utf16le(QString::fromUtf16(u"a\x1b[2Jb\0", 7)) << 80 << QStringLiteral("a\\x1b[2Jb");
        QTest::newRow("multi-string") << 7u << utf16le(QString::fromUtf16(u"a\0bc\0\0", 6)) << 80 << QStringLiteral("a, bc");
        QTest::newRow("dword") << 4u << QByteArray("\xff\xff\xff\xff", 4) << 80 << QStringLiteral("0xffffffff (4294967295)");
        QTest::newRow("short dword") << 4u << QByteArray("\x01\x02", 2) << 80 << QStringLiteral("01 02");
        QTest::newRow("binary, cut") << 3u << QByteArray(40, '\xab') << 10 << QStringLiteral("ab ab ab …");
        QTest::newRow("string, cut") << 1u << utf16le(QString(100, u'x')) << 5 << QStringLiteral("xxxx…");
        QTest::newRow("lone surrogate") << 1u << utf16le(QString(QChar(0xD800))) << 80 << QStringLiteral("\uFFFD");
    }

    void describesValueData()
    {
        QFETCH(quint32, type);
        QFETCH(QByteArray, data);
        QFETCH(int, maxLength);
        QFETCH(QString, shown);
        QCOMPARE(describeValueData({u"", type, data.toStdString()}, maxLength), shown);
    }

    // A run's backup, restored, gives back exactly what the run deleted.
    void restoreUndoesARun()
    {
        const QByteArray before = m_prefix->exportKey(base);
        const QByteArray machine = m_prefix->exportKey(QStringLiteral("HKLM\\Software\\BrisquelRestore"));
        QVERIFY(!before.isEmpty() && !machine.isEmpty());
        QVERIFY(m_work.isValid());
        RegistryDeleter deleter(helperPath(), m_prefix->path());
        deleter.setBackupFolder(m_work.filePath(QStringLiteral("注册表备份")));
        deleter.runStarted();
        for (const QString &entry : {base + "\\Mixed\\Sub\\", base + "\\Mixed\\", base + "\\Bare\\", base + "\\Singles\\A",
                                     base + "\\Singles\\line\nfeed", QStringLiteral("HKLM\\Software\\BrisquelRestore\\M")})
            QVERIFY2(deleter.remove(entry), qPrintable(entry));
        m_backup = deleter.backupFileName();
        deleter.runFinished();
        QVERIFY(!m_prefix->keyExists(base + "\\Mixed"));

        // The file names the prefix, which still holds a registry: the restore goes there.
        const RestoreResult restored = restoreBackup(m_backup, options());
        QVERIFY2(restored.status == RestoreResult::Status::Restored, qPrintable(restored.message));
        QCOMPARE(restored.prefix, m_prefix->path());
        QCOMPARE(restored.keys, 5);
        QCOMPARE(restored.values, 10);
        QCOMPARE(restored.message, QStringLiteral("已将 5 个键、10 个值恢复到“%1”。").arg(m_prefix->path()));
        QCOMPARE(m_prefix->exportKey(base), before);
        QCOMPARE(m_prefix->exportKey(QStringLiteral("HKLM\\Software\\BrisquelRestore")), machine);
    }

    // The prefix the file names is gone: the restore says so and goes nowhere else, not to
    // $WINEPREFIX nor ~/.wine; sent to a prefix, it goes there.
    void restoreGoesOnlyWhereItIsSent()
    {
        QByteArray moved = readAll(m_backup);
        const QString gone = m_work.filePath(QStringLiteral("gone-prefix"));
        moved.replace(utf16le("; Wine prefix: " + m_prefix->path()), utf16le("; Wine prefix: " + gone));
        const QString file = m_work.filePath(QStringLiteral("moved.reg"));
        QVERIFY(writeFile(file, moved));
        QVERIFY(m_prefix->reg({QStringLiteral("delete"), base + "\\Bare", QStringLiteral("/f")}));
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const ScopedVariable homeFolder("HOME", QFile::encodeName(home.path()));
        const ScopedVariable current("WINEPREFIX", QFile::encodeName(m_prefix->path()));
        // The changed line breaks the checksum: only a confirmed restore goes on.
        RestoreOptions asked = options();
        asked.confirm = [](const QString &) { return true; };
        RestoreResult result = restoreBackup(file, asked);
        QCOMPARE(int(result.status), int(RestoreResult::Status::NoRegistry));
        QVERIFY2(result.message.contains(QStringLiteral("已不存在")), qPrintable(result.message));
        QVERIFY(!m_prefix->keyExists(base + "\\Bare"));
        asked.prefix = m_prefix->path();
        result = restoreBackup(file, asked);
        QVERIFY2(result.status == RestoreResult::Status::Restored, qPrintable(result.message));
        QCOMPARE(result.prefix, m_prefix->path());
        QVERIFY(m_prefix->keyExists(base + "\\Bare"));
        QVERIFY(!QFileInfo::exists(gone));
        QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    // Only what this installation wrote, where the entry it names could reach, goes back
    // unasked; places that steer programs never go back from a file we can't vouch for; only
    // the user's own prefix, reached through no one else's link, is written to.
    void restoreRefuses_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("target"); // "" the prefix; otherwise a folder below m_work
        QTest::addColumn<int>("answer");     // -1: no terminal; 0: no; 1: yes
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        const std::optional<QByteArray> key = backupKey(keyFolder(), false);
        QVERIFY(key);
        const QString prefix = m_prefix->path();
        const BackupSection planted{u"HKCU\\Software\\BrisquelRestore\\Bare\\",
                                    u"HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles", {}, {text(u"Keep", "planted")}};
        const auto unsealed = [&](const std::u16string &path, const std::u16string &name) {
            return backupBytes(prefix, {{{}, path, {}, {text(name, "planted")}}});
        };
        const int refused = int(RestoreResult::Status::Refused);
        const QString steers = QStringLiteral("影响程序运行的项");

        QTest::newRow("TEMP, unvouched, confirmed") << unsealed(u"HKEY_CURRENT_USER\\Environment", u"TEMP") << "" << 1 << refused << steers;
        QTest::newRow("HKLM Run, unvouched, confirmed")
            << unsealed(u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", u"evil") << "" << 1 << refused << steers;
        QTest::newRow("cmd AutoRun, unvouched, confirmed")
            << unsealed(u"HKEY_CURRENT_USER\\Software\\Microsoft\\Command Processor", u"AutoRun") << "" << 1 << refused << steers;
        QTest::newRow("DllOverrides, unvouched, confirmed")
            << unsealed(u"HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides", u"kernel32") << "" << 1 << refused << steers;
        QTest::newRow("sealed, outside its key entry") << backupBytes(prefix, {planted}, *key) << "" << -1 << refused
                                                       << QStringLiteral("不在其清理条目所及的范围内");
        BackupSection otherValue = planted;
        otherValue.entry = u"HKCU\\Software\\BrisquelRestore\\Singles\\A";
        otherValue.values.push_back(text(u"A", "1"));
        QTest::newRow("sealed, beside its value entry") << backupBytes(prefix, {otherValue}, *key) << "" << -1 << refused
                                                        << QStringLiteral("不在其清理条目所及的范围内");
        BackupSection environment = planted;
        environment.keyPath = u"HKEY_CURRENT_USER\\Environment";
        QTest::newRow("sealed, TEMP outside its entry, confirmed") << backupBytes(prefix, {environment}, *key) << "" << 1
                                                                   << refused << steers;
        QByteArray altered = backupBytes(prefix, {{planted.entry, u"HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Bare", {}, {}}}, *key);
        altered[altered.size() - 6] = altered[altered.size() - 6] == '0' ? '1' : '0';
        QTest::newRow("checksum altered") << altered << "" << -1 << refused << QStringLiteral("校验码不符");
        QTest::newRow("another installation's key") << backupBytes(prefix, {planted}, QByteArray(32, 'k')) << "" << -1 << refused
                                                    << QStringLiteral("校验码不符");
        QTest::newRow("older backup, no terminal") << unsealed(u"HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles", u"Keep")
                                                   << "" << -1 << refused << QStringLiteral("没有本程序的校验码），没有终端可以询问");
        QTest::newRow("older backup, declined") << unsealed(u"HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles", u"Keep")
                                                << "" << 0 << refused << QStringLiteral("未恢复");
        const QByteArray ours = readAll(m_backup);
        QTest::newRow("prefix gone") << ours << "gone" << -1 << int(RestoreResult::Status::NoRegistry) << QStringLiteral("已不存在");
        QTest::newRow("someone else's prefix") << ours << "theirs" << -1 << refused << QStringLiteral("不属于当前用户");
        QTest::newRow("through someone else's link") << ours << "link" << -1 << refused << QStringLiteral("经由他人拥有的链接");
        QTest::newRow("another Wine build") << ours << "other-build" << -1 << refused << QStringLiteral("其他版本的 Wine");
        QTest::newRow("'..' after a link") << ours << "hop/.." << -1 << refused << QStringLiteral("经由链接和“..”到达别处");
    }

    void restoreRefuses()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, target);
        QFETCH(int, answer);
        QFETCH(int, status);
        QFETCH(QString, reason);
        const QByteArray before = m_prefix->exportKey(base);
        QTemporaryDir places;
        QVERIFY(places.isValid());
        RestoreOptions asked = options();
        if (!target.isEmpty()) {
            asked.prefix = places.filePath(target);
            const QString theirs = places.filePath(QStringLiteral("theirs"));
            if (target == "theirs" || target == "other-build") {
                QVERIFY(QDir().mkpath(asked.prefix));
                QVERIFY(QFile::copy(m_prefix->path() + QStringLiteral("/system.reg"), asked.prefix + QStringLiteral("/system.reg")));
            }
            if (target == "other-build")
                QVERIFY(writeFile(asked.prefix + QStringLiteral("/.update-timestamp"), "1\n"));
            if (target == "theirs" && ::chown(QFile::encodeName(theirs).constData(), 4242, 4242) != 0)
                QSKIP("changing a file's owner needs root");
            // Followed, the link leads back into the prefix; folded away, ".." names a folder with none.
            if (target == "hop/..")
                QVERIFY(QFile::link(m_prefix->path() + QStringLiteral("/drive_c"), places.filePath(QStringLiteral("hop"))));
            if (target == "link") {
                QVERIFY(QFile::link(m_prefix->path(), asked.prefix));
                if (::lchown(QFile::encodeName(asked.prefix).constData(), 4242, 4242) != 0)
                    QSKIP("changing a link's owner needs root");
            }
        }
        bool shown = false;
        if (answer >= 0)
            asked.confirm = [&shown, answer](const QString &content) {
                shown = content.contains(QStringLiteral("[HKEY_"));
                return answer == 1;
            };
        const QString path = m_work.filePath(QStringLiteral("refused.reg"));
        QVERIFY(writeFile(path, file));
        const RestoreResult result = restoreBackup(path, asked);
        QCOMPARE(int(result.status), status);
        QVERIFY2(result.message.contains(reason), qPrintable(result.message));
        QVERIFY(result.message.endsWith(QStringLiteral("注册表未作任何更改。")));
        QCOMPARE(shown, answer == 0);
        QCOMPARE(m_prefix->exportKey(base), before);
    }

    // Anything but a whole backup of ours is refused before Wine is asked to do anything.
    void refusesWhatIsNotOurs_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray ours = readAll(m_backup);
        QVERIFY(ours.size() > 200);
        const QByteArray header = QByteArray("\xff\xfe", 2) + utf16le(QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"));
        const QByteArray comment = utf16le("; Wine prefix: " + m_prefix->path() + "\r\n\r\n");
        QVERIFY(ours.startsWith(header + comment));
        // Would change the registry if it were imported.
        const QByteArray planted = utf16le(QStringLiteral("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Keep\"=\"planted\"\r\n\r\n"));
        const QByteArray good = header + comment + planted;
        const auto section = [&](const QString &text) { return header + comment + utf16le(text); };

        QTest::newRow("truncated in the last section") << ours.chopped(2) << "文件不完整";
        QTest::newRow("truncated mid-character") << ours.chopped(3) << "不是 UTF-16 编码的注册表文件";
        QTest::newRow("truncated in the first section") << good.left(good.size() - 8) << "文件不完整";
        QTest::newRow("header only") << header + comment << "文件不完整";
        QTest::newRow("empty") << QByteArray() << "不是 UTF-16 编码的注册表文件";
        QTest::newRow("foreign, no prefix comment") << header + planted << "缺少 Wine 前缀说明";
        QTest::newRow("old editor's header") << QByteArray("REGEDIT4\r\n\r\n") << "不是 UTF-16 编码的注册表文件";
        QTest::newRow("UTF-8") << QString::fromUtf16(reinterpret_cast<const char16_t *>(good.constData() + 2), (good.size() - 2) / 2).toUtf8()
                               << "不是 UTF-16 编码的注册表文件";
        QByteArray bigEndian = good;
        for (qsizetype i = 0; i + 1 < bigEndian.size(); i += 2)
            std::swap(bigEndian[i], bigEndian[i + 1]);
        QTest::newRow("UTF-16BE") << bigEndian << "不是 UTF-16 编码的注册表文件";
        QTest::newRow("line after the last section") << good + utf16le(QStringLiteral("x\r\n")) << "第 8 行不是可恢复的注册表项";
        QTest::newRow("comment in a section") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n; note\r\n\"Keep\"=\"planted\"\r\n\r\n")
                                              << "第 6 行不是可恢复的值";
        QTest::newRow("key deletion") << section("[-HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\r\n")
                                      << "第 5 行不是可恢复的注册表项";
        QTest::newRow("root we never back up") << section("[HKEY_DYN_DATA\\Software]\r\n\"Keep\"=\"planted\"\r\n\r\n")
                                               << "第 5 行不是可恢复的注册表项";
        QTest::newRow("root lookalike") << section("[HKEY_CURRENT_USERS\\Software]\r\n\r\n") << "第 5 行不是可恢复的注册表项";
        QTest::newRow("empty key name") << section("[HKEY_CURRENT_USER\\Software\\\\BrisquelRestore]\r\n\r\n")
                                        << "第 5 行不是可恢复的注册表项";
        QTest::newRow("NUL in a name") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Ke" + QString(QChar(0)) + "y\"=\"planted\"\r\n\r\n")
                                       << "第 6 行含有空字符";
        QTest::newRow("lone surrogate") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"K" + QString(QChar(0xDC00)) + "\"=\"x\"\r\n\r\n")
                                        << "不是 UTF-16 编码的注册表文件";
        QTest::newRow("escape we never write") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"K\\t\"=\"x\"\r\n\r\n")
                                               << "第 6 行不是可恢复的值";
        QTest::newRow("bare line feed") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Keep\"=\"a\nb\"\r\n\r\n")
                                        << "第 6 行的换行不完整";
        QTest::newRow("huge value name") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"" + QString(20000, u'n') + "\"=\"x\"\r\n\r\n")
                                         << "第 6 行不是可恢复的值";
        QTest::newRow("upper-case hex") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Keep\"=hex:AB\r\n\r\n")
                                        << "第 6 行不是可恢复的值";
        QTest::newRow("a number written as hex") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Keep\"=hex(4):01,00,00,00\r\n\r\n")
                                                 << "格式与本程序写的备份不同";
        QTest::newRow("removal after a value") << section("[HKEY_CURRENT_USER\\Software\\BrisquelRestore\\Singles]\r\n\"Keep\"=\"x\"\r\n\"B\"=-\r\n\r\n")
                                               << "第 7 行不是可恢复的值";
        QByteArray huge = good;
        huge.resize(qsizetype(65 << 20), '\0');
        QTest::newRow("over the size bound") << huge << "文件过大";
    }

    void refusesWhatIsNotOurs()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        const QByteArray before = m_prefix->exportKey(base);
        QVERIFY(!before.isEmpty());
        const QString path = m_work.filePath(QStringLiteral("refused.reg"));
        QVERIFY(writeFile(path, file));
        const RestoreResult result = restoreBackup(path, m_prefix->path(), helperPath());
        QCOMPARE(int(result.status), int(RestoreResult::Status::NotOurBackup));
        QCOMPARE(result.message, QStringLiteral("“%1”不是本程序的注册表备份（%2）。注册表未作任何更改。").arg(path, reason));
        QCOMPARE(m_prefix->exportKey(base), before);
    }

    // No registry to go to, or one that doesn't hold what was imported: never a success.
    void failedRestoresSaySo()
    {
        QTemporaryDir empty;
        QVERIFY(empty.isValid());
        RestoreResult result = restoreBackup(m_backup, options(empty.path()));
        QCOMPARE(int(result.status), int(RestoreResult::Status::NoRegistry));
        QVERIFY(QDir(empty.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

        result = restoreBackup(m_work.filePath(QStringLiteral("missing.reg")), m_prefix->path(), helperPath());
        QCOMPARE(int(result.status), int(RestoreResult::Status::Failed));
        QVERIFY(result.message.startsWith(QStringLiteral("无法读取")));

        // A helper that lists no values: the check after the import finds nothing there.
        const ScopedVariable quiet("BRISQUEL_FAKE_REGDEL", "ok");
        result = restoreBackup(m_backup, options(m_prefix->path(),
                                       QCoreApplication::applicationDirPath() + QStringLiteral("/fake-regdel.exe")));
        QCOMPARE(int(result.status), int(RestoreResult::Status::Failed));
        QVERIFY2(result.message.contains(QStringLiteral("项与备份不符")), qPrintable(result.message));
        // No helper to read back with.
        result = restoreBackup(m_backup, options(m_prefix->path(), QStringLiteral("/nonexistent/brisquel-regdel.exe")));
        QCOMPARE(int(result.status), int(RestoreResult::Status::Failed));
        QCOMPARE(result.message, QStringLiteral("已导入“%1”，但无法读回注册表核对（错误 1011）。").arg(m_backup));
    }

private:
    QString keyFolder() const { return m_work.filePath(QStringLiteral("注册表备份")); }
    RestoreOptions options(const QString &prefix = {}, const QString &helper = helperPath()) const
    {
        RestoreOptions options;
        options.prefix = prefix;
        options.helperPath = helper;
        options.keyFolder = keyFolder();
        return options;
    }

    std::unique_ptr<test::WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_backup;
};

QTEST_GUILESS_MAIN(TestRegistryRestore)
#include "test_registry_restore.moc"
