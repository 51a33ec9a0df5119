#include "shredder/window/filefs_window.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

class TestFilefsWindow : public QObject
{
    Q_OBJECT
private slots:
    void shredsListedItems_data();
    void shredsListedItems();
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
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(action == "close" ? 256 << 20 : 10000));
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

    QStringList shown;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        shown << list->topLevelItem(i)->text(2);
    QCOMPARE(shown, statuses);
    QCOMPARE(QFile::exists(big), action != "yes");
    QCOMPARE(QFile::exists(dir.filePath("folder")), action != "yes");
    QCOMPARE(window.isVisible(), action != "close");
    QVERIFY(messages.isEmpty());
}

QTEST_MAIN(TestFilefsWindow)
#include "test_filefs_window.moc"
