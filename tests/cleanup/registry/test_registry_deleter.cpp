// Registry deletion through Wine, against a real throwaway prefix: what goes, what stays, and
// how the bridge copes with a missing prefix, a missing Wine and a helper that dies or hangs.

#include "cleanup/registry/helper_protocol.h"
#include "cleanup/registry/registry_deleter.h"
#include "scoped_variable.h"
#include "wine_prefix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

#include <signal.h>

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

// "KEY" names a key, "KEY|NAME" a value of it.
struct Item
{
    QString key;
    QString value;
    bool isValue = false;
};

Item item(const QString &text)
{
    const qsizetype bar = text.indexOf(u'|');
    if (bar < 0)
        return {text, {}, false};
    return {text.left(bar), text.mid(bar + 1), true};
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

bool processGone(qint64 pid)
{
    return pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

class TestRegistryDeleter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void deletesExactlyWhatIsNamed_data();
    void deletesExactlyWhatIsNamed();

    void prefixWithoutHivesFailsAtOnce();
    void defaultsComeFromTheEnvironment();
    void missingWineOrHelperFailsAtOnce();
    void helperLivesForOneRun();
    void helperInChineseFolderUnderCLocale();
    void killedHelperIsReplaced();
    void helperThatFailsMidRequest_data();
    void helperThatFailsMidRequest();
    void freshHelperThatDiesIsTriedOnceMore();
    void brokenHelperIsNotRetriedThisRun_data();
    void brokenHelperIsNotRetriedThisRun();

    void helperIgnoresUnterminatedRequest();
    void helperSurvivesCorruptRequests();

private:
    QProcess *startHelperDirectly();
    QString helperPath() const;
    // The stand-in helper; its behaviour comes from BRISQUEL_FAKE_REGDEL.
    QString fakeHelperPath() const;
    bool exists(const QString &text) const;
    bool takeSnapshot(QList<QByteArray> &exports) const;

    std::unique_ptr<test::WinePrefix> m_prefix;
    std::unique_ptr<RegistryDeleter> m_deleter;
    std::unique_ptr<QProcess> m_direct;
    QList<QByteArray> m_snapshot;
};

QString TestRegistryDeleter::helperPath() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe");
}

QString TestRegistryDeleter::fakeHelperPath() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/fake-regdel.exe");
}

bool TestRegistryDeleter::exists(const QString &text) const
{
    const Item it = item(text);
    return it.isValue ? m_prefix->valueExists(it.key, it.value) : m_prefix->keyExists(it.key);
}

bool TestRegistryDeleter::takeSnapshot(QList<QByteArray> &exports) const
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

void TestRegistryDeleter::initTestCase()
{
    QVERIFY2(QFileInfo(helperPath()).isFile(), "brisquel-regdel.exe is not built beside the test");
    QVERIFY2(!findWineLoader().isEmpty(), "no Wine loader found");

    m_prefix = std::make_unique<test::WinePrefix>();
    QVERIFY2(m_prefix->isValid(), qPrintable(m_prefix->errorString()));
    QVERIFY(m_prefix->keepServerRunning());
    const QString regText = fixture();
    QVERIFY2(!regText.isEmpty(), REGISTRY_FIXTURE);
    QVERIFY(m_prefix->importReg(regText));
    // Names `reg import` can't carry, and a key name Windows wouldn't allow but Wine does.
    QVERIFY(m_prefix->addValue(testKey + "\\Odd", "line\nfeed"));
    QVERIFY(m_prefix->addKey(testKey + "\\Long\\" + key255));
    QVERIFY(m_prefix->addValue(testKey + "\\Long\\" + key256, "V"));
    QVERIFY(exists(testKey + "\\Odd|line\nfeed"));
    QVERIFY(exists(testKey + "\\Odd|" + longValue));
    QVERIFY(exists(testKey + "\\中文 键\\子键"));

    m_deleter = std::make_unique<RegistryDeleter>(helperPath(), m_prefix->path());
}

void TestRegistryDeleter::cleanupTestCase()
{
    m_direct.reset();
    m_deleter.reset();
    m_prefix.reset();
}

