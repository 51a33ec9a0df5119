#include "app/controls.h"
#include "cleanup/entry_deleter.h"
#include "fake_prefix.h"
#include "form_fixture.h"
#include "platform/error_text.h"
#include "platform/save_journal.h"
#include "scoped_variable.h"
#include "without_dac_override.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the pages asked their deleters to do.
struct Deletions
{
    QStringList removed;
    int finished = 0; // runs completed or stopped
    QStringList prefixes; // the prefixes the last run was given
};

// Records what a page asks to delete; deletes nothing.
struct RecordingDeleter : cleanup::EntryDeleter
{
    explicit RecordingDeleter(std::shared_ptr<Deletions> into) : record(std::move(into)) {}
    bool remove(const QString &entry) override
    {
        record->removed.append(entry);
        return false;
    }
    void runFinished() override { ++record->finished; }
    void useWinePrefixes(const std::vector<cleanup::WinePrefix> &prefixes) override
    {
        record->prefixes.clear();
        for (const cleanup::WinePrefix &prefix : prefixes)
            record->prefixes.append(prefix.path);
    }
    std::shared_ptr<Deletions> record;
};

// The window over a fresh working folder. Made with files (or just the bytes of Wjql.ini),
// it writes them and opens at once; made without, it opens when the test has prepared the
// folder. Deletions are recorded unless the junk-file page is to use the window's own
// file deleter.
struct Page
{
    enum FileDeleter { RecordFiles, DeleteFiles };
    using Files = std::vector<std::pair<QString, QByteArray>>;

    Page() = default;
    explicit Page(const Files &files)
    {
        for (const auto &[name, bytes] : files)
            folder.write(name, bytes);
        open();
    }
    explicit Page(const QByteArray &list, FileDeleter files = RecordFiles)
    {
        folder.write("Wjql.ini", list);
        open(files);
    }
    void open(FileDeleter files = RecordFiles)
    {
        FormServices services;
        services.showMessage = log.function();
        const auto recording = [d = deletions] { return std::make_unique<RecordingDeleter>(d); };
        if (files == RecordFiles)
            services.makeFileDeleter = recording;
        services.makeRegistryDeleter = recording;
        services.searchPrefixes = searchPrefixes;
        form = std::make_unique<Form1>(services);
    }

    template <typename T = QWidget>
    T *child(const char *name) const { return form->findChild<T *>(name); }
    QStringList entries(const char *list = "List1") const
    {
        QStringList texts;
        const auto *box = child<QListWidget>(list);
        for (int i = 0; i < box->count(); ++i)
            texts << box->item(i)->text();
        return texts;
    }
    // The junk-file page's controls unless another is named.
    QString status(const char *label = "Wjqlwb") const { return child<QLabel>(label)->text(); }
    int bar(const char *bar = "Wjqljdt") const { return child<QProgressBar>(bar)->value(); }
    bool startEnabled(const char *picture = "Image9") const { return child(picture)->isEnabled(); }
    QString index() const { return child<QLineEdit>("Wjqljd")->text(); }
    bool running() const { return child<QTimer>("Wjqltm")->isActive(); }
    const Message &lastMessage() const { return log.messages.back(); }

    // The custom-target button, the text, OK.
    void add(const QString &text)
    {
        form->Command1_Click();
        child<QLineEdit>("Text1")->setText(text);
        form->Command5_Click();
    }
    void removeRow(int row) { child<QListWidget>("List1")->setCurrentRow(row); form->Command2_Click(); }
    void ticks(int count = 1) { for (int k = 0; k < count; ++k) form->Wjqltm_Timer(); }

    WorkingFolder folder;
    MessageLog log;
    std::shared_ptr<Deletions> deletions = std::make_shared<Deletions>();
    std::function<cleanup::PrefixSearch()> searchPrefixes;
    std::unique_ptr<Form1> form;
};

QByteArray lines(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "e" + QByteArray::number(i) + "\r\n";
    return bytes;
}

// A byte of the list file that is no text, as an entry holds it.
QString escaped(int byte)
{
    return QString(QChar(char16_t(0xDC00 + byte)));
}

