#include "platform/privileges.h"
#include "platform/translations.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>

#include <memory>

// The interface is Chinese whatever the user's locale: Qt's own texts and the web pane's
// own pages included.
class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void qtTextsAreChinese_data();
    void qtTextsAreChinese();
    void menusAndBrowserPagesAreChinese();
};

void TestTranslations::initTestCase()
{
    if (platform::runningAsRoot())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // As a user with an English desktop would start it.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(platform::installChineseTranslations(*QCoreApplication::instance()));
    QCOMPARE(QLocale().name(), QStringLiteral("zh_CN"));
}

void TestTranslations::qtTextsAreChinese_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("chinese");
    QTest::newRow("standard button") << "QPlatformTheme" << "Cancel" << "取消";
    QTest::newRow("file dialog") << "QFileDialog" << "Look in:" << "查找范围：";
}

void TestTranslations::qtTextsAreChinese()
{
    QFETCH(QString, context);
    QFETCH(QString, english);
    QFETCH(QString, chinese);
    QCOMPARE(QCoreApplication::translate(context.toLatin1(), english.toLatin1()), chinese);
}

void TestTranslations::menusAndBrowserPagesAreChinese()
{
    // The text boxes' right-click menu, as the user sees it.
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << action->text();
    QVERIFY2(texts.join(u' ').contains(QStringLiteral("全选")), qPrintable(texts.join(u' ')));

    QWebEnginePage page;
    QSignalSpy finished(&page, &QWebEnginePage::loadFinished);
    page.load(QUrl(QStringLiteral("http://unreachable.invalid/")));
    QVERIFY(finished.wait(20000));
    QString text;
    QTRY_VERIFY_WITH_TIMEOUT(
        (page.toPlainText([&text](const QString &plain) { text = plain; }), !text.isEmpty()), 10000);
    QVERIFY2(text.contains(QStringLiteral("无法访问")), qPrintable(text));
}

QTEST_MAIN(TestTranslations)
#include "test_translations.moc"
