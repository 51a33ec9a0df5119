#include "app/controls.h"
#include "cleanup/entry_deleter.h"
#include "cleanup/files/pattern_delete.h"
#include "form_fixture.h"
#include "platform/line_file.h"
#include "without_dac_override.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>

namespace {

// Records what the page asks to delete; deletes nothing.
class RecordingDeleter : public cleanup::EntryDeleter
{
public:
    explicit RecordingDeleter(std::shared_ptr<QStringList> removed, std::shared_ptr<int> finished)
        : m_removed(std::move(removed)), m_finished(std::move(finished)) {}
    bool remove(const QString &entry) override
    {
        m_removed->append(entry);
        return false;
    }
    void runFinished() override { ++*m_finished; }

private:
    std::shared_ptr<QStringList> m_removed;
    std::shared_ptr<int> m_finished;
};

// One window over a working folder, with the junk-file page's deletions recorded.
struct Page
{
    explicit Page(const WorkingFolder &, std::unique_ptr<cleanup::EntryDeleter> deleter = {})
    {
        FormServices services;
        services.showMessage = log.function();
        if (deleter) {
            auto shared = std::make_shared<std::unique_ptr<cleanup::EntryDeleter>>(std::move(deleter));
            services.makeFileDeleter = [shared] { return std::move(*shared); };
        } else {
            services.makeFileDeleter = [r = removed, f = finished] { return std::make_unique<RecordingDeleter>(r, f); };
        }
        services.makeRegistryDeleter = [r = removed, f = finished] { return std::make_unique<RecordingDeleter>(r, f); };
        form = std::make_unique<Form1>(services);
    }

    QStringList entries() const
    {
        QStringList list;
        auto *box = form->findChild<QListWidget *>("List1");
        for (int i = 0; i < box->count(); ++i)
            list << box->item(i)->text();
        return list;
    }
    QString status() const { return form->findChild<QLabel *>("Wjqlwb")->text(); }
    int bar() const { return form->findChild<QProgressBar *>("Wjqljdt")->value(); }
    QString index() const { return form->findChild<QLineEdit *>("Wjqljd")->text(); }
    bool running() const { return form->findChild<QTimer *>("Wjqltm")->isActive(); }
    bool startEnabled() const { return form->findChild<QWidget *>("Image9")->isEnabled(); }
    void type(const QString &text) { form->findChild<QLineEdit *>("Text1")->setText(text); }

    MessageLog log;
    std::shared_ptr<QStringList> removed = std::make_shared<QStringList>();
    std::shared_ptr<int> finished = std::make_shared<int>(0);
    std::unique_ptr<Form1> form;
};

QByteArray lines(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "e" + QByteArray::number(i) + "\r\n";
    return bytes;
}

} // namespace

