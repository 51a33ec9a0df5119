#include "form_fixture.h"
#include "platform/line_file.h"
#include "wine_prefix.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

// The junk-registry page's run against a real Wine prefix, with the real deleter the
// window makes for itself.
class TestRegistryPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_prefix = std::make_unique<test::WinePrefix>();
        QVERIFY2(m_prefix->isValid(), qPrintable(m_prefix->errorString()));
        m_prefix->keepServerRunning();
        qputenv("WINEPREFIX", QFile::encodeName(m_prefix->path()));
    }

    void cleanupTestCase()
    {
        qunsetenv("WINEPREFIX");
        m_prefix.reset();
    }

    void runDeletesExactlyTheListedKeysAndValues()
    {
        const QString base = QStringLiteral("HKCU\\Software\\Brisquel Page");
        QVERIFY(m_prefix->addValue(base + "\\最近使用", "File1"));
        QVERIFY(m_prefix->addValue(base + "\\最近使用", "File2"));
        QVERIFY(m_prefix->addKey(base + "\\Empty"));
        QVERIFY(m_prefix->addKey(base + "\\Busy\\Child"));

        WorkingFolder folder;
        QVERIFY(platform::writeLines(folder.path("Zcql.ini"), {
            base + "\\最近使用\\File1",                  // a value
            "hkcu\\Software\\Brisquel Page\\Empty\\", // a key without subkeys, lower-case root
            base + "\\Busy\\",                          // a key with subkeys: refused
            base + "\\Missing\\",                       // not there
            "",                                          // empty
        }));

        MessageLog log;
        FormServices services;
        services.showMessage = log.function();
        Form1 form(services);
        QCOMPARE(form.findChild<QListWidget *>("List2")->count(), 5);

        form.Image11_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<QTimer *>("Zcqltm")->isActive(), 60000);
        QCOMPARE(form.findChild<QLabel *>("Zcqlwb")->text(), QString("垃圾注册表项清理完成！"));
        QCOMPARE(form.findChild<QProgressBar *>("Zcqljdt")->value(), 100);
        QVERIFY(form.findChild<QWidget *>("Image11")->isEnabled());

        QVERIFY(!m_prefix->valueExists(base + "\\最近使用", "File1"));
        QVERIFY(m_prefix->valueExists(base + "\\最近使用", "File2"));
        QVERIFY(!m_prefix->keyExists(base + "\\Empty"));
        QVERIFY(m_prefix->keyExists(base + "\\Busy\\Child"));
        QVERIFY(m_prefix->keyExists(base));
        // The run left the list as it was.
        QCOMPARE(form.findChild<QListWidget *>("List2")->count(), 5);
    }

private:
    std::unique_ptr<test::WinePrefix> m_prefix;
};

BRISQUEL_FORM_TEST_MAIN(TestRegistryPage)
#include "test_registry_page.moc"
