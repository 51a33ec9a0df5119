#include "platform/byte_path.h"
#include "shredder/window/filefs_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <linux/capability.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

// Names here need not be text, so files are made by their bytes.
std::filesystem::path bytePath(const QByteArray &path) { return path.toStdString(); }

bool writeBytes(const QByteArray &path, const char *content) { return bool(std::ofstream(bytePath(path)) << content); }

// QTemporaryDir removes by decoded names, which miss names that are no text.
struct TemporaryFolder : QTemporaryDir
{
    ~TemporaryFolder() { std::filesystem::remove_all(bytePath(QFile::encodeName(path()))); }
};

// A working folder for the length of a scope, for relative names.
struct WorkingFolder
{
    explicit WorkingFolder(const QString &path) { QDir::setCurrent(path); }
    ~WorkingFolder() { QDir::setCurrent(previous); }
    const QString previous = QDir::currentPath();
};

QStringList rowTexts(const QTreeWidget *list, int column)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(column);
    return texts;
}

bool runs(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::uint64_t freeBytes(const QString &folder)
{
    struct statvfs counts {};
    ::statvfs(QFile::encodeName(folder).constData(), &counts);
    return std::uint64_t(counts.f_bfree) * counts.f_frsize;
}

// Leaves this thread, and threads it starts, without root's right to fill the reserve.
struct WithoutReserve
{
    WithoutReserve()
    {
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[CAP_SYS_RESOURCE / 32].effective &= ~(1u << (CAP_SYS_RESOURCE % 32));
        active = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutReserve()
    {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};

// A small ext4 image, loop-mounted for the length of a scope.
struct LoopMount
{
    LoopMount(const QString &folder, const QString &reserve, const QString &options = "loop")
        : point(folder + "/mnt")
    {
        mounted = ::geteuid() == 0 && QDir().mkpath(point) && runs("truncate", {"-s", "64M", folder + "/disk.img"})
                  && runs("mkfs.ext4", {"-q", "-F", "-m", reserve, folder + "/disk.img"})
                  && runs("mount", {"-o", options, folder + "/disk.img", point});
        point = QFileInfo(point).canonicalFilePath();
    }
    ~LoopMount()
    {
        if (mounted)
            runs("umount", {point});
    }
    QString point;
    bool mounted = false;
};

} // namespace

class TestFilefsWindow : public QObject
{
    Q_OBJECT
private slots:
    void shredsListedItems_data();
    void shredsListedItems();
    void undecodableNameShredsItsOwnFile_data();
    void undecodableNameShredsItsOwnFile();
    void rowsAreTheGivenBytes_data();
    void rowsAreTheGivenBytes();
    void pickedNameFoundByItsBytes_data();
    void pickedNameFoundByItsBytes();
    void wipesFreeSpace_data();
    void wipesFreeSpace();
};

void TestFilefsWindow::shredsListedItems_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("statuses");
    const QString missing = QStringLiteral("失败：找不到指定的文件或路径。");
    const QString ready = QStringLiteral("待粉碎（有警告）");
    QTest::newRow("confirmed") << "yes" << QStringList{"已粉碎", "已粉碎", missing};
    QTest::newRow("declined") << "no" << QStringList{ready, ready, missing};
    QTest::newRow("window closed while working") << "close" << QStringList{"已取消", "已取消", "已取消"};
}

// The items arrive as a file manager hands them over (the command line), the
// confirmation is answered through the window's seam, and each row tells its result.
void TestFilefsWindow::shredsListedItems()
{
    QFETCH(QString, action);
    QFETCH(QStringList, statuses);
    QTemporaryDir dir;
    QVERIFY(dir.isValid() && QDir(dir.path()).mkpath("folder/inner"));
    const QString big = dir.filePath("big.bin");
    QFile file(big);
    // Written, not sparse: a hole has nothing to overwrite and would leave no time to close.
    const qsizetype size = action == "close" ? 32 << 20 : 10000;
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(size, 'x')) == size);
    file.close();
    QFile small(dir.filePath("folder/inner/note.txt"));
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write("note") == 4);
    small.close();

    QStringList questions, messages;
    FilefsServices services;
    services.confirm = [&](QWidget *, const QString &text, const QString &) {
        questions << text;
        return action != "no";
    };
    services.showMessage = [&](QWidget *, const QString &text, const QString &) { messages << text; };
    services.describeDevice = [](dev_t) { return shredder::DeviceFacts{"btrfs", shredder::Medium::Rotating}; };
    FilefsWindow window(services);
    window.addPaths({big, dir.filePath("folder/"), dir.filePath("missing")});
    window.show();
    QTRY_VERIFY(!window.isBusy());

    auto *list = window.findChild<QTreeWidget *>("itemList");
    QCOMPARE(list->topLevelItemCount(), 3);
    if (action == "close")
        window.findChild<QComboBox *>("passesBox")->setCurrentIndex(2);
    QTest::mouseClick(window.findChild<QPushButton *>("shredButton"), Qt::LeftButton);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].contains(QStringLiteral("这 3 项")));
    QVERIFY(questions[0].contains(QStringLiteral("btrfs 文件系统")));
    if (action == "close") {
        QVERIFY(window.isBusy());
        QVERIFY(!window.close()); // refused until the work has stopped
    }
    QTRY_VERIFY(!window.isBusy());

    QCOMPARE(rowTexts(list, 2), statuses);
    QCOMPARE(QFile::exists(big), action != "yes");
    QCOMPARE(QFile::exists(dir.filePath("folder")), action != "yes");
    QCOMPARE(window.isVisible(), action != "close");
    QVERIFY(messages.isEmpty());
}