void TestRegistryDeleter::deletesExactlyWhatIsNamed_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<quint32>("error");
    QTest::addColumn<QStringList>("gone");
    QTest::addColumn<QStringList>("kept");

    const QString t = testKey;
    const QString classes = QStringLiteral("HKLM\\Software\\Classes\\BrisquelTest.Ext");

    QTest::newRow("value") << t + "\\Value\\Target" << 0u << QStringList{t + "\\Value|Target"}
                           << QStringList{t + "\\Value|Sibling", t + "\\Value\\Child|Target", t + "\\Value"};
    QTest::newRow("key without subkeys")
            << "HKEY_CURRENT_USER\\Software\\BrisquelTest\\Key\\Leaf\\" << 0u << QStringList{t + "\\Key\\Leaf"}
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
    QTest::newRow("HKLM") << "HKLM\\Software\\BrisquelTest\\V" << 0u
                          << QStringList{"HKLM\\Software\\BrisquelTest|V"}
                          << QStringList{"HKLM\\Software\\BrisquelTest|W"};
    QTest::newRow("HKEY_USERS") << "HKEY_USERS\\.DEFAULT\\Software\\BrisquelTest\\V" << 0u
                                << QStringList{"HKEY_USERS\\.DEFAULT\\Software\\BrisquelTest|V"}
                                << QStringList{"HKEY_USERS\\.DEFAULT\\Software\\BrisquelTest|W"};
    QTest::newRow("HKEY_CURRENT_CONFIG") << "HKEY_CURRENT_CONFIG\\Software\\BrisquelTest\\V" << 0u
                                         << QStringList{"HKEY_CURRENT_CONFIG\\Software\\BrisquelTest|V"}
                                         << QStringList{"HKEY_CURRENT_CONFIG\\Software\\BrisquelTest|W"};
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

    // Failures: each leaves every fixture key byte-identical.
    const QStringList none;
    QTest::newRow("key with subkeys") << t + "\\Tree\\" << 5u << none << QStringList{t + "\\Tree\\Sub|V"};
    QTest::newRow("missing key, value form") << t + "\\Missing\\V" << 2u << none << none;
    QTest::newRow("missing key, key form") << t + "\\Missing\\" << 2u << none << none;
    QTest::newRow("missing value") << t + "\\Value\\Nope" << 2u << none << QStringList{t + "\\Value|Sibling"};
    QTest::newRow("a key named as a value") << t + "\\Value\\Child" << 2u << none
                                            << QStringList{t + "\\Value\\Child|Target"};
    QTest::newRow("root alone") << "HKCU\\" << 87u << none << none;
    QTest::newRow("root without backslash") << "HKCU" << 87u << none << none;
    QTest::newRow("empty") << "" << 87u << none << none;
    QTest::newRow("unknown root") << "HKXX\\Software\\BrisquelTest\\Odd\\Target" << 87u << none
                                  << QStringList{t + "\\Odd|Target"};
    QTest::newRow("double backslash") << "HKCU\\Software\\\\BrisquelTest\\Odd\\Target" << 87u << none
                                      << QStringList{t + "\\Odd|Target"};
    QTest::newRow("quoted value name") << t + "\\Odd\\\"Target\"" << 2u << none
                                       << QStringList{t + "\\Odd|Target"};
    QTest::newRow("quoted entry") << "\"" + t + "\\Odd\\Target\"" << 87u << none
                                  << QStringList{t + "\\Odd|Target"};
    QTest::newRow("trailing blank") << t + "\\Odd\\Target " << 2u << none << QStringList{t + "\\Odd|Target"};
    QTest::newRow("trailing CR LF") << t + "\\Odd\\Target\r\n" << 2u << none << QStringList{t + "\\Odd|Target"};
    QTest::newRow("two entries in one") << t + "\\Odd\\Sibling\n" + t + "\\Odd\\Target" << 2u << none
                                        << QStringList{t + "\\Odd|Target", t + "\\Odd|Sibling"};
    QTest::newRow("escape lookalike") << t + "\\Odd\\Targe%74" << 2u << none << QStringList{t + "\\Odd|Target"};
    QTest::newRow("NUL inside") << t + "\\Odd\\Target" + QChar(0) + "x" << 87u << none
                                << QStringList{t + "\\Odd|Target"};
    QTest::newRow("lone surrogate") << t + "\\Odd\\Target" + QChar(0xD800) << 1113u << none
                                    << QStringList{t + "\\Odd|Target"};
    QTest::newRow("256-character key name") << t + "\\Long\\" + key256 + "\\" << 206u << none
                                            << QStringList{t + "\\Long\\" + key256};
    QTest::newRow("value below a 256-character key") << t + "\\Long\\" + key256 + "\\V" << 206u << none
                                                     << QStringList{t + "\\Long\\" + key256 + "|V"};
    QTest::newRow("10 MB entry") << t + "\\Odd\\" + QString(10 * 1024 * 1024, u'x') << 206u << none << none;
}

