#include "platform/windows_path.h"
#include "fake_prefix.h"
#include "scoped_variable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Paths are resolved in a throwaway prefix laid out as Wine lays one out.
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
    QString drive() const { return m_prefix.filePath("dosdevices/c:"); }

    QTemporaryDir m_prefix;
};

void TestWindowsPath::initTestCase()
{
    QVERIFY(m_prefix.isValid());
    QVERIFY(makeFakePrefix(m_prefix.path(), {"Windows/Temp", "文档", "äbc"}));
    QFile file(m_prefix.filePath("drive_c/Windows/Temp/Junk.TMP"));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestWindowsPath::winePrefixFollowsEnvironment()
{
    const ScopedVariable prefix("WINEPREFIX", "/opt/some prefix");
    QCOMPARE(platform::winePrefix(), QStringLiteral("/opt/some prefix"));
    qunsetenv("WINEPREFIX");
    QCOMPARE(platform::winePrefix(), QDir::homePath() + "/.wine");
    qputenv("WINEPREFIX", "");
    QCOMPARE(platform::winePrefix(), QDir::homePath() + "/.wine");
}

void TestWindowsPath::isWindowsPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("expected");

    QTest::newRow("backslashes") << "C:\\WINDOWS\\Temp\\*.tmp" << true;
    QTest::newRow("lower-case letter") << "d:\\x" << true;
    QTest::newRow("forward slashes") << "Z:/home" << true;
    QTest::newRow("bare drive") << "c:" << true;
    QTest::newRow("drive-relative") << "C:file.txt" << true;
    QTest::newRow("absolute native") << "/tmp/x" << false;
    QTest::newRow("relative native") << "junk\\x.tmp" << false;
    QTest::newRow("digit before colon") << "1:\\x" << false;
    QTest::newRow("letter alone") << "C" << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("UNC") << "\\\\server\\share" << false;
    QTest::newRow("non-ASCII letter") << "é:\\x" << false;
    QTest::newRow("two letters") << "CD:\\x" << false;
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

    QTest::newRow("exact case") << "C:\\Windows\\Temp\\Junk.TMP" << "/Windows/Temp/Junk.TMP";
    QTest::newRow("other case") << "C:\\WINDOWS\\temp\\junk.tmp" << "/Windows/Temp/Junk.TMP";
    QTest::newRow("lower-case drive") << "c:\\windows" << "/Windows";
    QTest::newRow("mixed and doubled separators") << "C:/windows\\\\TEMP//" << "/Windows/Temp";
    QTest::newRow("missing component kept as written")
        << "C:\\WINDOWS\\NoSuch\\Deeper\\*.tmp" << "/Windows/NoSuch/Deeper/*.tmp";
    QTest::newRow("missing leaf kept as written") << "C:\\windows\\temp\\New.LOG" << "/Windows/Temp/New.LOG";
    QTest::newRow("drive root") << "C:\\" << QString();
    QTest::newRow("bare drive") << "C:" << QString();
    QTest::newRow("drive-relative") << "C:windows" << "/Windows";
    QTest::newRow("dot components folded") << "C:\\.\\windows\\.\\temp" << "/Windows/Temp";
    QTest::newRow("dot-dot goes up") << "C:\\windows\\temp\\..\\TEMP" << "/Windows/Temp";
    QTest::newRow("dot-dot stops at the root") << "C:\\..\\..\\windows" << "/Windows";
    QTest::newRow("Chinese name") << "C:\\文档" << "/文档";
    QTest::newRow("non-ASCII without case") << "C:\\ÄBC" << "/äbc";
    QTest::newRow("blanks and quotes literal") << "C:\\a \"b\"\\c" << "/a \"b\"/c";
}

void TestWindowsPath::resolve()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(platform::resolveWindowsPath(path, m_prefix.path()), drive() + expected);
}

void TestWindowsPath::unmappedDriveGivesNothing()
{
    QVERIFY(platform::resolveWindowsPath("D:\\x", m_prefix.path()).isEmpty());

    // A drive whose link points nowhere is not mapped either.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    QVERIFY(QDir(other.path()).mkdir("dosdevices"));
    QVERIFY(QFile::link("../gone", other.filePath("dosdevices/e:")));
    QVERIFY(platform::resolveWindowsPath("E:\\x", other.path()).isEmpty());

    // No prefix at all.
    QVERIFY(platform::resolveWindowsPath("C:\\x", other.filePath("missing")).isEmpty());
}

void TestWindowsPath::nativePathsUnchanged_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("absolute") << "/tmp/Junk.TMP";
    QTest::newRow("relative with backslash") << "sub\\dir/x.tmp";
    QTest::newRow("empty") << QString();
    QTest::newRow("colon later") << "./C:\\x";
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
    QVERIFY(makeFakePrefix(prefix.path(), {"foo", "fOO", "Foo"}));

    // An exact match wins; otherwise the smallest of the names that match.
    QCOMPARE(platform::resolveWindowsPath("C:\\fOO", prefix.path()), prefix.filePath("dosdevices/c:/fOO"));
    QCOMPARE(platform::resolveWindowsPath("C:\\FOO", prefix.path()), prefix.filePath("dosdevices/c:/Foo"));
}

QTEST_GUILESS_MAIN(TestWindowsPath)
#include "test_windows_path.moc"