void TestFilefsWindow::undecodableNameShredsItsOwnFile_data()
{
    QTest::addColumn<QByteArray>("dropped"); // empty: given on the command line
    QTest::newRow("relative name on the command line") << QByteArray();
    QTest::newRow("dropped file address") << QByteArray("file://@/a%FF\r\n");
}

// "a\xff" is asked for; "a" + U+FFFD beside it shows the same and must stay.
void TestFilefsWindow::undecodableNameShredsItsOwnFile()
{
    QFETCH(QByteArray, dropped);
    TemporaryFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray asked = folder + "/a\xff", bystander = folder + "/a\xef\xbf\xbd";
    QVERIFY(dir.isValid() && writeBytes(asked, "asked") && writeBytes(bystander, "bystander"));

    FilefsServices services;
    services.confirm = [](QWidget *, const QString &, const QString &) { return true; };
    FilefsWindow window(services);
    if (dropped.isEmpty()) {
        const WorkingFolder here(dir.path());
        window.addArguments({"a\xff"});
    } else {
        QMimeData data;
        data.setData("text/uri-list", dropped.replace('@', folder));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QVERIFY(QApplication::sendEvent(&window, &enter) && enter.isAccepted());
        QApplication::sendEvent(&window, &drop);
    }
    window.show();
    QTRY_VERIFY(!window.isBusy());
    auto *list = window.findChild<QTreeWidget *>("itemList");
    QCOMPARE(rowTexts(list, 0), QStringList{dir.path() + u"/a\uFFFD"_qs});
    QTest::mouseClick(window.findChild<QPushButton *>("shredButton"), Qt::LeftButton);
    QTRY_VERIFY(!window.isBusy());
    QCOMPARE(rowTexts(list, 2), QStringList{"已粉碎"});
    QVERIFY(!std::filesystem::exists(bytePath(asked)));
    QCOMPARE(std::filesystem::file_size(bytePath(bystander)), 9u); // untouched
}

void TestFilefsWindow::rowsAreTheGivenBytes_data()
{
    // "@" stands for the test's folder.
    QTest::addColumn<QByteArrayList>("given");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("names that show alike") << QByteArrayList{"@/a\xff", "a\xef\xbf\xbd"}
                                           << QStringList{u"@/a\uFFFD"_qs, u"@/a\uFFFD"_qs};
    QTest::newRow("one name written many ways")
        << QByteArrayList{"a\xff", "@/./sub/../a\xff/", "@//a\xff", "file://@/a%FF", "FILE://LocalHost@/a%ff"}
        << QStringList{u"@/a\uFFFD"_qs};
    QTest::newRow("addresses that name no file here")
        << QByteArrayList{"@/b", "file://@/a%00b", "file://elsewhere@/a"} << QStringList{"@/b"};
}

// Rows are told apart by the bytes of their absolute, cleaned path, within one call and across calls.
void TestFilefsWindow::rowsAreTheGivenBytes()
{
    QFETCH(QByteArrayList, given);
    QFETCH(QStringList, rows);
    TemporaryFolder dir;
    const WorkingFolder here(dir.path());
    for (QByteArray &path : given)
        path.replace('@', QFile::encodeName(dir.path()));
    FilefsWindow window;
    window.addArguments(given.mid(0, 1));
    window.addArguments(given.mid(1));
    QTRY_VERIFY(!window.isBusy());
    QCOMPARE(rowTexts(window.findChild<QTreeWidget *>("itemList"), 0), rows.replaceInStrings("@", dir.path()));
}