class TestCleanupPage : public QObject
{
    Q_OBJECT

private slots:
    void listFileFormat_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("blank line kept") << QByteArray("A\r\n\r\nB") << QStringList{"A", "", "B"}
                                         << QByteArray("A\r\n\r\nB\r\n");
        QTest::newRow("final CR LF adds nothing") << QByteArray("A\r\n") << QStringList{"A"} << QByteArray("A\r\n");
        QTest::newRow("LF alone belongs to the entry") << QByteArray("A\nB\n") << QStringList{"A\nB\n"}
                                                       << QByteArray("A\nB\n\r\n");
        QTest::newRow("lone CR ends a line") << QByteArray("A\rB") << QStringList{"A", "B"} << QByteArray("A\r\nB\r\n");
        QTest::newRow("empty file") << QByteArray() << QStringList{} << QByteArray();
        QTest::newRow("GBK paths") << QByteArray("C:\\\xc1\xd9\xca\xb1\\*.tmp\r\n")
                                   << QStringList{"C:\\临时\\*.tmp"} << QByteArray("C:\\\xc1\xd9\xca\xb1\\*.tmp\r\n");
        QTest::newRow("blanks and quotes are text") << QByteArray(" \"a b\" ; $(x)\r\n")
                                                    << QStringList{" \"a b\" ; $(x)"}
                                                    << QByteArray(" \"a b\" ; $(x)\r\n");
    }

    void listFileFormat()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, saved);
        WorkingFolder folder;
        folder.write("Wjql.ini", file);
        Page page(folder);
        QCOMPARE(page.entries(), entries);
        QCOMPARE(page.log.messages.size(), size_t(1)); // only the missing registry list
        page.form->Command4_Click();
        QCOMPARE(folder.read("Wjql.ini"), saved);
        QCOMPARE(page.log.messages.back().text, QString("数据保存成功！"));
        QCOMPARE(page.log.messages.back().title, QString("提示"));
    }

    void missingListIsCreatedBySave()
    {
        WorkingFolder folder;
        Page page(folder);
        QCOMPARE(page.log.messages.front().text, QString("清理文件对象列表读取失败！"));
        QVERIFY(page.entries().isEmpty());
        page.form->Command4_Click();
        QVERIFY(QFile::exists(folder.path("Wjql.ini")));
        QCOMPARE(folder.read("Wjql.ini"), QByteArray());
    }

    void longListStopsAtTheBound()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(32768));
        folder.write("Zcql.ini", "");
        Page page(folder);
        QCOMPARE(page.entries().size(), 32767);
        QCOMPARE(page.entries().last(), QString("e32766"));
        QCOMPARE(page.log.messages.size(), size_t(1));
        QCOMPARE(page.log.messages[0].text, QString("清理文件对象列表读取失败！"));
        page.form->Command1_Click();
        page.type("one more");
        page.form->Command5_Click();
        QCOMPARE(page.entries().size(), 32767);
    }

    void entryBox()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", "A\r\n");
        Page page(folder);
        auto *text = page.form->findChild<QLineEdit *>("Text1");
        auto *ok = page.form->findChild<QPushButton *>("Command5");

        page.form->Command1_Click();
        QVERIFY(!text->isHidden() && !ok->isHidden());
        page.form->Command5_Click(); // empty: nothing added, box hidden
        QVERIFY(text->isHidden() && ok->isHidden());
        QCOMPARE(page.entries(), QStringList{"A"});

        for (const QString &typed : {QString("  "), QString("A"), QString("A")}) {
            page.form->Command1_Click();
            page.type(typed);
            page.form->Command5_Click();
        }
        QCOMPARE(page.entries(), (QStringList{"A", "  ", "A", "A"}));
        page.form->Command1_Click();
        QCOMPARE(text->text(), QString("A")); // kept from last time
        page.form->Command4_Click();
        QCOMPARE(folder.read("Wjql.ini"), QByteArray("A\r\n  \r\nA\r\nA\r\n"));
    }

    void deleteTakesTheSelectionOnly()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", "A\r\nB\r\nC\r\n");
        Page page(folder);
        const size_t messages = page.log.messages.size();
        page.form->Command2_Click();
        QCOMPARE(page.entries(), (QStringList{"A", "B", "C"}));
        QCOMPARE(page.log.messages.size(), messages);
        auto *list = page.form->findChild<QListWidget *>("List1");
        list->setCurrentRow(1);
        page.form->Command2_Click();
        QCOMPARE(page.entries(), (QStringList{"A", "C"}));
        // Nothing is selected afterwards, so a second click deletes nothing more.
        page.form->Command2_Click();
        QCOMPARE(page.entries(), (QStringList{"A", "C"}));
        QCOMPARE(folder.read("Wjql.ini"), QByteArray("A\r\nB\r\nC\r\n")); // not saved
    }

    void runProgress_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("bars"); // after each deleting tick
        QTest::newRow("none") << 0 << QList<int>{};
        QTest::newRow("one") << 1 << QList<int>{100};
        QTest::newRow("three") << 3 << QList<int>{33, 66, 100};
        QList<int> hundred;
        for (int k = 1; k <= 100; ++k)
            hundred << int(double(k) / 100.0 * 100.0);
        QTest::newRow("hundred") << 100 << hundred;
    }

    void runProgress()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, bars);
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(count));
        Page page(folder);
        page.form->Image9_Click();
        QVERIFY(page.running());
        QVERIFY(!page.startEnabled());
        for (int k = 0; k < count; ++k) {
            page.form->Wjqltm_Timer();
            QCOMPARE(page.status(), "正在删除e" + QString::number(k));
            QCOMPARE(page.index(), QString::number(k + 1));
            QCOMPARE(page.bar(), bars[k]);
            QVERIFY(page.running());
        }
        page.form->Wjqltm_Timer();
        QVERIFY(!page.running());
        QVERIFY(page.startEnabled());
        QCOMPARE(page.status(), QString("系统垃圾文件清理完成！"));
        QCOMPARE(page.index(), QString("0"));
        QCOMPARE(page.bar(), 100);
        QCOMPARE(page.removed->size(), count);
        QCOMPARE(*page.finished, 1);
        QCOMPARE(page.entries().size(), count); // a run never changes the list
        if (count == 100) {
            QCOMPARE(bars[28], 28);
            QCOMPARE(bars[56], 56);
            QCOMPARE(bars[57], 57);
            QCOMPARE(bars[29], 30);
        }
    }

    void runsOnTheRealTimer()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(5));
        Page page(folder);
        QTest::mouseClick(page.form->findChild<ClickLabel *>("Image9"), Qt::LeftButton);
        QVERIFY(page.running());
        QTRY_COMPARE(page.status(), QString("系统垃圾文件清理完成！"));
        QCOMPARE(*page.removed, (QStringList{"e0", "e1", "e2", "e3", "e4"}));
    }

    void stopAndRestart()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(5));
        Page page(folder);
        page.form->Image9_Click();
        page.form->Wjqltm_Timer();
        page.form->Wjqltm_Timer();
        page.form->Label11_Click();
        QVERIFY(!page.running());
        QVERIFY(page.startEnabled());
        QCOMPARE(page.status(), QString("已停止"));
        QCOMPARE(page.bar(), 0);
        QCOMPARE(page.index(), QString("0"));
        QCOMPARE(*page.finished, 1);

        page.form->Image9_Click();
        page.form->Wjqltm_Timer();
        QCOMPARE(page.removed->last(), QString("e0")); // starts over

        // A stop while idle resets the display just the same.
        page.form->Label11_Click();
        for (int k = 0; k < 6; ++k)
            page.form->Image9_Click(), page.form->Wjqltm_Timer();
        QCOMPARE(page.bar(), 100);
        page.form->Label11_Click();
        QCOMPARE(page.status(), QString("已停止"));
        QCOMPARE(page.bar(), 0);
    }

    void startAfterCompletionKeepsTheDisplayUntilTheFirstTick()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(2));
        Page page(folder);
        page.form->Image9_Click();
        for (int k = 0; k < 3; ++k)
            page.form->Wjqltm_Timer();
        page.form->Image9_Click();
        QCOMPARE(page.bar(), 100);
        QCOMPARE(page.status(), QString("系统垃圾文件清理完成！"));
        page.form->Wjqltm_Timer();
        QCOMPARE(page.bar(), 50);
    }

    void editsDuringARun()
    {
        WorkingFolder folder;
        folder.write("Wjql.ini", lines(4));
        Page page(folder);
        page.form->Image9_Click();
        page.form->Wjqltm_Timer();
        // An entry added at the end is reached.
        page.form->Command1_Click();
        page.type("added");
        page.form->Command5_Click();
        for (int k = 0; k < 4; ++k)
            page.form->Wjqltm_Timer();
        QCOMPARE(page.removed->last(), QString("added"));
        page.form->Wjqltm_Timer();
        QVERIFY(!page.running());

        // Removing entries behind the run index ends the run at the next tick.
        page.form->Image9_Click();
        for (int k = 0; k < 4; ++k)
            page.form->Wjqltm_Timer();
        auto *list = page.form->findChild<QListWidget *>("List1");
        for (int k = 0; k < 3; ++k) {
            list->setCurrentRow(0);
            page.form->Command2_Click();
        }
        QCOMPARE(page.index(), QString("4"));
        page.form->Wjqltm_Timer();
        QVERIFY(!page.running());
        QCOMPARE(page.status(), QString("系统垃圾文件清理完成！"));
        QCOMPARE(page.index(), QString("0"));
    }

    void runDeletesRealFiles()
    {
        WorkingFolder folder;
        QDir(folder.path()).mkpath("junk/keep");
        for (const char *name : {"junk/a.tmp", "junk/b.tmp", "junk/c.log", "junk/keep/d.tmp"})
            folder.write(name, "x");
        folder.write("Wjql.ini", "junk/*.tmp\r\njunk/nothing*\r\n\r\njunk/keep\r\n");
        Page page(folder, std::make_unique<cleanup::files::FilePatternDeleter>());
        page.form->Image9_Click();
        QTRY_VERIFY(!page.running());
        QVERIFY(!QFile::exists(folder.path("junk/a.tmp")));
        QVERIFY(!QFile::exists(folder.path("junk/b.tmp")));
        QVERIFY(QFile::exists(folder.path("junk/c.log")));
        QVERIFY(QFile::exists(folder.path("junk/keep/d.tmp")));
        QCOMPARE(page.status(), QString("系统垃圾文件清理完成！"));
        QCOMPARE(page.entries().size(), 4);
    }

    void failedSaveLeavesTheOldFile()
    {
        WorkingFolder folder;
        QDir(folder.path()).mkdir("locked");
        const QByteArray old("old\r\n");
        folder.write("locked/Wjql.ini", old);
        QDir::setCurrent(folder.path("locked"));
        Page page(folder);
        page.form->Command1_Click();
        page.type("new");
        page.form->Command5_Click();
        QVERIFY(::chmod(QFile::encodeName(folder.path("locked")).constData(), 0555) == 0);
        {
            WithoutDacOverride asUser;
            page.form->Command4_Click();
        }
        ::chmod(QFile::encodeName(folder.path("locked")).constData(), 0755);
        QCOMPARE(folder.read("locked/Wjql.ini"), old);
        QCOMPARE(page.log.messages.back().title, QString("错误"));
        QVERIFY(!page.log.messages.back().text.isEmpty());
        QVERIFY(page.log.messages.back().text != "数据保存成功！");
        QCOMPARE(QDir(folder.path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"Wjql.ini"});
        QCOMPARE(page.entries(), (QStringList{"old", "new"}));
    }

    void hugeEntryIsKeptWholeAndShownShort()
    {
        WorkingFolder folder;
        const QByteArray file = QByteArray(10 * 1024 * 1024, 'x') + "\r\nB\r\nC\nD\r\n";
        folder.write("Wjql.ini", file);
        Page page(folder);
        page.form->Image4_Click();
        page.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.form.get()));
        // Laid out in full, a 10 MB row would be millions of pixels wide and take seconds
        // to draw on every repaint.
        auto *list = page.form->findChild<QListWidget *>("List1");
        QVERIFY(list->visualItemRect(list->item(0)).width() < 20000);
        // An entry holding a line feed still takes one row.
        QCOMPARE(list->visualItemRect(list->item(2)).height(), list->visualItemRect(list->item(1)).height());
        QCOMPARE(page.entries().size(), 3);
        page.form->Command4_Click();
        QCOMPARE(folder.read("Wjql.ini"), file);
    }

    void folderInPlaceOfTheList()
    {
        WorkingFolder folder;
        QDir(folder.path()).mkpath("Wjql.ini/inside");
        Page page(folder);
        QCOMPARE(page.log.messages.front().text, QString("清理文件对象列表读取失败！"));
        QVERIFY(page.entries().isEmpty());
        page.form->Command1_Click();
        page.type("new");
        page.form->Command5_Click();
        page.form->Command4_Click();
        QCOMPARE(page.log.messages.back().title, QString("错误"));
        QVERIFY(QFileInfo(folder.path("Wjql.ini/inside")).isDir());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(page.entries(), QStringList{"new"});
    }

    void registryListIsFoundInAnyCaseAndSavedThere()
    {
        WorkingFolder folder;
        folder.write("zcql.INI", "HKCU\\A\\\r\n");
        MessageLog log;
        FormServices services;
        services.showMessage = log.function();
        auto removed = std::make_shared<QStringList>();
        auto finished = std::make_shared<int>(0);
        services.makeRegistryDeleter = [=] { return std::make_unique<RecordingDeleter>(removed, finished); };
        Form1 form(services);
        auto *list = form.findChild<QListWidget *>("List2");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QString("HKCU\\A\\"));
        form.Command9_Click();
        QCOMPARE(log.messages.back().text, QString("数据保存成功！"));
        // One file: the one that was found.
        QCOMPARE(QDir(folder.path()).entryList({"*.ini", "*.INI"}, QDir::Files), QStringList{"zcql.INI"});

        // Without any list file, a save creates Zcql.ini.
        WorkingFolder empty;
        Form1 fresh(services);
        fresh.Command9_Click();
        QVERIFY(QFileInfo(empty.path("Zcql.ini")).exists());
        QVERIFY(QDir(empty.path()).entryList(QDir::Files).contains("Zcql.ini"));
    }

    void registryRunUsesItsOwnControls()
    {
        WorkingFolder folder;
        folder.write("Zcql.ini", "HKCU\\A\\v\r\nHKCU\\B\\\r\n");
        Page page(folder);
        page.form->Image11_Click();
        page.form->Zcqltm_Timer();
        QCOMPARE(page.form->findChild<QLabel *>("Zcqlwb")->text(), QString("正在删除HKCU\\A\\v"));
        QCOMPARE(page.form->findChild<QProgressBar *>("Zcqljdt")->value(), 50);
        QCOMPARE(page.status(), QString("准备就绪...")); // the junk-file page is untouched
        page.form->Zcqltm_Timer();
        page.form->Zcqltm_Timer();
        QCOMPARE(page.form->findChild<QLabel *>("Zcqlwb")->text(), QString("垃圾注册表项清理完成！"));
        QVERIFY(page.form->findChild<QWidget *>("Image11")->isEnabled());
        page.form->Label12_Click();
        QCOMPARE(page.form->findChild<QLabel *>("Zcqlwb")->text(), QString("已停止"));
    }
};

BRISQUEL_FORM_TEST_MAIN(TestCleanupPage)
#include "test_cleanup_page.moc"
