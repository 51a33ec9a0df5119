#include "platform/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

namespace {

// Calls `inspect` with the message box once it is up, from inside its event loop.
void whenShown(std::function<void(QMessageBox *)> inspect)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, inspect] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        inspect(box);
    });
    poll->start(10);
}

} // namespace

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void showsOneOkButtonAndWaits_data();
    void showsOneOkButtonAndWaits();
    void escapeDismisses();
};

void TestMessageBox::showsOneOkButtonAndWaits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");

    QTest::newRow("load failure") << QStringLiteral("清理文件对象列表读取失败！") << QStringLiteral("错误");
    QTest::newRow("saved") << QStringLiteral("数据保存成功！") << QStringLiteral("提示");
    QTest::newRow("markup stays text") << QStringLiteral("<b>C:\\a&b</b>\n第二行") << QStringLiteral("错误");
}

void TestMessageBox::showsOneOkButtonAndWaits()
{
    QFETCH(QString, text);
    QFETCH(QString, title);

    QWidget parent;
    parent.show();
    // Everything is read while the box is up and checked once it has gone, so a failed
    // check can't leave the box open and the test hanging.
    struct Seen
    {
        bool whileWaiting, modal, pixmapless, okIsDefault;
        QWidget *parent;
        QString title, text;
        Qt::TextFormat format;
        QMessageBox::Icon icon;
        QStringList buttons;
    };
    std::optional<Seen> seen;
    bool returned = false;
    whenShown([&](QMessageBox *box) {
        const QList<QAbstractButton *> buttons = box->buttons();
        QStringList names;
        for (const QAbstractButton *button : buttons)
            names.append(button->text());
        seen = Seen{.whileWaiting = !returned,
                    .modal = box->isModal(),
                    .pixmapless = box->iconPixmap().isNull(),
                    .okIsDefault = !buttons.isEmpty() && box->defaultButton() == buttons.first(),
                    .parent = box->parentWidget(),
                    .title = box->windowTitle(),
                    .text = box->text(),
                    .format = box->textFormat(),
                    .icon = box->icon(),
                    .buttons = names};
        if (buttons.isEmpty())
            box->done(0);
        else
            buttons.first()->click();
    });
    platform::showMessage(&parent, text, title);
    returned = true;

    QVERIFY(seen);
    QVERIFY(seen->whileWaiting);
    QCOMPARE(seen->parent, &parent);
    QVERIFY(seen->modal);
    QCOMPARE(seen->title, title);
    QCOMPARE(seen->text, text);
    QCOMPARE(seen->format, Qt::PlainText);
    QCOMPARE(seen->icon, QMessageBox::NoIcon);
    QVERIFY(seen->pixmapless);
    QCOMPARE(seen->buttons, QStringList{QStringLiteral("确定")});
    QVERIFY(seen->okIsDefault);
}

void TestMessageBox::escapeDismisses()
{
    bool shown = false;
    bool closedByEscape = false;
    whenShown([&](QMessageBox *box) {
        shown = true;
        QTest::keyClick(box, Qt::Key_Escape);
        closedByEscape = !box->isVisible();
        if (!closedByEscape)
            box->done(0);
    });
    platform::showMessage(nullptr, QStringLiteral("数据保存成功！"), QStringLiteral("提示"));
    QVERIFY(shown);
    QVERIFY(closedByEscape);
}

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
