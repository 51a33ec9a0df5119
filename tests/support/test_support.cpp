#include "app/controls.h"
#include "form_test.h"

#include <QTextBlock>
#include <QTextDocument>

class TestSupport : public FormTest
{
    Q_OBJECT

private slots:
    void aboutText_data()
    {
        QTest::addColumn<QByteArray>("file"); // a null array: no file at all
        QTest::addColumn<QString>("shown");
        QTest::newRow("no file") << QByteArray() << QString();
        QTest::newRow("three lines") << QByteArray("a\r\nb\r\nc") << QString("a\r\nb\r\nc\r\n");
        QTest::newRow("final line break") << QByteArray("a\r\nb\r\nc\r\n") << QString("a\r\nb\r\nc\r\n");
        QTest::newRow("empty") << QByteArray("") << QString();
        QTest::newRow("GBK") << QByteArray("\xb9\xd8\xd3\xda\r\n") << QString("关于\r\n");
        QTest::newRow("invalid bytes") << QByteArray("\x81\x20\x42") << QString("\uFFFD B\r\n");
    }

    void aboutText()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, shown);
        if (!file.isNull())
            m_folder->write("Guanyu.dat", file);
        const Form1 form(quietServices(m_log));
        const auto *box = form.findChild<TextBox *>("Guanyutxt");
        QCOMPARE(box->text(), shown);
        QVERIFY(box->isReadOnly());
        QCOMPARE(m_log.messages.size(), size_t(2)); // only the two missing lists
    }

    void aboutTextWithAHugeRow()
    {
        // One unbroken 10 MB row: its first MiB is kept, shown cut short, so the page opens
        // at once instead of laying the row out for minutes.
        m_folder->write("Guanyu.dat", "about\r\n" + QByteArray(10 * 1024 * 1024, 'x'));
        Form1 form(quietServices(m_log));
        const auto *box = form.findChild<TextBox *>("Guanyutxt");
        const QString rest = QStringLiteral("……（文件过大，其余内容未显示）");
        QCOMPARE(box->text().size(), 1024 * 1024 + 2 + rest.size() + 2);
        const QTextDocument *document = box->document();
        QCOMPARE(document->blockCount(), 4);
        QCOMPARE(document->findBlockByNumber(0).text(), QString("about"));
        QCOMPARE(document->findBlockByNumber(1).text(), QString(2000, u'x') + QChar(0x2026));
        QCOMPARE(document->findBlockByNumber(2).text(), rest);
        form.Image1_Click();
        QVERIFY(showExposed(form));
        QVERIFY(box->isVisible());
    }

    void toolsStartOrReportWhyNot()
    {
        const FakePrograms programs;
        programs.add("Pifu.exe");
        Form1 form(quietServices(m_log));
        const size_t before = m_log.messages.size();

        form.Image12_Click();
        QCOMPARE(m_log.messages.size(), before);
        QTRY_COMPARE(programs.argumentsOf("Pifu.exe").size(), 0); // started without arguments
        QTRY_VERIFY(QFile::exists(programs.logOf("Pifu.exe")));

        form.Image13_Click(); // Filefs.exe is nowhere
        QCOMPARE(m_log.messages.size(), before + 1);
        QCOMPARE(m_log.messages.back().title, QString("错误"));
        QVERIFY(!m_log.messages.back().text.isEmpty());
    }

    void bannersOpenTheForum()
    {
        const FakePrograms programs;
        Form1 form(quietServices(m_log));
        QVERIFY(showExposed(form));
        QTest::mouseClick(form.findChild<ClickLabel *>("Image6"), Qt::LeftButton);
        form.Image1_Click();
        QTest::mouseClick(form.findChild<ClickLabel *>("Image14"), Qt::LeftButton);
        QTRY_COMPARE(programs.opened().size(), 2);
        QCOMPARE(programs.opened()[0], QString("http://bbs.brisquel.example/"));
        QCOMPARE(programs.opened()[1], QString("http://bbs.brisquel.example/"));

        // The help buttons open their forum pages.
        form.Command3_Click();
        form.Command8_Click();
        QTRY_COMPARE(programs.opened().size(), 4);
        QCOMPARE(programs.opened()[2], QString("http://bbs.brisquel.example/thread-82-1-1.html"));
        QCOMPARE(programs.opened()[3], QString("http://bbs.brisquel.example/thread-105-1-1.html"));

        // The notice is only a notice.
        auto *notice = form.findChild<ClickLabel *>("Label9");
        QCOMPARE(notice->text(), QString("在线反馈BUG,奖金币啦"));
        QTest::mouseClick(notice, Qt::LeftButton);
        QTest::qWait(50);
        QCOMPARE(programs.opened().size(), 4);
    }
};

BRISQUEL_FORM_TEST_MAIN(TestSupport)
#include "test_support.moc"
