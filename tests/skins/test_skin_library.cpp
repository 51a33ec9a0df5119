#include "app/form_layout.h"
#include "app/main_window.h"
#include "form_fixture.h"
#include "platform/skin.h"
#include "skins/kde_scheme.h"
#include "skins/skin_file.h"

#include <QImage>
#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <QLibrary>
#include <QListWidget>
#include <QSaveFile>
#include <QTimer>
#include <QWebEngineView>

#include <sys/stat.h>

#include <optional>

using skins::SkinStatus;

namespace {

QString programFolder()
{
    return QFileInfo(QStringLiteral(SKIN_LIBRARY)).path();
}

QString shipped(const QString &name)
{
    return QStringLiteral(SHIPPED_SKINS "/") + name;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces the file as a safe save does: a new file renamed over the old one.
void replaceAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    QVERIFY(file.commit());
}

QColor skinColour(const QString &file, QPalette::ColorRole role)
{
    return skins::loadSkin(shipped(file)).skin.colours[QPalette::Active].at(role);
}

struct Placement
{
    QRect geometry;
    QFont font;
    bool operator==(const Placement &) const = default;
};

// Where every control of the window's catalogue sits, and its font; the window's too.
std::map<QString, Placement> placements(const QWidget &form)
{
    std::map<QString, Placement> result{{form.objectName(), {form.geometry(), form.font()}}};
    for (const app::ControlRow &row : app::formLayout()) {
        if (const QWidget *widget = form.findChild<QWidget *>(row.name))
            result[row.name] = {widget->geometry(), widget->font()};
    }
    return result;
}

// The process's resident memory in MiB.
qint64 residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong() / 1024;
    }
    return -1;
}

} // namespace

class TestSkinLibrary : public QObject
{
    Q_OBJECT

    std::optional<WorkingFolder> m_folder;
    MessageLog m_log;
    skins::AttachEx m_attach = nullptr;

    FormServices services()
    {
        FormServices result = quietServices(m_log);
        result.programDir = programFolder();
        return result;
    }

private slots:
    void initTestCase()
    {
        QLibrary library(QStringLiteral(SKIN_LIBRARY));
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        m_attach = reinterpret_cast<skins::AttachEx>(library.resolve(skins::attachExName));
        QVERIFY(m_attach);
    }
    void init()
    {
        m_folder.emplace();
        m_log.messages.clear();
    }
    void cleanup()
    {
        // Back to the standard look for the next case.
        m_folder->write("standard.she", readAll(shipped("standard.she")));
        QCOMPARE(SkinStatus(m_attach("standard.she", "")), SkinStatus::Ok);
        m_folder.reset();
    }

    void attachReportsWhatItFound_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("content"); // written as the file "Pifu.she"; "<dir>" makes a folder, "<fifo>" a pipe
        QTest::addColumn<SkinStatus>("status");