void TestRegistryDeleter::deletesExactlyWhatIsNamed()
{
    QFETCH(QString, entry);
    QFETCH(quint32, error);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, kept);

    for (const QString &it : gone + kept)
        QVERIFY2(exists(it), qPrintable("fixture lacks " + it));
    // Failing rows come last and change nothing, so one row's snapshot after is the next
    // row's before.
    if (error == 0)
        m_snapshot.clear();
    else if (m_snapshot.isEmpty())
        QVERIFY(takeSnapshot(m_snapshot));

    QCOMPARE(m_deleter->remove(entry), error == 0);
    QCOMPARE(m_deleter->lastError(), error);

    for (const QString &it : gone)
        QVERIFY2(!exists(it), qPrintable("still there: " + it));
    for (const QString &it : kept)
        QVERIFY2(exists(it), qPrintable("gone too: " + it));
    if (error != 0) {
        QList<QByteArray> after;
        QVERIFY(takeSnapshot(after));
        QCOMPARE(after, m_snapshot);
    }
}

void TestRegistryDeleter::prefixWithoutHivesFailsAtOnce()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QString missing = empty.filePath(QStringLiteral("never"));
    for (const QString &prefix : {empty.path(), missing}) {
        RegistryDeleter deleter(helperPath(), prefix);
        QVERIFY(!deleter.remove(testKey + "\\Odd\\Target"));
        QCOMPARE(deleter.lastError(), errorNoRegistry);
        QCOMPARE(deleter.helperProcessId(), 0);
        deleter.runFinished();
    }
    QVERIFY(QDir(empty.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
    QVERIFY(!QFileInfo::exists(missing));
    QVERIFY(exists(testKey + "\\Odd|Target"));
}

void TestRegistryDeleter::defaultsComeFromTheEnvironment()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
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
    QVERIFY(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
}

void TestRegistryDeleter::missingWineOrHelperFailsAtOnce()
{
    RegistryDeleter noWine(helperPath(), m_prefix->path());
    noWine.setWineLoader(QStringLiteral("/nonexistent/wine64"));
    QVERIFY(!noWine.remove(testKey + "\\Odd\\Target"));
    QCOMPARE(noWine.lastError(), errorNoRegistry);
    QCOMPARE(noWine.helperProcessId(), 0);

    RegistryDeleter noHelper(QStringLiteral("/nonexistent/brisquel-regdel.exe"), m_prefix->path());
    QVERIFY(!noHelper.remove(testKey + "\\Odd\\Target"));
    QCOMPARE(noHelper.lastError(), errorNoRegistry);
    QCOMPARE(noHelper.helperProcessId(), 0);

    QVERIFY(exists(testKey + "\\Odd|Target"));
}

void TestRegistryDeleter::helperLivesForOneRun()
{
    qint64 firstRunPid = 0;
    {
        RegistryDeleter deleter(helperPath(), m_prefix->path());
        QCOMPARE(deleter.helperProcessId(), 0);
        QVERIFY(deleter.remove(testKey + "\\Life\\1"));
        firstRunPid = deleter.helperProcessId();
        QVERIFY(firstRunPid > 0);
        QVERIFY(!deleter.remove(testKey + "\\Life\\1")); // gone already
        QCOMPARE(deleter.lastError(), 2u);
        QCOMPARE(deleter.helperProcessId(), firstRunPid);
        deleter.runFinished();
        QCOMPARE(deleter.helperProcessId(), 0);
        QVERIFY(processGone(firstRunPid));

        // The next run starts a helper of its own; the destructor ends it.
        QVERIFY(deleter.remove(testKey + "\\Life\\2"));
        firstRunPid = deleter.helperProcessId();
        QVERIFY(firstRunPid > 0);
    }
    QVERIFY(processGone(firstRunPid));
    QVERIFY(exists(testKey + "\\Life|3"));
}

void TestRegistryDeleter::helperInChineseFolderUnderCLocale()
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

void TestRegistryDeleter::killedHelperIsReplaced()
{
    RegistryDeleter deleter(helperPath(), m_prefix->path());
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

void TestRegistryDeleter::helperThatFailsMidRequest_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<int>("answerMs");
    QTest::addColumn<quint32>("error");
    QTest::addColumn<int>("boundMs"); // a dead helper isn't waited for until the timeout
    QTest::newRow("dies") << QByteArray("die-second") << 5000 << errorHelperFailed << 5000;
    QTest::newRow("hangs") << QByteArray("hang-second") << 1500 << errorHelperTimeout << 1500 + 5000;
}

void TestRegistryDeleter::helperThatFailsMidRequest()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(int, answerMs);
    QFETCH(quint32, error);
    QFETCH(int, boundMs);
    const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL", behaviour);
    RegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
    deleter.setTimeouts(30000, answerMs);

    QVERIFY(deleter.remove(testKey + "\\Life\\5"));
    const qint64 pid = deleter.helperProcessId();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!deleter.remove(testKey + "\\Life\\5"));
    QCOMPARE(deleter.lastError(), error);
    QVERIFY2(timer.elapsed() < boundMs, "the wait for a failed helper wasn't bounded");
    QCOMPARE(deleter.helperProcessId(), 0);
    QVERIFY(processGone(pid));

    // The next deletion gets a helper of its own.
    QVERIFY(deleter.remove(testKey + "\\Life\\5"));
    QVERIFY(deleter.helperProcessId() != pid);
    deleter.runFinished();
}

