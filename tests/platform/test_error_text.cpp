#include "platform/error_text.h"

#include <QTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#endif

class TestErrorText : public QObject
{
    Q_OBJECT

private slots:
    void commonFailuresInChinese_data();
    void commonFailuresInChinese();
    void otherFailuresInTheSystemsWords();
};

void TestErrorText::commonFailuresInChinese_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    const QString notFound = QStringLiteral("找不到指定的文件或路径。");
    const QString denied = QStringLiteral("拒绝访问：没有足够的权限。");
    const QString full = QStringLiteral("磁盘空间不足。");
    const QString quota = QStringLiteral("磁盘空间不足：已超出磁盘配额。");
    const QString readOnly = QStringLiteral("磁盘是只读的，无法写入。");
    const QString busy = QStringLiteral("文件正在被其他程序使用，无法访问。");
#ifdef Q_OS_WIN
    QTest::newRow("file not found") << int(ERROR_FILE_NOT_FOUND) << notFound;
    QTest::newRow("path not found") << int(ERROR_PATH_NOT_FOUND) << notFound;
    QTest::newRow("access denied") << int(ERROR_ACCESS_DENIED) << denied;
    QTest::newRow("disk full") << int(ERROR_DISK_FULL) << full;
    QTest::newRow("handle disk full") << int(ERROR_HANDLE_DISK_FULL) << full;
    QTest::newRow("quota") << 1295 /* ERROR_DISK_QUOTA_EXCEEDED */ << quota;
    QTest::newRow("write protect") << int(ERROR_WRITE_PROTECT) << readOnly;
    QTest::newRow("sharing violation") << int(ERROR_SHARING_VIOLATION) << busy;
    QTest::newRow("lock violation") << int(ERROR_LOCK_VIOLATION) << busy;
#else
    QTest::newRow("ENOENT") << ENOENT << notFound;
    QTest::newRow("ENOTDIR") << ENOTDIR << notFound;
    QTest::newRow("EACCES") << EACCES << denied;
    QTest::newRow("EPERM") << EPERM << denied;
    QTest::newRow("ENOSPC") << ENOSPC << full;
    QTest::newRow("EDQUOT") << EDQUOT << quota;
    QTest::newRow("EROFS") << EROFS << readOnly;
    QTest::newRow("EBUSY") << EBUSY << busy;
    QTest::newRow("ETXTBSY") << ETXTBSY << busy;
#endif
}

void TestErrorText::commonFailuresInChinese()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(platform::describeError(code), text);
}

void TestErrorText::otherFailuresInTheSystemsWords()
{
#ifdef Q_OS_WIN
    const QString invalid = platform::describeError(ERROR_INVALID_FUNCTION);
    QVERIFY(!invalid.isEmpty());
    QVERIFY(!invalid.endsWith(u'\n'));
    QVERIFY(invalid != platform::describeError(ERROR_FILE_NOT_FOUND));
#else
    QCOMPARE(platform::describeError(EINVAL), QString::fromLocal8Bit(std::strerror(EINVAL)));
    QCOMPARE(platform::describeError(EIO), QString::fromLocal8Bit(std::strerror(EIO)));
    QCOMPARE(platform::describeError(EFBIG), QString::fromLocal8Bit(std::strerror(EFBIG)));
#endif
    // A code no system knows still gets a text rather than nothing.
    QVERIFY(!platform::describeError(987654).isEmpty());
}

QTEST_GUILESS_MAIN(TestErrorText)
#include "test_error_text.moc"
