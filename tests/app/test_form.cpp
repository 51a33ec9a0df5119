#include "app/controls.h"
#include "app/form_layout.h"
#include "app/main_window.h"
#include "fake_drives.h"
#include "fake_prefix.h"
#include "form_test.h"
#include "scoped_variable.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <optional>

namespace {

const QStringList frames{"Frame1", "Frame2", "Frame3", "Frame4"};
const QStringList tabs{"Image1", "Image2", "Image3", "Image4", "Image5"};

// The frame each tab shows; Image5 shows the system page beneath the frames.
QString frameOfTab(const QString &tab)
{
    static const QMap<QString, QString> map{
        {"Image1", "Frame4"}, {"Image2", "Frame3"}, {"Image3", "Frame2"}, {"Image4", "Frame1"}, {"Image5", ""}};
    return map.value(tab);
}

QStringList visibleFrames(const Form1 &form)
{
    QStringList shown;
    for (const QString &name : frames) {
        if (!form.findChild<QGroupBox *>(name)->isHidden())
            shown << name;
    }
    return shown;
}

QImage imageOf(const QLabel *label)
{
    return label->pixmap().toImage();
}

QStringList borderedTabs(const Form1 &form)
{
    QStringList bordered;
    for (const QString &name : tabs) {
        if (form.findChild<ClickLabel *>(name)->hasBorder())
            bordered << name;
    }
    return bordered;
}

} // namespace

class TestForm : public FormTest
{
    Q_OBJECT

private slots:
    void startUpStateAndLook()
    {
        m_folder->write("Wjql.ini", "");
        m_folder->write("Zcql.ini", "");
        Form1 form(quietServices(m_log));
        QCOMPARE(m_log.messages.size(), size_t(0));

        // Every page frame sits on the page area, hidden, so the system page shows. A frame
        // covers the browser pane and the OEM text completely, and lies in front.
        const QRect pageArea(8, 80, 577, 281);
        const auto *web = form.findChild<QWebEngineView *>("Web");
        QVERIFY(pageArea.contains(web->geometry()));
        QCOMPARE(web->page()->profile()->httpAcceptLanguage(), QString("zh-CN,zh"));
        QVERIFY(pageArea.contains(form.findChild<QWidget *>("OEMINFO")->geometry()));
        const QObjectList children = form.children();
        for (const QString &name : frames) {
            const auto *frame = form.findChild<QGroupBox *>(name);
            QCOMPARE(frame->geometry(), pageArea);
            QVERIFY(frame->isHidden());
            QVERIFY(children.indexOf(frame) > children.indexOf(web));
        }
        QCOMPARE(borderedTabs(form), QStringList{"Image5"});

        // The contact block: eight lines, seven CR LF, none at the end.
        const QString contact = form.findChild<QLabel *>("Shuoming")->text();
        QCOMPARE(contact.count("\r\n"), 7);
        QVERIFY(!contact.endsWith("\r\n"));
        const QStringList lines = contact.split("\r\n");
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QString("Brisquel"));
        QVERIFY(lines[1].startsWith("技术中心：http"));
        QVERIFY(lines[3] == "联系方式↓");
        QVERIFY(lines[6].endsWith("(短信)"));
        QCOMPARE(lines[1].mid(5), lines[7].mid(5));

        // The runs are idle and nothing is on its way.
        for (const char *name : {"Wjqltm", "Zcqltm"}) {
            const auto *timer = form.findChild<QTimer *>(name);
            QVERIFY(!timer->isActive());
            QCOMPARE(timer->interval(), 1);
            QCOMPARE(timer->timerType(), Qt::PreciseTimer);
        }
        for (const char *name : {"Wjqljdt", "Zcqljdt"}) {
            const auto *bar = form.findChild<QProgressBar *>(name);
            QCOMPARE(bar->minimum(), 0);
            QCOMPARE(bar->maximum(), 100);
            QCOMPARE(bar->value(), 0);
        }
        QCOMPARE(form.findChild<QLabel *>("Wjqlwb")->text(), QString("准备就绪..."));
        QCOMPARE(form.findChild<QLineEdit *>("Wjqljd")->text(), QString("0"));
        for (const char *name : {"Text1", "Command5", "Text2", "Command10", "Drive1", "Wjqljd", "Zcqljd", "Img1", "Img2"})
            QVERIFY2(form.findChild<QWidget *>(name)->isHidden(), name);
        QCOMPARE(form.findChild<QPushButton *>("Command5")->text(), QString("确 定"));
        QCOMPARE(form.findChild<TextBox *>("OEMINFO")->toolTip(), QString("双击编辑我的OEM文本"));