const QString kFilesDone = QStringLiteral("系统垃圾文件清理完成！");
const QString kFilesUnreadable = QStringLiteral("清理文件对象列表读取失败！");

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
        // Bytes that are no GB18030 text come back as they were.
        QTest::newRow("undecodable bytes") << QByteArray("/x/\xff\xfe/*.tmp\r\n\x81")
                                           << QStringList{"/x/" + escaped(0xff) + escaped(0xfe) + "/*.tmp", escaped(0x81)}
                                           << QByteArray("/x/\xff\xfe/*.tmp\r\n\x81\r\n");
        QTest::newRow("UTF-8 line") << QByteArray("/tmp/\xe4\xb8\xb4\xe6\x97\xb6\xc3\xa9/*\r\n")
                                    << QStringList{QStringLiteral("/tmp/涓存椂茅/*")}
                                    << QByteArray("/tmp/\xe4\xb8\xb4\xe6\x97\xb6\xc3\xa9/*\r\n");
    }

    void listFileFormat()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        QFETCH(QByteArray, saved);
        Page page(file);
        QCOMPARE(page.entries(), entries);
        QCOMPARE(page.log.messages.size(), size_t(1)); // only the missing registry list
        page.form->Command4_Click();
        QCOMPARE(page.folder.read("Wjql.ini"), saved);
        QCOMPARE(page.lastMessage().text, QString("数据保存成功！"));
        QCOMPARE(page.lastMessage().title, QString("提示"));
    }

    void missingListIsCreatedBySave()
    {
        Page page(Page::Files{}); // no list file
        QCOMPARE(page.log.messages.front().text, kFilesUnreadable);
        QVERIFY(page.entries().isEmpty());
        page.form->Command4_Click();
        QVERIFY(QFile::exists(page.folder.path("Wjql.ini")));
        QCOMPARE(page.folder.read("Wjql.ini"), QByteArray());
    }

    void longListStopsAtTheBound()
    {
        Page page({{"Wjql.ini", lines(32768)}, {"Zcql.ini", ""}});
        QCOMPARE(page.entries().size(), 32767);
        QCOMPARE(page.entries().last(), QString("e32766"));
        QCOMPARE(page.log.messages.size(), size_t(1));
        QCOMPARE(page.log.messages[0].text, kFilesUnreadable);
        page.add("one more");
        QCOMPARE(page.entries().size(), 32767);
    }

    void entryBox()
    {
        Page page("A\r\n");
        const auto *text = page.child<QLineEdit>("Text1");
        const auto *ok = page.child("Command5");

        page.form->Command1_Click();
        QVERIFY(!text->isHidden() && !ok->isHidden());
        page.form->Command5_Click(); // empty: nothing added, box hidden
        QVERIFY(text->isHidden() && ok->isHidden());
        QCOMPARE(page.entries(), QStringList{"A"});

        for (const char *typed : {"  ", "A", "A"})
            page.add(typed);
        QCOMPARE(page.entries(), (QStringList{"A", "  ", "A", "A"}));
        page.form->Command1_Click();
        QCOMPARE(text->text(), QString("A")); // kept from last time
        page.form->Command4_Click();
        QCOMPARE(page.folder.read("Wjql.ini"), QByteArray("A\r\n  \r\nA\r\nA\r\n"));
    }

    void deleteTakesTheSelectionOnly()
    {
        Page page("A\r\nB\r\nC\r\n");
        const size_t messages = page.log.messages.size();
        page.form->Command2_Click();
        QCOMPARE(page.entries(), (QStringList{"A", "B", "C"}));
        QCOMPARE(page.log.messages.size(), messages);
        page.removeRow(1);
        QCOMPARE(page.entries(), (QStringList{"A", "C"}));
        // Nothing is selected afterwards, so a second click deletes nothing more.
        page.form->Command2_Click();
        QCOMPARE(page.entries(), (QStringList{"A", "C"}));
        QCOMPARE(page.folder.read("Wjql.ini"), QByteArray("A\r\nB\r\nC\r\n")); // not saved
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
        Page page(lines(count));
        page.form->Image9_Click();
        QVERIFY(page.running());
        QVERIFY(!page.startEnabled());
        for (int k = 0; k < count; ++k) {
            page.ticks();
            QCOMPARE(page.status(), "正在删除e" + QString::number(k));
            QCOMPARE(page.index(), QString::number(k + 1));
            QCOMPARE(page.bar(), bars[k]);
            QVERIFY(page.running());
        }
        page.ticks();
        QVERIFY(!page.running());
        QVERIFY(page.startEnabled());
        QCOMPARE(page.status(), kFilesDone);
        QCOMPARE(page.index(), QString("0"));
        QCOMPARE(page.bar(), 100);
        QCOMPARE(page.deletions->removed.size(), count);
        QCOMPARE(page.deletions->finished, 1);
        QCOMPARE(page.entries().size(), count); // a run never changes the list
        if (count == 100) // the share is truncated after a floating-point division
            QCOMPARE((QList<int>{bars[28], bars[56], bars[57], bars[29]}), (QList<int>{28, 56, 57, 30}));
    }

    void runsOnTheRealTimer()
    {
        Page page(lines(5));
        QTest::mouseClick(page.child<ClickLabel>("Image9"), Qt::LeftButton);
        QVERIFY(page.running());
        QTRY_COMPARE(page.status(), kFilesDone);
        QCOMPARE(page.deletions->removed, (QStringList{"e0", "e1", "e2", "e3", "e4"}));
    }

    void stopAndRestart()
    {
        Page page(lines(5));
        page.form->Image9_Click();
        page.ticks(2);
        page.form->Label11_Click();
        QVERIFY(!page.running());
        QVERIFY(page.startEnabled());
        QCOMPARE(page.status(), QString("已停止"));
        QCOMPARE(page.bar(), 0);
        QCOMPARE(page.index(), QString("0"));
        QCOMPARE(page.deletions->finished, 1);

        page.form->Image9_Click();
        page.ticks();
        QCOMPARE(page.deletions->removed.last(), QString("e0")); // starts over

        // A stop while idle resets the display just the same.
        page.form->Label11_Click();
        for (int k = 0; k < 6; ++k)
            page.form->Image9_Click(), page.ticks();
        QCOMPARE(page.bar(), 100);
        page.form->Label11_Click();
        QCOMPARE(page.status(), QString("已停止"));
        QCOMPARE(page.bar(), 0);
    }

    void startAfterCompletionKeepsTheDisplayUntilTheFirstTick()
    {
        Page page(lines(2));
        page.form->Image9_Click();
        page.ticks(3);
        page.form->Image9_Click();
        QCOMPARE(page.bar(), 100);
        QCOMPARE(page.status(), kFilesDone);
        page.ticks();
        QCOMPARE(page.bar(), 50);
    }

    void editsDuringARun()
    {
        Page page(lines(4));
        page.form->Image9_Click();
        page.ticks();
        page.add("added"); // an entry added at the end is reached
        page.ticks(4);
        QCOMPARE(page.deletions->removed.last(), QString("added"));
        page.ticks();
        QVERIFY(!page.running());

        // Removing entries behind the run index ends the run at the next tick.
        page.form->Image9_Click();
        page.ticks(4);
        for (int k = 0; k < 3; ++k)
            page.removeRow(0);
        QCOMPARE(page.index(), QString("4"));
        page.ticks();
        QVERIFY(!page.running());
        QCOMPARE(page.status(), kFilesDone);
        QCOMPARE(page.index(), QString("0"));
    }

    void runDeletesRealFiles()
    {
        Page page("junk/*.tmp\r\njunk/nothing*\r\n\r\njunk/keep\r\n", Page::DeleteFiles);
        const WorkingFolder &folder = page.folder;
        QDir(folder.path()).mkpath("junk/keep");
        for (const char *name : {"junk/a.tmp", "junk/b.tmp", "junk/c.log", "junk/keep/d.tmp"})
            folder.write(name, "x");
        page.form->Image9_Click();
        QTRY_VERIFY(!page.running());
        QVERIFY(!QFile::exists(folder.path("junk/a.tmp")));
        QVERIFY(!QFile::exists(folder.path("junk/b.tmp")));
        QVERIFY(QFile::exists(folder.path("junk/c.log")));
        QVERIFY(QFile::exists(folder.path("junk/keep/d.tmp")));
        QCOMPARE(page.status(), kFilesDone);
        QCOMPARE(page.entries().size(), 4);
    }

    // A prefix whose hives don't answer (here a pipe nobody writes to, where a real hang is a
    // mount that stopped answering) sits the run out with a message, and the others are
    // cleaned; a search that hangs leaves every prefix out. The window goes on either way.
    void silentPrefixSitsTheRunOut()
    {
        Page page;
        const WorkingFolder &folder = page.folder;
        const QByteArray pipe = QFile::encodeName(folder.path("pipe"));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        const auto hang = [pipe] { QFile(QFile::decodeName(pipe)).open(QIODevice::ReadOnly); };
        const QString answering = folder.path("answering");
        const QString silent = folder.path("silent");
        QVERIFY(makeFakePrefix(answering, {"junk"}) && makeFakePrefix(silent, {"junk"}));
        folder.write("answering/drive_c/junk/a.tmp", "x");
        folder.write("silent/drive_c/junk/a.tmp", "x");
        bool searchHangs = false;
        page.searchPrefixes = [&] {
            // Long enough for a prefix that answers on a busy machine; a hang never ends.
            return cleanup::searchPrefixes(
                std::chrono::seconds(1),
                [hang, answering, silent, searchHangs]() -> QStringList {
                    if (searchHangs)
                        hang();
                    return {answering, silent};
                },
                [hang, silent](const QString &prefix) {
                    if (prefix == silent)
                        hang();
                    return QHash<QString, QString>{};
                });
        };
        folder.write("Wjql.ini", "C:\\junk\\*.tmp\r\n");
        folder.write("Zcql.ini", "HKCU\\A\\\r\n");
        page.open(Page::DeleteFiles);

        page.form->Image9_Click();
        QCOMPARE(page.log.messages.size(), size_t(1));
        QCOMPARE(page.lastMessage().text,
                 "以下 Wine 前缀所在的位置没有响应，本次清理跳过了它们：\n" + silent);
        QTRY_VERIFY(!page.running());
        QVERIFY(!QFile::exists(folder.path("answering/drive_c/junk/a.tmp")));
        QVERIFY(QFile::exists(folder.path("silent/drive_c/junk/a.tmp")));
        QCOMPARE(page.status(), kFilesDone);

        // The registry page is given the same prefixes.
        page.form->Image11_Click();
        QCOMPARE(page.deletions->prefixes, QStringList{answering});
        page.form->Label12_Click();

        searchHangs = true;
        page.form->Image11_Click();
        QCOMPARE(page.lastMessage().text,
                 QString("查找 Wine 前缀时，某个位置没有响应，本次清理不包括任何 Wine 前缀。"));
        QCOMPARE(page.deletions->prefixes, QStringList{});
        QVERIFY(page.child<QTimer>("Zcqltm")->isActive());
        page.form->Label12_Click();

        // A writer lets the hung readers go.
        const int writer = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(writer >= 0);
        ::close(writer);
    }

    void saveInLockedPlaces_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<bool>("saved");
        // A list the user may write is saved, even where no new file can be made beside it.
        QTest::newRow("read-only folder") << 0555 << 0644 << true;
        QTest::newRow("read-only list") << 0755 << 0444 << false;
    }

    void saveInLockedPlaces()
    {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(bool, saved);
        Page page;
        const WorkingFolder &folder = page.folder;
        const ScopedVariable state("XDG_STATE_HOME", QFile::encodeName(folder.path("state")));
        QDir(folder.path()).mkdir("locked");
        const QByteArray old("old\r\n");
        folder.write("locked/Wjql.ini", old);
        QDir::setCurrent(folder.path("locked"));
        page.open();
        page.add("new");
        const QByteArray locked = QFile::encodeName(folder.path("locked"));
        QVERIFY(::chmod(QFile::encodeName(folder.path("locked/Wjql.ini")).constData(), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(locked.constData(), mode_t(folderMode)) == 0);
        {
            const WithoutDacOverride asUser;
            page.form->Command4_Click();
        }
        ::chmod(locked.constData(), 0755);
        if (saved) {
            QCOMPARE(folder.read("locked/Wjql.ini"), QByteArray("old\r\nnew\r\n"));
            QCOMPARE(page.lastMessage().text, QString("数据保存成功！"));
        } else {
            QCOMPARE(folder.read("locked/Wjql.ini"), old);
            QCOMPARE(page.lastMessage().title, QString("错误"));
            QCOMPARE(page.lastMessage().text,
                     QString("数据保存失败！\n原因：%1\n磁盘上的列表文件保持原样，没有改动。").arg(platform::describeError(EACCES)));
        }
        QCOMPARE(QDir(folder.path("locked")).entryList(QDir::Files | QDir::Hidden), QStringList{"Wjql.ini"});
        QCOMPARE(page.entries(), (QStringList{"old", "new"}));
    }

    void interruptedSaveCompletedAtStart_data()
    {
        QTest::addColumn<int>("listMode");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("completed") << 0644 << "上次中断的清理文件对象列表保存已自动完成！" << "提示";
        QTest::newRow("list turned read-only")
            << 0444
            << QString("上次中断的清理文件对象列表保存未能完成！\n原因：%1\n列表可能不完整，下次启动时将再次尝试。")
                   .arg(platform::describeError(EACCES))
            << "错误";
    }

    // A save cut short while writing the list in place left its journal: the start
    // finishes it before the list is read, and says so.
    void interruptedSaveCompletedAtStart()
    {
        QFETCH(int, listMode);
        QFETCH(QString, message);
        QFETCH(QString, title);
        Page page;
        // Killed after writing the part past the old end, before the old content.
        const QByteArray old("old 1\r\nold 2\r\n"), fresh("new 1\r\nnew 2\r\nnew 3\r\n");
        const QByteArray left = old + fresh.mid(old.size());
        page.folder.write("Wjql.ini", left);
        const QByteArray list = QFile::encodeName(page.folder.path("Wjql.ini"));
        QVERIFY(::link(list.constData(), QFile::encodeName(page.folder.path("other.ini")).constData()) == 0);
        struct stat st;
        QVERIFY(::stat(list.constData(), &st) == 0 && ::chmod(list.constData(), mode_t(listMode)) == 0);
        page.folder.write(".Wjql.ini.brisquel-journal", platform::detail::encodeJournal(st.st_dev, st.st_ino, old, fresh));
        {
            const WithoutDacOverride asUser;
            page.open();
        }
        const bool completed = listMode == 0644;
        QCOMPARE(page.log.messages.size(), size_t(2)); // and the missing registry list
        QCOMPARE(page.log.messages.front().text, message);
        QCOMPARE(page.log.messages.front().title, title);
        QCOMPARE(page.folder.read("other.ini"), completed ? fresh : left);
        QCOMPARE(page.entries(), completed ? (QStringList{"new 1", "new 2", "new 3"}) : (QStringList{"old 1", "old 2", "new 3"}));
        QCOMPARE(QFileInfo::exists(page.folder.path(".Wjql.ini.brisquel-journal")), !completed);
    }

    // The list shows a byte that is no text as U+FFFD, and keeps the byte itself.
    void undecodableBytesShownAsReplacement()
    {
        Page page("a\xff.tmp\r\n");
        struct Peek : ShortTextDelegate
        {
            using ShortTextDelegate::initStyleOption;
        } peek;
        QStyleOptionViewItem option;
        peek.initStyleOption(&option, page.child<QListWidget>("List1")->model()->index(0, 0));
        QCOMPARE(option.text, QStringLiteral("a\uFFFD.tmp"));
        QCOMPARE(page.entries(), QStringList{"a" + escaped(0xff) + ".tmp"});
    }

    // As a single-line Windows edit box: no line break ever gets in, and of text that brings
    // one, what comes before it is kept.
    void entryBoxTakesOneLine_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        QTest::newRow("set with CR") << "set" << "" << 0 << "junk/a.tmp\r*" << "junk/a.tmp";
        QTest::newRow("set with LF") << "set" << "x" << 1 << "a\nb" << "a";
        QTest::newRow("set starting with CR LF") << "set" << "" << 0 << "\r\nb" << "";
        QTest::newRow("paste at the end") << "paste" << "ab" << 2 << "c\r\nd" << "abc";
        QTest::newRow("paste in the middle") << "paste" << "abef" << 2 << "cd\ne\rf" << "abcdef";
        QTest::newRow("typed through an input method") << "compose" << "ab" << 1 << "x\ny" << "axb";
    }

    void entryBoxTakesOneLine()
    {
        QFETCH(QString, how);
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, text);
        QFETCH(QString, after);
        Page page("");
        page.form->Command1_Click();
        auto *box = page.child<QLineEdit>("Text1");
        box->setText(before);
        box->setCursorPosition(cursor);
        if (how == "set") {
            box->setText(text);
        } else if (how == "paste") {
            QGuiApplication::clipboard()->setText(text);
            QTest::keySequence(box, QKeySequence::Paste);
        } else {
            QInputMethodEvent event;
            event.setCommitString(text);
            QCoreApplication::sendEvent(box, &event);
        }
        QCOMPARE(box->text(), after);
        page.form->Command5_Click();
        page.form->Command4_Click();
        QCOMPARE(page.folder.read("Wjql.ini"), after.isEmpty() ? QByteArray() : after.toLatin1() + "\r\n");
    }

    void hugeEntryIsKeptWholeAndShownShort()
    {
        const QByteArray file = QByteArray(10 * 1024 * 1024, 'x') + "\r\nB\r\nC\nD\r\n";
        Page page(file);
        page.form->Image4_Click();
        page.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.form.get()));
        // Laid out in full, a 10 MB row would be millions of pixels wide and take seconds
        // to draw on every repaint.
        const auto *list = page.child<QListWidget>("List1");
        QVERIFY(list->visualItemRect(list->item(0)).width() < 20000);
        // An entry holding a line feed still takes one row.
        QCOMPARE(list->visualItemRect(list->item(2)).height(), list->visualItemRect(list->item(1)).height());
        QCOMPARE(page.entries().size(), 3);
        page.form->Command4_Click();
        QCOMPARE(page.folder.read("Wjql.ini"), file);
    }

    void folderInPlaceOfTheList()
    {
        Page page;
        QDir(page.folder.path()).mkpath("Wjql.ini/inside");
        page.open();
        QCOMPARE(page.log.messages.front().text, kFilesUnreadable);
        QVERIFY(page.entries().isEmpty());
        page.add("new");
        page.form->Command4_Click();
        QCOMPARE(page.lastMessage().title, QString("错误"));
        QVERIFY(QFileInfo(page.folder.path("Wjql.ini/inside")).isDir());
        QCOMPARE(QDir(page.folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(page.entries(), QStringList{"new"});
    }

    void registryListIsFoundInAnyCaseAndSavedThere()
    {
        Page page(Page::Files{{"zcql.INI", "HKCU\\A\\\r\n"}});
        QCOMPARE(page.entries("List2"), QStringList{"HKCU\\A\\"});
        page.form->Command9_Click();
        QCOMPARE(page.lastMessage().text, QString("数据保存成功！"));
        // One file: the one that was found.
        QCOMPARE(QDir(page.folder.path()).entryList({"*.ini", "*.INI"}, QDir::Files), QStringList{"zcql.INI"});

        // Without any list file, a save creates Zcql.ini.
        Page fresh(Page::Files{});
        fresh.form->Command9_Click();
        QVERIFY(QFileInfo(fresh.folder.path("Zcql.ini")).exists());
        QVERIFY(QDir(fresh.folder.path()).entryList(QDir::Files).contains("Zcql.ini"));
    }

    void registryRunUsesItsOwnControls()
    {
        Page page(Page::Files{{"Zcql.ini", "HKCU\\A\\v\r\nHKCU\\B\\\r\n"}});
        page.form->Image11_Click();
        page.form->Zcqltm_Timer();
        QCOMPARE(page.status("Zcqlwb"), QString("正在删除HKCU\\A\\v"));
        QCOMPARE(page.bar("Zcqljdt"), 50);
        QCOMPARE(page.status(), QString("准备就绪...")); // the junk-file page is untouched
        page.form->Zcqltm_Timer();
        page.form->Zcqltm_Timer();
        QCOMPARE(page.status("Zcqlwb"), QString("垃圾注册表项清理完成！"));
        QVERIFY(page.startEnabled("Image11"));
        page.form->Label12_Click();
        QCOMPARE(page.status("Zcqlwb"), QString("已停止"));
    }
};

BRISQUEL_FORM_TEST_MAIN(TestCleanupPage)
#include "test_cleanup_page.moc"