void TestRegistryDeleter::freshHelperThatDiesIsTriedOnceMore()
{
    QTemporaryDir markers;
    QVERIFY(markers.isValid());
    const QString marker = markers.filePath(QStringLiteral("died"));

    // Only the first start dies: the second helper does the deletion.
    const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL", "die-first:" + test::WinePrefix::windowsPath(marker).toUtf8());
    RegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
    QVERIFY(deleter.remove(testKey + "\\Life\\5"));
    QVERIFY(QFile::exists(marker));
    QVERIFY(deleter.helperProcessId() != 0);
    deleter.runFinished();
}

void TestRegistryDeleter::brokenHelperIsNotRetriedThisRun_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<quint32>("error");
    QTest::newRow("never answers") << QByteArray("silent") << errorHelperTimeout;
    QTest::newRow("talks nonsense") << QByteArray("garbage") << errorHelperFailed;
    // Dies at both tries.
    QTest::newRow("dies at every start") << QByteArray("die-first") << errorHelperFailed;
}

void TestRegistryDeleter::brokenHelperIsNotRetriedThisRun()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(quint32, error);
    const ScopedVariable misbehave("BRISQUEL_FAKE_REGDEL", behaviour);
    RegistryDeleter deleter(fakeHelperPath(), m_prefix->path());
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

QProcess *TestRegistryDeleter::startHelperDirectly()
{
    m_direct = std::make_unique<QProcess>();
    QProcessEnvironment env = m_prefix->environment();
    m_direct->setProcessEnvironment(env);
    m_direct->setStandardErrorFile(QProcess::nullDevice());
    m_direct->start(findWineLoader(), {helperPath()});
    return m_direct->waitForStarted() ? m_direct.get() : nullptr;
}

void TestRegistryDeleter::helperIgnoresUnterminatedRequest()
{
    // A request cut off by a dying sender names something else ("...\Proto\A" of
    // "...\Proto\AB"): the helper must not act on it.
    QProcess *helper = startHelperDirectly();
    QVERIFY(helper);
    helper->write(encodeRequest(u"HKCU\\Software\\BrisquelTest\\Proto\\A")->c_str());
    helper->closeWriteChannel();
    QVERIFY(helper->waitForFinished(30000));
    QCOMPARE(helper->exitCode(), 0);
    QCOMPARE(helper->readAllStandardOutput(), QByteArray());
    QVERIFY(exists(testKey + "\\Proto|A"));
}

void TestRegistryDeleter::helperSurvivesCorruptRequests()
{
    QProcess *helper = startHelperDirectly();
    QVERIFY(helper);
    QByteArray requests;
    requests += "HKCU\\Software\\BrisquelTest\\Proto\\B\rx\n"; // raw CR
    requests += "HKCU\\Software\\BrisquelTest\\Proto\\%4\n";   // bad escape
    requests += "HKCU\\Software\\BrisquelTest\\Proto\\\xff\n"; // no UTF-8
    requests += QByteArray(int(maxRequestBytes) + 10, 'x') + "\n";
    requests += "HKCU\\Software\\BrisquelTest\\Proto\\%43\n"; // "C", escaped
    requests += "HKCU\\Software\\BrisquelTest\\Proto\\D\n";
    helper->write(requests);
    helper->closeWriteChannel();
    QVERIFY(helper->waitForFinished(30000));
    QCOMPARE(helper->readAllStandardOutput(), QByteArray("ERR 13\nERR 13\nERR 13\nERR 206\n0\n0\n"));
    QVERIFY(exists(testKey + "\\Proto|A"));
    QVERIFY(exists(testKey + "\\Proto|B"));
    QVERIFY(!exists(testKey + "\\Proto|C"));
    QVERIFY(!exists(testKey + "\\Proto|D"));
    QVERIFY(exists(testKey + "\\Proto|E"));
}

QTEST_GUILESS_MAIN(TestRegistryDeleter)
#include "test_registry_deleter.moc"
