#include "platform/windows_path.h"
#include "fake_prefix.h"
#include "scoped_variable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// A throwaway Wine-style prefix: dosdevices/c: links to ../drive_c, as Wine lays it out.
class TestWindowsPath : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void winePrefixFollowsEnvironment();

    void isWindowsPath_data();
    void isWindowsPath();

    void resolve_data();
    void resolve();

    void unmappedDriveGivesNothing();
    void nativePathsUnchanged_data();
    void nativePathsUnchanged();
    void ambiguousCaseIsDeterministic();

private:
    QString drive() const { return m_prefix.path() + QStringLiteral("/dosdevices/c:"); }

    QTemporaryDir m_prefix;
};

void TestWindowsPath::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QVERIFY(makeFakePrefix(m_prefix.path(),
                           {QStringLiteral("Windows/Temp"), QStringLiteral("文档"), QStringLiteral("äbc")}));
    QFile file(m_prefix.path() + QStringLiteral("/drive_c/Windows/Temp/Junk.TMP"));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestWindowsPath::winePrefixFollowsEnvironment()
{
    const ScopedVariable prefix("WINEPREFIX", "/opt/some prefix");
    QCOMPARE(platform::winePrefix(), QStringLiteral("/opt/some prefix"));
    qunsetenv("WINEPREFIX");
    QCOMPARE(platform::winePrefix(), QDir::homePath() + QStringLiteral("/.wine"));
    qputenv("WINEPREFIX", "");
    QCOMPARE(platform::winePrefix(), QDir::homePath() + QStringLiteral("/.wine"));
}

void TestWindowsPath::isWindowsPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("expected");

    QTest::newRow("backslashes") << QStringLiteral("C:\\WINDOWS\\Temp\\*.tmp") << true;
    QTest::newRow("lower-case letter") << QStringLiteral("d:\\x") << true;
    QTest::newRow("forward slashes") << QStringLiteral("Z:/home") << true;
    QTest::newRow("bare drive") << QStringLiteral("c:") << true;
    QTest::newRow("drive-relative") << QStringLiteral("C:file.txt") << true;
    QTest::newRow("absolute native") << QStringLiteral("/tmp/x") << false;
    QTest::newRow("relative native") << QStringLiteral("junk\\x.tmp") << false;
    QTest::newRow("digit before colon") << QStringLiteral("1:\\x") << false;
    QTest::newRow("letter alone") << QStringLiteral("C") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("UNC") << QStringLiteral("\\\\server\\share") << false;
    QTest::newRow("non-ASCII letter") << QStringLiteral("é:\\x") << false;
    QTest::newRow("two letters") << QStringLiteral("CD:\\x") << false;
}

void TestWindowsPath::isWindowsPath()
{
    QFETCH(QString, path);
    QFETCH(bool, expected);
    QCOMPARE(platform::isWindowsPath(path), expected);
}

void TestWindowsPath::resolve_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected"); // relative to the drive folder

    QTest::newRow("exact case") << QStringLiteral("C:\\Windows\\Temp\\Junk.TMP")
                                << QStringLiteral("/Windows/Temp/Junk.TMP");
    QTest::newRow("other case") << QStringLiteral("C:\\WINDOWS\\temp\\junk.tmp")
                                << QStringLiteral("/Windows/Temp/Junk.TMP");
    QTest::newRow("lower-case drive") << QStringLiteral("c:\\windows")
                                      << QStringLiteral("/Windows");
    QTest::newRow("mixed and doubled separators")
        << QStringLiteral("C:/windows\\\\TEMP//") << QStringLiteral("/Windows/Temp");
    QTest::newRow("missing component kept as written")
        << QStringLiteral("C:\\WINDOWS\\NoSuch\\Deeper\\*.tmp")
        << QStringLiteral("/Windows/NoSuch/Deeper/*.tmp");
    QTest::newRow("missing leaf kept as written") << QStringLiteral("C:\\windows\\temp\\New.LOG")
                                                  << QStringLiteral("/Windows/Temp/New.LOG");
    QTest::newRow("drive root") << QStringLiteral("C:\\") << QString();
    QTest::newRow("bare drive") << QStringLiteral("C:") << QString();
    QTest::newRow("drive-relative") << QStringLiteral("C:windows") << QStringLiteral("/Windows");
    QTest::newRow("dot components folded") << QStringLiteral("C:\\.\\windows\\.\\temp")
                                           << QStringLiteral("/Windows/Temp");
    QTest::newRow("dot-dot goes up") << QStringLiteral("C:\\windows\\temp\\..\\TEMP")
                                     << QStringLiteral("/Windows/Temp");
    QTest::newRow("dot-dot stops at the root")
        << QStringLiteral("C:\\..\\..\\windows") << QStringLiteral("/Windows");
    QTest::newRow("Chinese name") << QStringLiteral("C:\\文档") << QStringLiteral("/文档");
    QTest::newRow("non-ASCII without case") << QStringLiteral("C:\\ÄBC")
                                            << QStringLiteral("/äbc");
    QTest::newRow("blanks and quotes literal") << QStringLiteral("C:\\a \"b\"\\c")
                                               << QStringLiteral("/a \"b\"/c");
}

void TestWindowsPath::resolve()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(platform::resolveWindowsPath(path, m_prefix.path()), drive() + expected);
}

void TestWindowsPath::unmappedDriveGivesNothing()
{
    QVERIFY(platform::resolveWindowsPath(QStringLiteral("D:\\x"), m_prefix.path()).isEmpty());

    // A drive whose link points nowhere is not mapped either.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QVERIFY(QDir(other.path()).mkdir(QStringLiteral("dosdevices")));
    QVERIFY(QFile::link(QStringLiteral("../gone"), other.path() + QStringLiteral("/dosdevices/e:")));
    QVERIFY(platform::resolveWindowsPath(QStringLiteral("E:\\x"), other.path()).isEmpty());

    // No prefix at all.
    QVERIFY(platform::resolveWindowsPath(QStringLiteral("C:\\x"),
                                         other.path() + QStringLiteral("/missing"))
                .isEmpty());
}

void TestWindowsPath::nativePathsUnchanged_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("absolute") << QStringLiteral("/tmp/Junk.TMP");
    QTest::newRow("relative with backslash") << QStringLiteral("sub\\dir/x.tmp");
    QTest::newRow("empty") << QString();
    QTest::newRow("colon later") << QStringLiteral("./C:\\x");
}

void TestWindowsPath::nativePathsUnchanged()
{
    QFETCH(QString, path);
    QCOMPARE(platform::resolveWindowsPath(path, m_prefix.path()), path);
}

void TestWindowsPath::ambiguousCaseIsDeterministic()
{
    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    QVERIFY(makeFakePrefix(prefix.path(), {QStringLiteral("foo"), QStringLiteral("fOO"), QStringLiteral("Foo")}));
    const QString c = prefix.path() + QStringLiteral("/dosdevices/c:");

    // An exact match wins; otherwise the smallest of the names that match.
    QCOMPARE(platform::resolveWindowsPath(QStringLiteral("C:\\fOO"), prefix.path()),
             c + QStringLiteral("/fOO"));
    QCOMPARE(platform::resolveWindowsPath(QStringLiteral("C:\\FOO"), prefix.path()),
             c + QStringLiteral("/Foo"));
}

QTEST_GUILESS_MAIN(TestWindowsPath)
#include "test_windows_path.moc"