        const QByteArray skin = readAll(shipped("blue.she"));
        QTest::newRow("a skin") << QByteArray("Pifu.she") << skin << SkinStatus::Ok;
        QTest::newRow("a Chinese name") << QByteArray::fromHex("c6a4b7f42e736865") << skin << SkinStatus::Ok; // 皮肤.she
        QTest::newRow("no name") << QByteArray() << skin << SkinStatus::BadArguments;
        QTest::newRow("broken name bytes") << QByteArray("\x81\x20.she") << skin << SkinStatus::BadArguments;
        QTest::newRow("no file") << QByteArray("Pifu.she") << QByteArray() << SkinStatus::Unreadable;
        QTest::newRow("a folder") << QByteArray("Pifu.she") << QByteArray("<dir>") << SkinStatus::NotRegularFile;
        QTest::newRow("a pipe") << QByteArray("Pifu.she") << QByteArray("<fifo>") << SkinStatus::NotRegularFile;
        QTest::newRow("too big") << QByteArray("Pifu.she") << QByteArray(skins::maxSkinBytes + 1, ' ')
                                 << SkinStatus::TooLarge;
        QTest::newRow("not a skin") << QByteArray("Pifu.she") << QByteArray("MZ\x90") << SkinStatus::UnsupportedFormat;
        QTest::newRow("nothing in it") << QByteArray("Pifu.she") << QByteArray("[Skin]\nFormat=1\nName=空\n")
                                       << SkinStatus::NoValidContent;
    }

    void attachReportsWhatItFound()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, content);
        QFETCH(SkinStatus, status);
        const QString fileName = QString::fromUtf8(name.startsWith('\xc6') ? "皮肤.she" : "Pifu.she");
        if (content == "<dir>")
            QVERIFY(QDir(m_folder->path()).mkdir(fileName));
        else if (content == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(m_folder->path(fileName)).constData(), 0600), 0);
        else if (!content.isEmpty())
            m_folder->write(fileName, content);
        const QPalette before = QApplication::palette();

        QCOMPARE(SkinStatus(m_attach(name.isNull() ? nullptr : name.constData(), nullptr)), status);
        if (status == SkinStatus::Ok)
            QCOMPARE(QApplication::palette().color(QPalette::Button), skinColour("blue.she", QPalette::Button));
        else
            QCOMPARE(QApplication::palette(), before);
    }

    // Every shipped skin dresses the window without moving, resizing or re-fonting a control.
    void skinDressesTheWindowInPlace_data()
    {
        QTest::addColumn<QString>("skin");
        for (const QString &file : QDir(QStringLiteral(SHIPPED_SKINS)).entryList({QStringLiteral("*.she")}))
            QTest::newRow(qPrintable(file)) << file;
    }

    void skinDressesTheWindowInPlace()
    {
        QFETCH(QString, skin);
        // Without Pifu.she start-up leaves the look alone.
        Form1 form(services());
        QVERIFY(showExposed(form));
        const std::map<QString, Placement> before = placements(form);
        QCOMPARE(before.size(), app::formLayout().size() - 1); // the two timers are no widgets, the window is

        m_folder->write("Pifu.she", readAll(shipped(skin)));
        QVERIFY(platform::attachSkin(programFolder(), QStringLiteral("Pifu.she")));
        QApplication::processEvents();
        for (const auto &[name, placement] : placements(form)) {
            const Placement &old = before.at(name);
            QVERIFY2(placement == old, qPrintable(QStringLiteral("%1: %2 -> %3").arg(name, QDebug::toString(old.geometry) + old.font.toString(), QDebug::toString(placement.geometry) + placement.font.toString())));
        }

        // The application wears the skin: controls, and windows opened later.
        const QColor windowText = skinColour(skin, QPalette::WindowText);
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("Label2"))->palette().color(QPalette::WindowText), windowText);
        QCOMPARE(form.findChild<QListWidget *>(QStringLiteral("List1"))->palette().color(QPalette::Highlight),
                 skinColour(skin, QPalette::Highlight));
        const QWidget later;
        QCOMPARE(later.palette().color(QPalette::Window), skinColour(skin, QPalette::Window));
        // The window's own colours stay unless the skin's style sheet names them.
        const bool namesTheWindow = skins::loadSkin(shipped(skin)).skin.styleSheet.contains(QLatin1StringView("#Form1"));
        QCOMPARE(form.palette().color(QPalette::Window) == QColor(Qt::white), !namesTheWindow);
        QCOMPARE(m_log.messages.size(), size_t(2)); // the two missing lists, nothing from the skin
    }

    // A skin made to hang, bloat, move, re-font and re-point the window does none of it.
    void hostileSkinLeavesTheWindowAlone()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(m_folder->path("pipe")).constData(), 0600), 0);
        QImage picture(4000, 4000, QImage::Format_Mono);
        picture.fill(1);
        QVERIFY(picture.save(m_folder->path("big.png")));
        QVERIFY(QFileInfo(m_folder->path("big.png")).size() < 100 * 1024);
        const QByteArray pipe = QFile::encodeName(m_folder->path("pipe"));
        const QByteArray big = QFile::encodeName(m_folder->path("big.png"));
        m_folder->write("Pifu.she", readAll(shipped("blue.she")));
        Form1 form(services());
        QVERIFY(showExposed(form));
        auto *web = form.findChild<QWebEngineView *>(QStringLiteral("Web"));
        QVERIFY(web);
        const QUrl address = web->url();
        const std::map<QString, Placement> before = placements(form);
        const qint64 residentBefore = residentMiB();

        m_folder->write("Pifu.she",
                        "[Skin]\nFormat=1\n[Colors]\nWindow=#eef4fb\n[StyleSheet]\n"
                        "QWidget { background-image: url(" + pipe + "); color: #123456 }\n"
                        "QLabel { image: url('" + pipe + "') } QPushButton { border-image: url(" + big + ") 0 }\n"
                        "QWidget { background-image: url(\"" + big + "\") } * { background: url(" + big + ") }\n"
                        "QLabel, QPushButton { f\\ont-size: 30px; \\66ont: bold 30px; min-w\\idth: 900px; min-height: 300px;"
                        " padding: 90px; border: 40px solid red }\n"
                        "QWebEngineView, #Web { qpr\\operty-url: \"https://example.invalid/\";"
                        " qproperty-url: url(https://example.invalid/) }\n"
                        "QPushButton[text=\"::\"] { min-height: 300px } QLabel[text=\"a] { color: red }\n"
                        "QPushButton { qproperty-text: \"x\"; width: 900px }\n");
        QCOMPARE(SkinStatus(m_attach("Pifu.she", "")), SkinStatus::Ok);
        // The window answers: its events run, and it paints in the new look.
        bool answered = false;
        QTimer::singleShot(0, &form, [&answered] { answered = true; });
        QTRY_VERIFY_WITH_TIMEOUT(answered, 2000);
        form.grab();
        QCOMPARE(QApplication::palette().color(QPalette::Window), QColor(0xee, 0xf4, 0xfb));

        for (const auto &[name, placement] : placements(form))
            QVERIFY2(placement == before.at(name), qPrintable(name + u' ' + placement.font.toString()));
        QCOMPARE(web->url(), address);
        // The 4000 x 4000 picture alone would take 61 MiB once decoded.
        const qint64 resident = residentMiB();
        QVERIFY2(resident > 0 && resident - residentBefore < 40,
                 qPrintable(QStringLiteral("%1 -> %2").arg(residentBefore).arg(resident)));
