#include "platform/skin.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

// Stand-ins for the skin library are built beside this test, outside the program folder:
// one that records its arguments, one that lacks SkinH_AttachEx. The cases run in this
// order on purpose: once a library of that name is loaded, the system's library search
// finds it by name, as it would in the program.
class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void absentLibraryFailsQuietly();
    void libraryWithoutFunctionFails();
    void presentLibraryGetsGb18030Name_data();
    void presentLibraryGetsGb18030Name();

private:
    QString output() const { return m_output.filePath(QStringLiteral("skin.out")); }

    QTemporaryDir m_output;
    QTemporaryDir m_programDir;
};

void TestSkin::init()
{
    QVERIFY(m_output.isValid());
    qputenv("BRISQUEL_SKIN_PROBE_OUT", QFile::encodeName(output()));
}

void TestSkin::cleanup()
{
    qunsetenv("BRISQUEL_SKIN_PROBE_OUT");
    QFile::remove(output());
}

void TestSkin::absentLibraryFailsQuietly()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    QVERIFY(!platform::attachSkin(empty.path(), QStringLiteral("Pifu.she")));
    QVERIFY(!platform::attachSkin(QString(), QStringLiteral("Pifu.she")));
    QVERIFY(!QFile::exists(output()));
}

void TestSkin::libraryWithoutFunctionFails()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString library = QStringLiteral(SKIN_LIBRARY_WITHOUT_ATTACH);
    QVERIFY(QFile::copy(library, dir.filePath(QFileInfo(library).fileName())));
    QVERIFY(!platform::attachSkin(dir.path(), QStringLiteral("Pifu.she")));
    QVERIFY(!QFile::exists(output()));
}

void TestSkin::presentLibraryGetsGb18030Name_data()
{
    QTest::addColumn<QString>("skinFile");
    QTest::addColumn<QByteArray>("received");

    QTest::newRow("Pifu.she") << QStringLiteral("Pifu.she") << QByteArray("Pifu.she\0\0", 10);
    QTest::newRow("Chinese name") << QStringLiteral("皮肤.she")
                                  << QByteArray::fromHex("c6a4b7f42e7368650000");
}

void TestSkin::presentLibraryGetsGb18030Name()
{
    QFETCH(QString, skinFile);
    QFETCH(QByteArray, received);
    QVERIFY(m_programDir.isValid());
    const QString library = QStringLiteral(SKIN_LIBRARY);
    const QString copy = m_programDir.filePath(QFileInfo(library).fileName());
    if (!QFile::exists(copy))
        QVERIFY(QFile::copy(library, copy));

    QVERIFY(platform::attachSkin(m_programDir.path(), skinFile));
    QFile out(output());
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), received);
}

QTEST_GUILESS_MAIN(TestSkin)
#include "test_skin.moc"