void TestFilefsWindow::pickedNameFoundByItsBytes_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("found"); // empty: refused
    QTest::newRow("one name shows so") << u"@/a\uFFFD"_qs << QByteArray("@/a\xff");
    QTest::newRow("in a folder that shows so") << u"@/d\uFFFD/x\uFFFD"_qs << QByteArray("@/d\xfe/x\xff");
    QTest::newRow("two names show so") << u"@/b\uFFFD"_qs << QByteArray();
    QTest::newRow("byte-order mark left out") << u"@/m"_qs << QByteArray();
}

// What a file dialog gives back as text leads to the one file it showed, or to none.
void TestFilefsWindow::pickedNameFoundByItsBytes()
{
    QFETCH(QString, shown);
    QFETCH(QByteArray, found);
    TemporaryFolder dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    QVERIFY(std::filesystem::create_directory(bytePath(folder + "/d\xfe")));
    for (const char *name : {"/a\xff", "/b\xff", "/b\xef\xbf\xbd", "/d\xfe/x\xff", "/m", "/\xef\xbb\xbfm"})
        QVERIFY(writeBytes(folder + name, "x"));
    const std::optional<QByteArray> path = platform::pathFromShownText(shown.replace('@', dir.path()));
    QCOMPARE(path.value_or(QByteArray()), found.replace('@', folder));
}

void TestFilefsWindow::wipesFreeSpace_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("result");
    QTest::newRow("confirmed") << "" << QStringLiteral("已擦除 @ 的空闲空间");
    QTest::newRow("cancelled at once") << "cancel" << QStringLiteral("已取消擦除");
    QTest::newRow("a killed named fill, removed at start") << "killed" << QStringLiteral("已擦除 @ 的空闲空间");
    QTest::newRow("root's reserve, as a user without it") << "reserve" << QStringLiteral("已擦除 @ 的空闲空间");
    QTest::newRow("root's reserve, as root") << "root" << QStringLiteral("已擦除 @ 的空闲空间");
    QTest::newRow("a FIFO among the records") << "fifo" << QStringLiteral("已擦除 @ 的空闲空间");
    QTest::newRow("a start while another wipe runs") << "running" << QStringLiteral("已擦除 @ 的空闲空间");
}