#ifndef __SANITIZE_ADDRESS__
        // The sanitizer's own bookkeeping makes the whole process's size say nothing.
        QVERIFY2(resident < 250, qPrintable(QString::number(resident)));
#endif
    }

    // What every text of the window really ends up with counts, cascade and page backgrounds
    // included: below 3:1 anywhere, the plain look stays.
    void illegibleTextKeepsThePlainLook_data()
    {
        QTest::addColumn<QByteArray>("skin");
        QTest::addColumn<SkinStatus>("status");

        // A dark KDE scheme imported through Pifu: the window's own pages stay white.
        const QByteArray darkScheme = "[Colors:Window]\nBackgroundNormal=35,38,41\nForegroundNormal=250,251,252\n"
                                      "[Colors:View]\nBackgroundNormal=27,30,32\nForegroundNormal=250,251,252\n"
                                      "[Colors:Button]\nBackgroundNormal=49,54,59\nForegroundNormal=250,251,252\n"
                                      "[General]\nName=Dusk\n";
        QTest::newRow("dark palette on white pages")
            << skins::skinText(*skins::skinFromKdeScheme(darkScheme, "Dusk")) << SkinStatus::IllegibleText;
        QTest::newRow("rules readable alone, not together")
            << QByteArray("[Skin]\nFormat=1\n[StyleSheet]\nQWidget{color:#fdfdfd;background-color:#000}\n"
                          "QLabel,QListWidget{background-color:#fff}\n")
            << SkinStatus::IllegibleText;
        QTest::newRow("dark throughout") << QByteArray("[Skin]\nFormat=1\n[StyleSheet]\n"
                                                       "QWidget{color:#fdfdfd;background-color:#000}\n")
                                         << SkinStatus::Ok;
    }

    void illegibleTextKeepsThePlainLook()
    {
        QFETCH(QByteArray, skin);
        QFETCH(SkinStatus, status);
        Form1 form(services());
        QVERIFY(showExposed(form));
        m_folder->write("Pifu.she", skin);
        QCOMPARE(SkinStatus(m_attach("Pifu.she", "")), status);
        if (status != SkinStatus::Ok) {
            QVERIFY(qApp->styleSheet().isEmpty());
            QApplication::processEvents();
            auto *label = form.findChild<QLabel *>(QStringLiteral("Label2"));
            QVERIFY(skins::contrastRatio(label->palette().color(QPalette::WindowText), Qt::white) >= 3);
            // The same bytes saved again stay refused.
            QCOMPARE(SkinStatus(m_attach("Pifu.she", "")), status);
        } else {
            QVERIFY(!qApp->styleSheet().isEmpty());
        }
    }

    // Sizes and boxes within the filter's bounds can't hide the junk list's rows or its scroll
    // bar, see the pages through each other, or cut the labels' captions.
    void fixedLayoutStaysWhole()
    {
        m_folder->write("Wjql.ini", QByteArray("e\r\n").repeated(19));
        Form1 form(services());
        QVERIFY(showExposed(form));
        form.Image4_Click(); // the junk-file page
        auto *label = form.findChild<QLabel *>(QStringLiteral("Label2"));
        const QRect caption = label->contentsRect();
        m_folder->write("Pifu.she", "[Skin]\nFormat=1\n[StyleSheet]\n"
                                    "QListWidget::item{height:0;max-height:0}\nQScrollBar{width:0}\n"
                                    "QGroupBox{border:1px solid #777}\nQLabel{padding:2px 8px}\n");
        QCOMPARE(SkinStatus(m_attach("Pifu.she", "")), SkinStatus::Ok);
        QApplication::processEvents();

        auto *list = form.findChild<QListWidget *>(QStringLiteral("List1"));
        QCOMPARE(list->count(), 19);
        QVERIFY(list->visualItemRect(list->item(0)).height() >= 12);
        QVERIFY(list->verticalScrollBar()->width() >= 10);
        QCOMPARE(label->contentsRect().top(), caption.top());
        QCOMPARE(label->contentsRect().height(), caption.height());
        // The junk-file page still paints its own white over the page below it.
        auto *page = form.findChild<QGroupBox *>(QStringLiteral("Frame1"));
        QVERIFY(page->isVisible());
        QVERIFY(page->autoFillBackground());
        const QImage image = form.grab().toImage();
        const QPoint inside = page->mapTo(&form, QPoint(page->width() - 4, page->height() - 4));
        QCOMPARE(image.pixelColor(inside), QColor(Qt::white));
    }

    void skinFollowsTheFileLive()
    {
        m_folder->write("Pifu.she", readAll(shipped("blue.she")));
        Form1 form(services());
        QVERIFY(showExposed(form));
        // A label the style sheets leave alone shows the palette.
        auto *label = form.findChild<QLabel *>(QStringLiteral("Label2"));
        const auto shows = [label](const QString &skin) {
            return label->palette().color(QPalette::WindowText) == skinColour(skin, QPalette::WindowText);
        };
        QVERIFY(shows("blue.she"));

        // A safe save puts a new file in place: the window takes it within a second.
        replaceAtomically(m_folder->path("Pifu.she"), readAll(shipped("dark.she")));
        QTRY_VERIFY_WITH_TIMEOUT(shows("dark.she"), 1000);
        QCOMPARE(form.palette().color(QPalette::Window), skinColour("dark.she", QPalette::Window));

        // A file that turns bad, or goes, leaves the look as it is.
        replaceAtomically(m_folder->path("Pifu.she"), "[Skin]\nFormat=1\n");
        QTest::qWait(400);
        QVERIFY(QFile::remove(m_folder->path("Pifu.she")));
        QTest::qWait(400);
        QVERIFY(shows("dark.she"));

        // And the watch goes on: a skin written afresh is taken, the page white again.
        m_folder->write("Pifu.she", readAll(shipped("green.she")));
        QTRY_VERIFY_WITH_TIMEOUT(shows("green.she"), 1000);
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    }
};

BRISQUEL_FORM_TEST_MAIN(TestSkinLibrary)
#include "test_skin_library.moc"
