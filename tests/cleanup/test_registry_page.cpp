#include "form_fixture.h"
#include "platform/line_file.h"
#include "scoped_variable.h"
#include "wine_prefix.h"

#include <QDir>
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
    void runDeletesExactlyTheListedKeysAndValues()
    {
        const test::WinePrefix prefix;
        QVERIFY2(prefix.isValid(), qPrintable(prefix.errorString()));
        prefix.keepServerRunning();
        const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(prefix.path()));

        const QString base = QStringLiteral("HKCU\\Software\\Brisquel Page");
        QVERIFY(prefix.addValue(base + "\\最近使用", "File1"));
        QVERIFY(prefix.addValue(base + "\\最近使用", "File2"));
        QVERIFY(prefix.addKey(base + "\\Empty"));
        QVERIFY(prefix.addKey(base + "\\Busy\\Child"));

        const WorkingFolder folder;
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
        const auto *list = form.findChild<QListWidget *>("List2");
        QCOMPARE(list->count(), 5);

        form.Image11_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!form.findChild<QTimer *>("Zcqltm")->isActive(), 60000);
        QCOMPARE(form.findChild<QLabel *>("Zcqlwb")->text(), QString("垃圾注册表项清理完成！"));
        QCOMPARE(form.findChild<QProgressBar *>("Zcqljdt")->value(), 100);
        QVERIFY(form.findChild<QWidget *>("Image11")->isEnabled());

        QVERIFY(!prefix.valueExists(base + "\\最近使用", "File1"));
        QVERIFY(prefix.valueExists(base + "\\最近使用", "File2"));
        QVERIFY(!prefix.keyExists(base + "\\Empty"));
        QVERIFY(prefix.keyExists(base + "\\Busy\\Child"));
        QVERIFY(prefix.keyExists(base));
        QCOMPARE(list->count(), 5); // the run left the list as it was
        // What went is in the run's backup, below the working folder.
        const QStringList backups = QDir(folder.path("注册表备份")).entryList({"*.reg"}, QDir::Files);
        QCOMPARE(backups.size(), 1);
    }
};

BRISQUEL_FORM_TEST_MAIN(TestRegistryPage)
#include "test_registry_page.moc"