// The wipe through the window, on a file system of its own: it asks first, stating what
// it can't do, and the window's event loop keeps turning while the disk fills.
void TestFilefsWindow::wipesFreeSpace()
{
    QFETCH(QString, before);
    QFETCH(QString, result);
    QTemporaryDir dir;
    // Root's reserve is kept for another user (else root fills it, capability or not).
    const LoopMount disk(dir.path(), before == "reserve" || before == "root" ? "10" : "5",
                         before == "reserve" ? "loop,resuid=65534,resgid=65534" : "loop");
    std::optional<WithoutReserve> asUser;
    if (before == "reserve" || before == "root")
        asUser.emplace();
    if (!disk.mounted)
        QSKIP("a loop-mounted image needs root");
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath("state")));
    const std::uint64_t freeBefore = freeBytes(disk.point);
    if (before == "killed") {
        const shredder::FreeSpace space = shredder::examineFreeSpace(QFile::encodeName(disk.point).toStdString());
        const pid_t child = ::fork();
        if (child == 0) {
            shredder::Wiper wiper;
            wiper.namedOnly = true;
            wiper.ledger = QFile::encodeName(dir.filePath("state/brisquel/wipe")).toStdString();
            wiper.whenFull = [] { ::raise(SIGKILL); };
            wiper.wipe(space);
            ::_exit(0);
        }
        int exit = 0;
        QCOMPARE(::waitpid(child, &exit, 0), child);
        QVERIFY(WIFSIGNALED(exit) && freeBytes(disk.point) < 2 << 20);
    }
    if (before == "fifo") {
        QVERIFY(QDir().mkpath(dir.filePath("state/brisquel/wipe")));
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("state/brisquel/wipe/0")).constData(), 0600), 0);
    }
    // Another wipe holds the disk full with a named fill until told to let go.
    int letGo[2] = {-1, -1};
    pid_t running = -1;
    if (before == "running") {
        QCOMPARE(::pipe(letGo), 0);
        const shredder::FreeSpace space = shredder::examineFreeSpace(QFile::encodeName(disk.point).toStdString());
        int full[2];
        QCOMPARE(::pipe(full), 0);
        running = ::fork();
        if (running == 0) {
            shredder::Wiper wiper;
            wiper.namedOnly = true;
            wiper.ledger = QFile::encodeName(dir.filePath("state/brisquel/wipe")).toStdString();
            wiper.whenFull = [&] {
                char c = 0;
                (void)!::write(full[1], "x", 1);
                (void)!::read(letGo[0], &c, 1);
            };
            wiper.wipe(space);
            ::_exit(0);
        }
        char c = 0;
        QCOMPARE(::read(full[0], &c, 1), 1);
        ::close(full[0]);
        ::close(full[1]);
    }

    QStringList questions;
    FilefsWindow window({{}, [&](QWidget *, const QString &text, const QString &) {
                             questions << text;
                             if (before == "cancel")
                                 QTimer::singleShot(0, [&] { window.findChild<QPushButton *>("wipeCancelButton")->click(); });
                             return true;
                         }, {}});
    window.show();
    QTRY_VERIFY(!window.isBusy());
    auto *status = window.findChild<QLabel *>("statusLabel");
    QCOMPARE(status->text().contains(QStringLiteral("已删除上次擦除空闲空间中断时留下的填充文件")), before == "killed");
    if (before == "running") {
        const QStringList fill = QDir(disk.point).entryList({".brisquel-wipe-*"}, QDir::Dirs | QDir::Hidden);
        QCOMPARE(fill.size(), 1);
        QVERIFY(!QDir(disk.point + '/' + fill[0]).isEmpty());
        int exit = -1;
        QCOMPARE(::write(letGo[1], "x", 1), 1);
        QCOMPARE(::waitpid(running, &exit, 0), running);
        QVERIFY(WIFEXITED(exit));
        ::close(letGo[0]);
        ::close(letGo[1]);
    }
    QCOMPARE(freeBytes(disk.point) >= freeBefore - (64 << 10), true);

    QTest::mouseClick(window.findChild<QPushButton *>("wipeButton"), Qt::LeftButton);
    QTRY_VERIFY(!window.isBusy());
    auto *list = window.findChild<QTreeWidget *>("fileSystemList");
    const QList<QTreeWidgetItem *> rows = list->findItems(disk.point, Qt::MatchExactly);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0]->text(1), QStringLiteral("ext4"));
    QVERIFY(list->findItems(QStringLiteral("tmpfs"), Qt::MatchExactly, 1).isEmpty());
    list->setCurrentItem(rows[0]);

    // A timer that fires on every turn of the event loop must see the wipe under way at least once
    // (its cancel button is live only then), unless it was cancelled at once.
    bool turnedWhileWiping = false;
    QTimer ticks;
    const auto *cancel = window.findChild<QPushButton *>("wipeCancelButton");
    connect(&ticks, &QTimer::timeout, [&] { turnedWhileWiping = turnedWhileWiping || cancel->isEnabled(); });
    ticks.start(0);
    QTest::mouseClick(window.findChild<QPushButton *>("wipeStartButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isBusy(), 60000);
    ticks.stop();

    QCOMPARE(questions.size(), 1);
    QVERIFY(questions[0].contains(QStringLiteral("其他程序可能无法写入文件")));
    QVERIFY(questions[0].contains(QStringLiteral("覆盖 1 遍（随机数据）")));
    QCOMPARE(questions[0].contains(QRegularExpression(QStringLiteral("有 [67]\\.\\d MB 的空间保留给 root 用户，当前用户无法写入"))),
             before == "reserve");
    QCOMPARE(questions[0].contains(QStringLiteral("保留给 root 用户的空间：当前身份可以写入，这部分也会被填满并擦除")), before != "reserve");
    QVERIFY2(window.findChild<QLabel *>("wipeResultLabel")->text().contains(result.replace('@', disk.point)),
             qPrintable(window.findChild<QLabel *>("wipeResultLabel")->text()));
    QVERIFY(turnedWhileWiping || before == "cancel");
    QVERIFY(freeBytes(disk.point) >= freeBefore - (64 << 10));
    asUser.reset();
    QCOMPARE(QDir(disk.point).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"lost+found"});
}

QTEST_MAIN(TestFilefsWindow)
#include "test_filefs_window.moc"
