#include "form_test.h"
#include "scoped_variable.h"
#include "skin_changer/changer_window.h"
#include "skins/skin_file.h"
#include "without_dac_override.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include <optional>

#include <sys/stat.h>

using skin_changer::SkinPlaces;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Our own KDE colour scheme, as a user might import it.
const QByteArray kdeScheme = "[Colors:Window]\nBackgroundNormal=20,30,40\nForegroundNormal=250,250,250\n"
                             "[Colors:Selection]\nBackgroundNormal=0,90,160\nForegroundNormal=255,255,255\n"
                             "[General]\nName=Harbour\n";

} // namespace

class TestSkinChanger : public FormTest
{
    Q_OBJECT

    SkinPlaces places() const
    {
        return {QStringLiteral(SHIPPED_SKINS), m_folder->path("imported"), QStringLiteral("Pifu.she")};
    }
    QListWidget *list(SkinChanger &changer) { return changer.findChild<QListWidget *>(QStringLiteral("skinList")); }
    // Selects the entry whose text is `name`.
    void select(SkinChanger &changer, const QString &name)
    {
        const QList<QListWidgetItem *> found = list(changer)->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list(changer)->setCurrentItem(found.front());
    }

private slots:
    void listsAndAppliesFromTheKeyboard()
    {
        m_folder->write("Pifu.she", readAll(SHIPPED_SKINS "/green.she"));
        SkinChanger changer(places(), m_log.function());
        QVERIFY(showExposed(changer));
        changer.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&changer));
        QListWidget *skins = list(changer);
        // The skin in force first and selected, then the shipped ones.
        QCOMPARE(skins->item(0)->text(), QStringLiteral("当前使用：翠竹绿"));
        QCOMPARE(skins->currentRow(), 0);
        QVERIFY(skins->count() >= 6);
        QCOMPARE(QApplication::focusWidget(), skins);

        // Down to another skin, then Enter puts it in force.
        select(changer, QStringLiteral("深邃夜色"));
        QCOMPARE(changer.findChild<QWidget *>(QStringLiteral("preview"))->palette().color(QPalette::Window),
                 QColor(0x2b, 0x2d, 0x31));
        QTest::keyClick(skins, Qt::Key_Return);
        QCOMPARE(m_folder->read("Pifu.she"), readAll(SHIPPED_SKINS "/dark.she"));
        QCOMPARE(skins->item(0)->text(), QStringLiteral("当前使用：深邃夜色"));
        // Nothing else is left in the working folder: no temporary file.
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files), QStringList{"Pifu.she"});

        // The buttons keep their captions; Alt+D restores the standard look; Escape closes.
        QCOMPARE(changer.findChild<QPushButton *>(QStringLiteral("restoreButton"))->text(), QStringLiteral("恢复默认"));
        QTest::keyClick(skins, Qt::Key_D, Qt::AltModifier);
        QTRY_COMPARE(m_folder->read("Pifu.she"), readAll(SHIPPED_SKINS "/standard.she")); // the button flashes first
        QTest::keyClick(skins, Qt::Key_Escape);
        QVERIFY(!changer.isVisible());
        QCOMPARE(m_log.messages.size(), size_t(0));
    }

    void failuresChangeNothing_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("message");

        QTest::newRow("skin file not writable") << "read-only" << "无法保存皮肤文件“Pifu.she”：";
        QTest::newRow("skin gone bad") << "bad source" << "它不是 Brisquel 皮肤文件";
        QTest::newRow("import of a text file") << "import text" << "无法导入";
        QTest::newRow("import of a scheme without colours") << "import empty scheme" << "没有可用的颜色";
        QTest::newRow("import of a missing file") << "import missing" << "文件不存在或无法读取";
    }

    void failuresChangeNothing()
    {
        QFETCH(QString, what);
        QFETCH(QString, message);
        const QByteArray before = readAll(SHIPPED_SKINS "/blue.she");
        m_folder->write("Pifu.she", before);
        QVERIFY(QDir(m_folder->path()).mkdir("own"));
        m_folder->write("own/mine.she", readAll(SHIPPED_SKINS "/rose.she"));
        SkinPlaces own = places();
        own.shippedDir = m_folder->path("own");
        SkinChanger changer(own, m_log.function());

        std::optional<WithoutDacOverride> asUser;
        if (what == "read-only") {
            QVERIFY(QFile::setPermissions(m_folder->path("Pifu.she"), QFileDevice::ReadOwner));
            asUser.emplace();
            select(changer, QStringLiteral("樱花粉"));
            changer.applySelected();
        } else if (what == "bad source") {
            select(changer, QStringLiteral("樱花粉"));
            m_folder->write("own/mine.she", "garbage");
            changer.applySelected();
        } else if (what == "import text") {
            m_folder->write("notes.she", "just some notes");
            changer.importFrom(m_folder->path("notes.she"));
        } else if (what == "import empty scheme") {
            m_folder->write("empty.colors", "[General]\nName=Empty\n");
            changer.importFrom(m_folder->path("empty.colors"));
        } else {
            changer.importFrom(m_folder->path("nowhere.colors"));
        }
        asUser.reset();

        QCOMPARE(m_log.messages.size(), size_t(1));
        QVERIFY2(m_log.messages[0].text.contains(message), qPrintable(m_log.messages[0].text));
        QCOMPARE(m_log.messages[0].title, QStringLiteral("错误"));
        QCOMPARE(m_folder->read("Pifu.she"), before);
        QVERIFY(!QFileInfo::exists(m_folder->path("imported")) || QDir(m_folder->path("imported")).isEmpty());
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files).filter(QStringLiteral("Pifu")), QStringList{"Pifu.she"});
    }

    void importKeepsSkinsInTheUsersFolder()
    {
        m_folder->write("Harbour.colors", kdeScheme);
        m_folder->write("mine.she", readAll(SHIPPED_SKINS "/rose.she"));
        SkinChanger changer(places(), m_log.function());
        changer.importFrom(m_folder->path("Harbour.colors"));
        changer.importFrom(m_folder->path("mine.she"));
        changer.importFrom(m_folder->path("mine.she")); // the same again is kept once
        // Names that would make hidden files are listed all the same.
        QVERIFY(QDir(m_folder->path()).mkdir("odd"));
        m_folder->write("odd/.she", readAll(SHIPPED_SKINS "/green.she"));
        m_folder->write("odd/..she", readAll(SHIPPED_SKINS "/dark.she"));
        changer.importFrom(m_folder->path("odd/.she"));
        changer.importFrom(m_folder->path("odd/..she"));
        QCOMPARE(m_log.messages.size(), size_t(0));
        QCOMPARE(QDir(m_folder->path("imported")).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"Harbour.she", "mine.she", "导入的皮肤-2.she", "导入的皮肤.she"}));
        QCOMPARE(list(changer)->findItems(QStringLiteral("（已导入）"), Qt::MatchEndsWith).size(), 4);

        // Converted, it lists and applies like any skin.
        const skins::SkinLoad converted = skins::loadSkin(m_folder->path("imported/Harbour.she"));
        QCOMPARE(converted.status, skins::SkinStatus::Ok);
        QCOMPARE(converted.skin.colours[QPalette::Active].at(QPalette::Highlight), QColor(0, 90, 160));
        select(changer, QStringLiteral("Harbour（已导入）"));
        changer.applySelected();
        QCOMPARE(m_folder->read("Pifu.she"), readAll(m_folder->path("imported/Harbour.she")));

        // A name of 251 bytes imported twice: the second keeps within 255 bytes, its stem cut
        // between characters.
        const QString longName = u'a' + QString(83, u'肤') + u'b';
        QCOMPARE(QFile::encodeName(longName).size(), 251);
        QVERIFY(QDir(m_folder->path()).mkdir("long"));
        m_folder->write(longName, readAll(SHIPPED_SKINS "/blue.she"));
        m_folder->write("long/" + longName, readAll(SHIPPED_SKINS "/green.she"));
        changer.importFrom(m_folder->path(longName));
        changer.importFrom(m_folder->path("long/" + longName));
        QCOMPARE(m_log.messages.size(), size_t(0));
        const QString second = u'a' + QString(82, u'肤') + QStringLiteral("-2.she");
        QVERIFY(QFileInfo::exists(m_folder->path("imported/" + longName + ".she")));
        QCOMPARE(readAll(m_folder->path("imported/" + second)), readAll(SHIPPED_SKINS "/green.she"));
    }

    // The list reads the skins' starts only; the skin shown is read whole, and one whose style
    // sheet keeps nothing is listed but can't be applied.
    void listReadsOnlyWhatItShows()
    {
        QVERIFY(QDir(m_folder->path()).mkdir("imported"));
        QByteArray big = "[Skin]\nFormat=1\nName=大\n[StyleSheet]\n";
        while (big.size() < skins::maxSkinBytes - 64)
            big += "QPushButton { border: 1px solid #123456 }\n";
        m_folder->write("imported/big.she", big);
        m_folder->write("imported/empty.she", "[Skin]\nFormat=1\nName=空\n[StyleSheet]\nQLabel { font-size: 30px }\n");
        std::vector<skin_changer::SkinEntry> entries = skin_changer::listSkins(places());
        const auto named = [&entries](const QString &name) {
            return std::find_if(entries.begin(), entries.end(), [&](const auto &e) { return e.skin.name == name; });
        };
        QVERIFY(named("大") != entries.end() && named("空") != entries.end());
        QVERIFY(!named("大")->complete && named("大")->skin.styleSheet.isEmpty());
        QCOMPARE(skin_changer::completeEntry(*named("大")), skins::SkinStatus::Ok);
        QVERIFY(named("大")->skin.styleSheet.startsWith("QPushButton { border: 1px solid #123456; }"));
        QCOMPARE(skin_changer::completeEntry(*named("空")), skins::SkinStatus::NoValidContent);

        SkinChanger changer(places(), m_log.function());
        select(changer, QStringLiteral("空（已导入）"));
        QVERIFY(!changer.findChild<QPushButton *>(QStringLiteral("applyButton"))->isEnabled());
        select(changer, QStringLiteral("大（已导入）"));
        QVERIFY(changer.findChild<QPushButton *>(QStringLiteral("applyButton"))->isEnabled());
    }

    // A skin made to hang or bloat the preview, or to hide its text, is shown safely.
    void hostileSkinPreviewsSafely()
    {
        QVERIFY(QDir(m_folder->path()).mkdir("own"));
        QCOMPARE(::mkfifo(QFile::encodeName(m_folder->path("pipe")).constData(), 0600), 0);
        const QByteArray pipe = QFile::encodeName(m_folder->path("pipe"));
        m_folder->write("own/grey.she", "[Skin]\nFormat=1\nName=Grey\n[Colors]\nWindow=#707070\nWindowText=#777777\n"
                                        "[StyleSheet]\nQWidget { background-image: url(" + pipe + ") }\n"
                                        "QLabel { image: url(\"" + pipe + "\"); f\\ont-size: 40px }\n");
        SkinPlaces own = places();
        own.shippedDir = m_folder->path("own");
        SkinChanger changer(own, m_log.function());
        QVERIFY(showExposed(changer));
        select(changer, QStringLiteral("Grey"));
        auto *preview = changer.findChild<QWidget *>(QStringLiteral("preview"));
        QVERIFY(!preview->styleSheet().contains(QLatin1StringView("url")));
        QVERIFY(!preview->styleSheet().contains(QLatin1StringView("font")));
        const QPalette shown = preview->findChild<QLabel *>()->palette();
        QVERIFY(skins::contrastRatio(shown.color(QPalette::WindowText), shown.color(QPalette::Window)) >= 3);
        preview->grab();
        QCOMPARE(m_log.messages.size(), size_t(0));
    }

    void defaultPlacesFollowTheDataFolder()
    {
        {
            const ScopedVariable data("XDG_DATA_HOME", "/data/home");
            QCOMPARE(skin_changer::defaultPlaces("/opt/b").importedDir, QStringLiteral("/data/home/brisquel/skins"));
        }
        const ScopedVariable unset("XDG_DATA_HOME");
        const SkinPlaces places = skin_changer::defaultPlaces("/opt/b");
        QCOMPARE(places.importedDir, QDir::homePath() + "/.local/share/brisquel/skins");
        QCOMPARE(places.shippedDir, QStringLiteral("/opt/b/skins"));
        QCOMPARE(places.skinFile, QStringLiteral("Pifu.she"));
        // An installed tree: the programs in lib/brisquel, the shipped skins in share/brisquel/skins.
        QVERIFY(QDir().mkpath(m_folder->path("usr/lib/brisquel")));
        QVERIFY(QDir().mkpath(m_folder->path("usr/share/brisquel/skins")));
        QCOMPARE(skin_changer::defaultPlaces(m_folder->path("usr/lib/brisquel")).shippedDir,
                 m_folder->path("usr/share/brisquel/skins"));
    }
};

QTEST_MAIN(TestSkinChanger)
#include "test_skin_changer.moc"