        // The window itself: a fixed size without a maximize box, white, icons in four sizes.
        QVERIFY(form.windowTitle().startsWith("Brisquel  By:Brisquel 开发组  http://"));
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form.minimumSize(), form.maximumSize());
        const QList<QSize> iconSizes = form.windowIcon().availableSizes();
        for (const QSize size : {QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48)})
            QVERIFY2(iconSizes.contains(size), qPrintable(QString::number(size.width())));

        QVERIFY(showExposed(form));
        QTRY_COMPARE(form.frameGeometry().size(), QSize(601, 420));
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
        // The hand shows over the OEM text itself, where the double click lands.
        const QCursor oemCursor = form.findChild<TextBox *>("OEMINFO")->viewport()->cursor();
        QCOMPARE(oemCursor.shape(), Qt::BitmapCursor);
        QCOMPARE(oemCursor.hotSpot(), QPoint(6, 0));
    }

    void everyTabFromEveryPage_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        for (const QString &from : tabs) {
            for (const QString &to : tabs)
                QTest::newRow(qPrintable(from + "->" + to)) << from << to;
        }
    }

    void everyTabFromEveryPage()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        Form1 form(quietServices(m_log));
        QVERIFY(showExposed(form));

        QTest::mouseClick(form.findChild<ClickLabel *>(from), Qt::LeftButton);
        QTest::mouseClick(form.findChild<ClickLabel *>(to), Qt::LeftButton);

        const QString expected = frameOfTab(to);
        QCOMPARE(visibleFrames(form), expected.isEmpty() ? QStringList{} : QStringList{expected});
        QCOMPARE(borderedTabs(form), QStringList{to});
        // The system page shows exactly when no frame covers it.
        auto *web = form.findChild<QWidget *>("Web");
        const QWidget *onTop = form.childAt(web->geometry().center());
        QVERIFY(onTop);
        const QWidget *page = expected.isEmpty() ? web : form.findChild<QWidget *>(expected);
        QVERIFY2(onTop == page || page->isAncestorOf(onTop), qPrintable(onTop->objectName()));
    }

    void bannerAndRightClicksDontSwitchPages()
    {
        const FakePrograms programs; // the banner opens its link here, not in a real browser
        Form1 form(quietServices(m_log));
        QVERIFY(showExposed(form));
        auto *tab = form.findChild<ClickLabel *>("Image4");
        QTest::mouseClick(tab, Qt::RightButton);
        QCOMPARE(visibleFrames(form), QStringList{});
        QTest::mouseClick(tab, Qt::LeftButton);
        QCOMPARE(visibleFrames(form), QStringList{"Frame1"});
        form.Image6_Click();
        QCOMPARE(visibleFrames(form), QStringList{"Frame1"});
        QCOMPARE(borderedTabs(form), QStringList{"Image4"});
        QCOMPARE(tab->focusPolicy(), Qt::NoFocus);
    }

    void skinIsAttachedWhenTheLibraryIsThere()
    {
        const QString record = m_folder->path("skin.record");
        const ScopedVariable probe("BRISQUEL_SKIN_PROBE_OUT", QFile::encodeName(record));
        const auto fromProgramFolder = [this](const QString &folder) {
            FormServices services = quietServices(m_log);
            services.programDir = folder;
            return services;
        };

        // Without the library the window starts all the same, with nothing to say. (This
        // comes first: once loaded, a library stays loaded for the process.)
        {
            const QTemporaryDir emptyProgramFolder;
            const Form1 form(fromProgramFolder(emptyProgramFolder.path()));
            QVERIFY(!QFile::exists(record));
            QCOMPARE(m_log.messages.size(), size_t(2)); // the two missing lists, nothing else
        }

        const Form1 form(fromProgramFolder(QFileInfo(QStringLiteral(SKIN_LIBRARY)).path()));
        QCOMPARE(m_folder->read("skin.record"), QByteArray("Pifu.she\0\0", 10));
    }

    void systemPageShowsFactsAndBranding()
    {
        // A prefix of our own, with the system folder in another letter case.
        const QString prefix = m_folder->path("prefix");
        const QString system32 = "prefix/drive_c/Windows/System32/";
        QVERIFY(makeFakePrefix(prefix, {"Windows/System32"}));
        m_folder->write(system32 + "oeminfo.ini", "[General]\r\nManufacturer=Brisquel\nLab");
        QImage logo(40, 20, QImage::Format_RGB32);
        logo.fill(Qt::green);
        QVERIFY(logo.save(m_folder->path(system32 + "OEMLogo.bmp"), "BMP"));
        m_folder->write(system32 + "OEMLINKICON.ICO", "no icon here");

        const ScopedVariable wine("WINEPREFIX", QFile::encodeName(prefix));
        const ScopedVariable drive("SystemDrive", "C:");
        const ScopedVariable os("OS", "Windows_NT");
        const ScopedVariable computer("COMPUTERNAME", "测试机");
        const ScopedVariable user("USERNAME", "tester");
        FormServices services = quietServices(m_log);
        // Drives of 10 and 20 GiB, the first one the system drive with 5 GiB free.
        services.drives = std::make_shared<FakeDrives>(QStringList{"c: [SYSTEM]", "d: [DATA]"},
                                                       Sizes{{"C", 10737418240}, {"D", 21474836480}},
                                                       Sizes{{"C", 5368709120}});
        Form1 form(services);

        const auto label = [&form](const char *name) { return form.findChild<QLabel *>(name); };
        QCOMPARE(label("Label3")->text(), QString("操作系统：Windows_NT"));
        QCOMPARE(label("Label4")->text(), QString("电脑名称：测试机"));
        QCOMPARE(label("Label5")->text(), QString("当前用户：tester"));
        QCOMPARE(label("Label6")->text(), QString("硬盘容量：30720MB"));
        QCOMPARE(label("Label7")->text(), QString("主盘剩余：5120MB"));
        QCOMPARE(label("Label7")->toolTip(), QString("系统盘为：C盘"));
        QCOMPARE(form.findChild<QComboBox *>("Drive1")->count(), 2);

        auto *oemText = form.findChild<TextBox *>("OEMINFO");
        QCOMPARE(oemText->text(), QString("[General]\r\nManufacturer=Brisquel\nLab\r\n"));
        // Only CR LF starts a row; the lone LF stays in its row as a box.
        QCOMPARE(oemText->toPlainText(), QString("[General]\nManufacturer=Brisquel\u25A1Lab\n"));
        QCOMPARE(label("OEMLOGO")->pixmap().size(), QSize(40, 20));
        // Not a picture: the placeholder stays.
        QCOMPARE(label("OEMLINKICON")->pixmap().size(), QSize(123, 46));

        // A double click opens each file where it really is, whatever its letter case.
        const FakePrograms programs;
        QVERIFY(showExposed(form));
        QTest::mouseDClick(label("OEMLOGO"), Qt::LeftButton);
        QTRY_COMPARE(programs.opened().size(), 1);
        QVERIFY2(programs.opened()[0].endsWith("/Windows/System32/OEMLogo.bmp"), qPrintable(programs.opened()[0]));
        form.OEMINFO_DblClick();
        form.OEMLINKICON_DblClick();
        QTRY_COMPARE(programs.opened().size(), 3);
        QVERIFY(programs.opened()[1].endsWith("/Windows/System32/oeminfo.ini"));
        QVERIFY(programs.opened()[2].endsWith("/Windows/System32/OEMLINKICON.ICO"));
        // Only the left button's double click opens the text.
        QSignalSpy opened(oemText, &TextBox::doubleClicked);
        QTest::mouseDClick(oemText->viewport(), Qt::RightButton);
        QCOMPARE(opened.count(), 0);
        QTest::mouseDClick(oemText->viewport(), Qt::LeftButton);
        QCOMPARE(opened.count(), 1);
    }

    void picturesReadAheadAreTheFilesPictures()
    {
        const ScopedVariable wine("WINEPREFIX", QFile::encodeName(m_folder->path("no-prefix")));
        auto *readAhead = new app::PicturesReadAhead(qApp);
        const Form1 form(quietServices(m_log));
        delete readAhead;
        for (const app::ControlRow &row : app::formLayout()) {
            if (row.picture.isEmpty())
                continue;
            const QPixmap shown = form.findChild<QLabel *>(row.name)->pixmap();
            QVERIFY2(!shown.isNull() && shown.toImage() == QPixmap(row.picture).toImage(), qPrintable(row.name));
        }
        // The start pictures share one pixmap, as pixmaps read from one file do.
        QCOMPARE(form.findChild<QLabel *>("Image9")->pixmap().cacheKey(),
                 form.findChild<QLabel *>("Img1")->pixmap().cacheKey());
    }

    void startUpWithoutBrandingOrLists()
    {
        const ScopedVariable wine("WINEPREFIX", QFile::encodeName(m_folder->path("no-prefix")));
        m_folder->write("Guanyu.dat", "a\r\nb\r\nc");
        Form1 form(quietServices(m_log));

        QCOMPARE(form.findChild<TextBox *>("OEMINFO")->text(), QString("×获取失败\r\n"));
        QCOMPARE(form.findChild<QLabel *>("OEMLOGO")->pixmap().size(), QSize(123, 46));
        QVERIFY(!QFileInfo::exists(m_folder->path("no-prefix"))); // never created

        // The missing lists are reported before the window shows, and start-up goes on.
        QCOMPARE(m_log.messages.size(), size_t(2));
        QCOMPARE(m_log.messages[0].text, QString("清理文件对象列表读取失败！"));
        QCOMPARE(m_log.messages[0].title, QString("错误"));
        QCOMPARE(m_log.messages[1].text, QString("清理注册对象列表读取失败！"));
        QCOMPARE(m_log.messages[1].title, QString("错误"));
        QVERIFY(!m_log.messages[0].windowVisible);
        // The about text is loaded after both messages.
        QCOMPARE(form.findChild<TextBox *>("Guanyutxt")->text(), QString("a\r\nb\r\nc\r\n"));
    }

    // The picture buttons: the start pictures and the tool pictures look pressed while held.
    void pressedLooks_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("right") << Qt::RightButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void pressedLooks()
    {
        QFETCH(Qt::MouseButton, button);
        Form1 form(quietServices(m_log));
        form.Image2_Click();
        QVERIFY(showExposed(form));
        const QImage normal = imageOf(form.findChild<QLabel *>("Img1"));
        const QImage pressed = imageOf(form.findChild<QLabel *>("Img2"));
        QVERIFY(normal != pressed);

        for (const char *name : {"Image9", "Image11"}) {
            auto *start = form.findChild<ClickLabel *>(name);
            QCOMPARE(imageOf(start), normal);
            QTest::mousePress(start, button);
            QCOMPARE(imageOf(start), pressed);
            QTest::mouseRelease(start, button);
            QCOMPARE(imageOf(start), normal);
        }
        for (const char *name : {"Image12", "Image13"}) {
            auto *tool = form.findChild<ClickLabel *>(name);
            QTest::mousePress(tool, button);
            QVERIFY(tool->hasBorder());
            QTest::mouseRelease(tool, button);
            QVERIFY(!tool->hasBorder());
        }
        // Only a left click starts a run; the look is back to normal by then.
        QCOMPARE(form.findChild<QTimer *>("Wjqltm")->isActive(), button == Qt::LeftButton);
        QCOMPARE(imageOf(form.findChild<QLabel *>("Image9")), normal);
    }

    void runningStartPictureIgnoresTheMouse()
    {
        m_folder->write("Wjql.ini", "a\r\nb\r\n");
        Form1 form(quietServices(m_log));
        form.Image4_Click();
        QVERIFY(showExposed(form));
        auto *start = form.findChild<ClickLabel *>("Image9");
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(form.findChild<QTimer *>("Wjqltm")->isActive());
        QVERIFY(!start->isEnabled());
        const QImage normal = imageOf(form.findChild<QLabel *>("Img1"));
        QTest::mousePress(start, Qt::LeftButton);
        QCOMPARE(imageOf(start), normal);
        QTest::mouseRelease(start, Qt::LeftButton);
    }
};

BRISQUEL_FORM_TEST_MAIN(TestForm)
#include "test_form.moc"
