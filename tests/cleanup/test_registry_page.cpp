#include "form_fixture.h"
#include "platform/line_file.h"
#include "scoped_variable.h"
#include "wine_prefix.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include <unistd.h>

namespace {

// A deletion that stays under way until the test lets it finish, as the Wine bridge's do.
struct PendingDeleter : cleanup::EntryDeleter
{
    struct State
    {
        QStringList begun;
        bool pending = false;
    };
    explicit PendingDeleter(std::shared_ptr<State> state) : state(std::move(state)) {}
    bool remove(const QString &) override { return false; }
    void begin(const QString &entry) override
    {
        state->begun.append(entry);
        state->pending = true;
    }
    bool busy() const override { return state->pending; }
    void runFinished() override { state->pending = false; }
    std::shared_ptr<State> state;
};

// Our own child processes running the registry helper.
QList<qint64> helperProcesses()
{
    QList<qint64> found;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == ::getpid()
            && cmdline.readAll().contains("brisquel-regdel.exe"))
            found.append(pid.toLongLong());
    }
    return found;
}

} // namespace

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
    }

    void cleanupTestCase() { m_prefix.reset(); }

    void runDeletesExactlyTheListedKeysAndValues()
    {
        const test::WinePrefix &prefix = *m_prefix;
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

    // While an entry's deletion is under way, ticks change nothing; the run goes on, and
    // completes, only once it is done.
    void ticksWaitForTheDeletionUnderWay()
    {
        const WorkingFolder folder;
        QVERIFY(platform::writeLines(folder.path("Zcql.ini"), {"e0", "e1"}));
        const auto state = std::make_shared<PendingDeleter::State>();
        MessageLog log;
        FormServices services = quietServices(log);
        services.makeRegistryDeleter = [state] { return std::make_unique<PendingDeleter>(state); };
        Form1 form(services);
        const auto *status = form.findChild<QLabel *>("Zcqlwb");
        const auto *index = form.findChild<QLineEdit *>("Zcqljd");
        const auto *bar = form.findChild<QProgressBar *>("Zcqljdt");
        form.Image11_Click();
        form.findChild<QTimer *>("Zcqltm")->stop(); // the test ticks by hand

        for (const auto &[entry, next, percent] : {std::tuple{"e0", "1", 50}, std::tuple{"e1", "2", 100}}) {
            form.Zcqltm_Timer();
            for (int k = 0; k < 3; ++k) {
                QCOMPARE(state->begun.last(), QString(entry));
                QCOMPARE(status->text(), "正在删除" + QString(entry));
                QCOMPARE(index->text(), QString(next));
                QCOMPARE(bar->value(), percent);
                form.Zcqltm_Timer(); // passes
            }
            state->pending = false;
        }
        QCOMPARE(state->begun, QStringList({"e0", "e1"}));
        state->pending = true; // a deletion under way holds off completion as well
        form.Zcqltm_Timer();
        QCOMPARE(index->text(), QString("2"));
        state->pending = false;
        form.Zcqltm_Timer();
        QCOMPARE(status->text(), QString("垃圾注册表项清理完成！"));
        QCOMPARE(index->text(), QString("0"));
    }

    // Closing the window mid-run leaves no helper behind, without a wait.
    void closingMidRunLeavesNoHelper()
    {
        const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(m_prefix->path()));
        const WorkingFolder folder;
        QStringList entries;
        for (int i = 0; i < 1000; ++i)
            entries.append(QStringLiteral("HKCU\\Software\\Brisquel Close\\V%1").arg(i));
        QVERIFY(platform::writeLines(folder.path("Zcql.ini"), entries));
        MessageLog log;
        FormServices services;
        services.showMessage = log.function();
        auto form = std::make_unique<Form1>(services);
        form->Image11_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!helperProcesses().isEmpty(), 30000);
        const QList<qint64> helpers = helperProcesses();
        QVERIFY(form->findChild<QTimer *>("Zcqltm")->isActive());
        form.reset();
        for (const qint64 pid : helpers)
            QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    }

private:
    std::unique_ptr<test::WinePrefix> m_prefix;
};

BRISQUEL_FORM_TEST_MAIN(TestRegistryPage)
#include "test_registry_page.moc"
