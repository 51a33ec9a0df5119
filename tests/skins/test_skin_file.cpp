#include "skins/kde_scheme.h"
#include "skins/skin_file.h"
#include "without_dac_override.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using skins::SkinStatus;

namespace {

const QByteArray header = "[Skin]\nFormat=1\n";

// WCAG 2 contrast of two colours, 1 to 21.
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QList<QColor> coloursIn(const QString &value)
{
    QList<QColor> colours;
    static const QRegularExpression hex(QStringLiteral("#[0-9a-fA-F]{6}\\b"));
    for (const QRegularExpressionMatch &match : hex.globalMatch(value))
        colours.append(QColor::fromString(match.captured()));
    return colours;
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestSkinFile : public QObject
{
    Q_OBJECT

private slots:
    void badContentChangesNothing_data();
    void badContentChangesNothing();
    void badFilesAreRefused_data();
    void badFilesAreRefused();
    void badValuesArePassedOverAlone();
    void paletteFillsTheGroups();
    void styleSheetKeepsOnlyTheLook_data();
    void styleSheetKeepsOnlyTheLook();
    void kdeSchemeMapsTheMainRoles();
    void shippedSkinsAreReadable();
};

void TestSkinFile::badContentChangesNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<SkinStatus>("status");

    const QByteArray colour = "[Colors]\nWindow=#ffffff\n";
    // Not a skin of ours.
    QTest::newRow("empty") << QByteArray() << SkinStatus::UnsupportedFormat;
    QTest::newRow("binary") << QByteArray::fromHex("00ff10c3288041") << SkinStatus::UnsupportedFormat;
    QTest::newRow("no format") << QByteArray("[Skin]\nName=x\n" + colour) << SkinStatus::UnsupportedFormat;
    QTest::newRow("newer format") << QByteArray("[Skin]\nFormat=2\n" + colour) << SkinStatus::UnsupportedFormat;
    QTest::newRow("format in words") << QByteArray("[Skin]\nFormat=one\n" + colour) << SkinStatus::UnsupportedFormat;
    QTest::newRow("format elsewhere") << QByteArray("[Colors]\nFormat=1\nWindow=#fff\n") << SkinStatus::UnsupportedFormat;
    // Ours, with nothing to show.
    QTest::newRow("name only") << QByteArray(header + "Name=空皮肤\nAuthor=某人\n") << SkinStatus::NoValidContent;
    QTest::newRow("bad colours only")
        << QByteArray(header + "[Colors]\nWindow=#ggg\nText=300,0,0\nBase=1,2\nButton=\nLink=rgb(1,2,3)\n")
        << SkinStatus::NoValidContent;
    QTest::newRow("unknown roles and sections")
        << QByteArray(header + "[Colors]\nBackground=#ffffff\n[Extra]\nWindow=#ffffff\n") << SkinStatus::NoValidContent;
    QTest::newRow("blank style sheet") << QByteArray(header + "[StyleSheet]\n \n\n") << SkinStatus::NoValidContent;
    // Just enough.
    QTest::newRow("one colour, CR LF") << QByteArray("[skin]\r\nformat = 1\r\n[colours]\r\nwindowtext = 0,0,0\r\n")
                                       << SkinStatus::Ok;
    QTest::newRow("style sheet only") << QByteArray(header + "[StyleSheet]\nQPushButton { color: red }\n")
                                      << SkinStatus::Ok;
}

void TestSkinFile::badContentChangesNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(SkinStatus, status);
    const skins::SkinLoad load = skins::parseSkin(bytes);
    QCOMPARE(load.status, status);
}

void TestSkinFile::badFilesAreRefused_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<SkinStatus>("status");

    QTest::newRow("missing") << "missing" << SkinStatus::Unreadable;
    QTest::newRow("no permission") << "unreadable" << SkinStatus::Unreadable;
    QTest::newRow("folder") << "folder" << SkinStatus::NotRegularFile;
    QTest::newRow("pipe") << "fifo" << SkinStatus::NotRegularFile;
    QTest::newRow("link to a device") << "device" << SkinStatus::NotRegularFile;
    QTest::newRow("1 MiB and a byte") << "huge" << SkinStatus::TooLarge;
    QTest::newRow("exactly 1 MiB") << "limit" << SkinStatus::Ok;
    QTest::newRow("link to a skin") << "link" << SkinStatus::Ok;
}

void TestSkinFile::badFilesAreRefused()
{
    QFETCH(QString, kind);
    QFETCH(SkinStatus, status);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Pifu.she"));
    const QByteArray skin = header + "[Colors]\nWindow=#102030\n";
    const auto padded = [&](qint64 size) { return skin + "; " + QByteArray(size - skin.size() - 3, 'x') + "\n"; };
    std::optional<WithoutDacOverride> asUser;
    if (kind == "unreadable") {
        write(path, skin);
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        asUser.emplace();
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Pifu.she")));
    } else if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "device") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (kind == "huge") {
        write(path, padded(skins::maxSkinBytes + 1));
    } else if (kind == "limit") {
        write(path, padded(skins::maxSkinBytes));
    } else if (kind == "link") {
        write(dir.filePath(QStringLiteral("real.she")), skin);
        QVERIFY(QFile::link(QStringLiteral("real.she"), path));
    }
    const skins::SkinLoad load = skins::loadSkin(path);
    QCOMPARE(load.status, status);
    if (status == SkinStatus::Ok)
        QCOMPARE(load.skin.colours[QPalette::Active].at(QPalette::Window), QColor(0x10, 0x20, 0x30));
}

void TestSkinFile::badValuesArePassedOverAlone()
{
    // GB18030, as a Chinese Windows editor saves it, with unknown keys, bad values and a
    // colour given twice (the last one holds).
    QStringEncoder gb("GB18030");
    const QByteArray bytes = gb(QStringLiteral("; 注释\n[Skin]\nFormat=1\nName=晴空蓝\nAuthor=开发组\nVersion=9\n"
                                               "[Colors]\nWindow=#eef4fb\nText=nonsense\nBase = 255, 255, 250\n"
                                               "Shine=#ffffff\nButton=#000\nButton=#e3eefa\n= #123456\n"
                                               "[Inactive]\nHighlight=#3b74b0\nHighlightedText=#12345\n"
                                               "[Disabled]\nButtonText=gray\n"));
    const skins::SkinLoad load = skins::parseSkin(bytes);
    QCOMPARE(load.status, SkinStatus::Ok);
    QCOMPARE(load.skin.name, QStringLiteral("晴空蓝"));
    QCOMPARE(load.skin.author, QStringLiteral("开发组"));
    const skins::RoleColours expected{{QPalette::Window, QColor(0xee, 0xf4, 0xfb)},
                                      {QPalette::Base, QColor(255, 255, 250)},
                                      {QPalette::Button, QColor(0xe3, 0xee, 0xfa)}};
    QCOMPARE(load.skin.colours[QPalette::Active], expected);
    QCOMPARE(load.skin.colours[QPalette::Inactive], (skins::RoleColours{{QPalette::Highlight, QColor(0x3b, 0x74, 0xb0)}}));
    QCOMPARE(load.skin.colours[QPalette::Disabled], (skins::RoleColours{{QPalette::ButtonText, QColor(128, 128, 128)}}));

    // What it writes reads back the same, in UTF-8.
    const skins::SkinLoad again = skins::parseSkin(skins::skinText(load.skin));
    QCOMPARE(again.status, SkinStatus::Ok);
    QCOMPARE(again.skin.name, load.skin.name);
    QCOMPARE(again.skin.colours, load.skin.colours);
}

void TestSkinFile::paletteFillsTheGroups()
{
    const skins::Skin skin = skins::parseSkin(header + "[Colors]\nWindow=#000000\nWindowText=#ffffff\n"
                                                       "[Inactive]\nWindowText=#eeeeee\n")
                                 .skin;
    QPalette base;
    base.setColor(QPalette::Base, QColor(1, 2, 3));
    const QPalette palette = skin.palette(base);
    QCOMPARE(palette.color(QPalette::Active, QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::Window), QColor(Qt::black));
    QCOMPARE(palette.color(QPalette::Inactive, QPalette::WindowText), QColor(0xee, 0xee, 0xee));
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::Window), QColor(Qt::black));
    // Disabled text fades into its background; what the skin leaves alone stays.
    QCOMPARE(palette.color(QPalette::Disabled, QPalette::WindowText).name(), QStringLiteral("#808080"));
    QCOMPARE(palette.color(QPalette::Active, QPalette::Base), QColor(1, 2, 3));

    // Text that can't be read takes the standard colour, or black or white where that
    // can't be read either.
    const skins::Skin unreadable =
        skins::parseSkin(header + "[Colors]\nWindow=#707070\nWindowText=#777777\nBase=#101010\nText=#000000\n").skin;
    QPalette standard;
    standard.setColor(QPalette::WindowText, Qt::black);
    standard.setColor(QPalette::Text, Qt::black);
    const QPalette fixed = unreadable.palette(standard);
    QCOMPARE(fixed.color(QPalette::Active, QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(fixed.color(QPalette::Inactive, QPalette::Text), QColor(Qt::white));
}

void TestSkinFile::styleSheetKeepsOnlyTheLook_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("kept");

    QTest::newRow("fonts") << "QLabel { color: red; font-size: 30pt; FONT: bold 20px; font-family: x }"
                           << "QLabel { color: red; }";
    QTest::newRow("widget sizes") << "QPushButton { min-height: 40px; max-width: 9px; border: 1px solid red; }"
                                  << "QPushButton { border: 1px solid red; }";
    QTest::newRow("properties") << "* { qproperty-geometry: rect(0 0 1 1); qproperty-text: 'x'; color: blue }"
                                << "* { color: blue; }";
    QTest::newRow("part sizes") << "QScrollBar::handle:vertical { min-height: 24px; } QScrollBar:vertical { width: 14px }"
                                << "QScrollBar::handle:vertical { min-height: 24px; } QScrollBar:vertical { width: 14px; }";
    QTest::newRow("part too large") << "QScrollBar { width: 900px; background: red }" << "QScrollBar { background: red; }";
    QTest::newRow("mixed selector") << "QScrollBar::handle, QPushButton { min-height: 24px; }" << "";
    // Escapes are read as Qt reads them.
    QTest::newRow("escaped names")
        << "QLabel { f\\ont-size: 30px; \\66ont-size: 30px; min-w\\idth: 900px; qpr\\operty-url: x;"
           " \\63 olor: #123456; c\\olor: navy }"
        << "QLabel { color: #123456; color: navy; }";
    QTest::newRow("escaped selector") << "\\51 Label, #W\\65 b { color: red }" << "QLabel, #Web { color: red; }";
    QTest::newRow("broken escapes") << "QLabel { color: red; \\\nfont-size: 30px; f\\\nont: x }" << "QLabel { color: red; }";
    // Strings, comments and selectors.
    // An unclosed string ends at its line, and takes its rule along.
    QTest::newRow("unclosed quote")
        << "QLabel[text=\"a] { color: red; }\nQPushButton { min-height: 300px; color: blue }\nQLabel { color: green }"
        << "QLabel { color: green; }";
    QTest::newRow("quote in a value") << "QLabel { color: 'red; } QLabel { font-size: 30px; }\n}\nQLabel { color: green }"
                                      << "QLabel { color: green; }";
    QTest::newRow("colons in an attribute")
        << "QPushButton[text=\"::\"] { min-height: 300px; color: red }" << "QPushButton[text=\"::\"] { color: red; }";
    QTest::newRow("comments") << "/* font: 9pt; */ QLabel { color: /* x */ red; f/**/ont-size: 9px }"
                              << "QLabel { color: red; }";
    QTest::newRow("comment between spaces") << "QFrame /* x */ QLabel { color: red }" << "QFrame QLabel { color: red; }";
    QTest::newRow("unclosed block") << "QLabel { color: red; font-size: 30pt" << "QLabel { color: red; }";
    QTest::newRow("nested block") << "QLabel { x { font-size: 30px } ; color: red }" << "QLabel { color: red; }";
    QTest::newRow("at-rules") << "@import url(x.css); @media all { QLabel { font-size: 9px } } QLabel { color: red }"
                              << "QLabel { color: red; }";
    // No picture of any kind, from anywhere.
    QTest::newRow("pictures")
        << "QWidget { background-image: url(/tmp/fifo); border-image: url(\"a;}.png\") 1; image: url(x);"
           " background: url(x.png) red; background-color: red }"
        << "QWidget { background-color: red; }";
    QTest::newRow("gradients and functions")
        << "QPushButton { background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #f8fbff, stop: 1 rgb(200, 220, 240));"
           " color: palette(window-text); border-color: hsv(10, 20, 30) #fff; background-color: qlineargradient(stop: 0 url(x)) }"
        << "QPushButton { background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #f8fbff, stop: 1 rgb(200, 220, 240));"
           " color: palette(window-text); border-color: hsv(10, 20, 30) #fff; }";
    QTest::newRow("gradients in gradients")
        << "QLabel { background: qlineargradient(stop: 0 " + QString("qlineargradient(stop: 0 ").repeated(100000) + "}"
        << "";
    // Boxes within bounds.
    QTest::newRow("boxes") << "QPushButton { padding: 2px 8px; margin: 1px; border: 2px solid red; border-radius: 3px;"
                              " text-align: left }"
                           << "QPushButton { padding: 2px 8px; margin: 1px; border: 2px solid red; border-radius: 3px;"
                              " text-align: left; }";
    QTest::newRow("boxes too wide")
        << "QPushButton, QListWidget { padding: 40px; padding-top: 30px; margin: 0 90px; border: 30px solid red;"
           " border-width: 9px; border-left-width: 1em; padding-left: -4px; color: #123 }"
        << "QPushButton, QListWidget { color: #123; }";
    // Sizes that hide a list's rows or its scroll bar, and boxes that cut a label's caption.
    QTest::newRow("rows and scroll bars hidden")
        << "QListWidget::item { height: 0; max-height: 0; color: #123 } QScrollBar { width: 0 }"
           " QScrollBar::handle:vertical { min-height: 2px } QScrollBar:vertical { width: 9px }"
        << "QListWidget::item { color: #123; }";
    QTest::newRow("rows and scroll bars kept")
        << "QListWidget::item { height: 16px } QScrollBar:vertical { width: 10px } QScrollBar::add-line { width: 0 }"
        << "QListWidget::item { height: 16px; } QScrollBar:vertical { width: 10px; } QScrollBar::add-line { width: 0px; }";
    QTest::newRow("labels padded above and below")
        << "QLabel { padding: 2px 8px; margin: 2px } #Label2 { padding-top: 1px; margin-bottom: 1px }"
           " * { padding: 1px } QWidget { padding: 0 8px; margin: 0 2px; padding-left: 4px; margin-top: 0 }"
        << "QWidget { padding: 0px 8px; margin: 0px 2px; padding-left: 4px; margin-top: 0px; }";
    // Text readable on its background, at 3:1.
    QTest::newRow("text like its background") << "QLabel { color: #777; background-color: #707070 }" << "";
    QTest::newRow("invisible text") << "QLabel { color: rgba(0, 0, 0, 0); } QLabel { color: transparent }" << "";
    QTest::newRow("text like the palette's background") << "QListWidget { color: #eeeeee; border: 1px solid red }"
                                                        << "QListWidget { border: 1px solid red; }";
    QTest::newRow("background like the palette's text") << "QLabel { background: #000 }" << "";
    QTest::newRow("selection") << "QListWidget { selection-color: #fff; selection-background-color: #fefefe }" << "";
    // A part's text and background meet whatever rules give them, one side each.
    QTest::newRow("a part's sides from two rules")
        << "QListWidget::item { color: #777 } QListView::item:!selected { background-color: #777; border: 1px solid red }"
        << "QListView::item:!selected { border: 1px solid red; }";
    QTest::newRow("a part's text on its widget's background")
        << "QListWidget { background-color: #777 } QListWidget::item { color: #777 }" << "QListWidget { background-color: #777; }";
    QTest::newRow("many parts' sides")
        << QString("QListWidget::item { color: #777 } QListWidget::item { background: #787878 }").repeated(15000) << "";
    QTest::newRow("a part's own pairs")
        << "QListWidget::item { color: #000; background-color: #fff } QListWidget::item:selected { color: #fff; background-color: #000 }"
        << "QListWidget::item { color: #000; background-color: #fff; } QListWidget::item:selected { color: #fff; background-color: #000; }";
    QTest::newRow("parts without text") << "QProgressBar::chunk { background-color: #000 }"
                                        << "QProgressBar::chunk { background-color: #000; }";
    QTest::newRow("disabled may fade") << "QPushButton:disabled { color: #8191a3; background-color: #eef2f6 }"
                                       << "QPushButton:disabled { color: #8191a3; background-color: #eef2f6; }";
}

void TestSkinFile::styleSheetKeepsOnlyTheLook()
{
    QFETCH(QString, sheet);
    QFETCH(QString, kept);
    const auto squeeze = [](QString text) { return text.remove(u' ').remove(u'\n'); };
    // A dark text on a light window, as the standard look.
    const QPalette palette(Qt::black, QColor(0xef, 0xef, 0xef), Qt::white, Qt::darkGray, Qt::gray, Qt::black, Qt::white,
                           Qt::white, QColor(0xef, 0xef, 0xef));
    const QString safe = skins::safeStyleSheet(sheet, palette);
    QCOMPARE(squeeze(safe), squeeze(kept));
    // What is kept passes again unchanged.
    QCOMPARE(skins::safeStyleSheet(safe, palette), safe);
}

void TestSkinFile::kdeSchemeMapsTheMainRoles()
{
    const QByteArray scheme = "[ColorEffects:Disabled]\nColor=56,56,56\n\n"
                              "[Colors:Button]\nBackgroundNormal=49,54,59\nForegroundNormal=239,240,241\n\n"
                              "[Colors:Selection]\nBackgroundNormal=61,174,233\nForegroundNormal=252,252,252\n\n"
                              "[Colors:Tooltip]\nBackgroundNormal=20,20,20\nForegroundNormal=230,230,230\n\n"
                              "[Colors:View]\nBackgroundNormal=35,38,41\nBackgroundAlternate=40,44,48\n"
                              "ForegroundNormal=239,240,241\nForegroundInactive=161,169,177\nForegroundLink=29,153,243\n\n"
                              "[Colors:Window]\nBackgroundNormal=42,46,50\nForegroundNormal=239,240,241\n\n"
                              "[General]\nColorScheme=OurNight\nName=Our Night\nName[zh_CN]=我们的夜\n";
    const std::optional<skins::Skin> skin = skins::skinFromKdeScheme(scheme, QStringLiteral("file"));
    QVERIFY(skin);
    QCOMPARE(skin->name, QStringLiteral("我们的夜"));
    const skins::RoleColours &active = skin->colours[QPalette::Active];
    const std::pair<QPalette::ColorRole, QColor> expected[] = {
        {QPalette::Window, QColor(42, 46, 50)},        {QPalette::WindowText, QColor(239, 240, 241)},
        {QPalette::Base, QColor(35, 38, 41)},          {QPalette::AlternateBase, QColor(40, 44, 48)},
        {QPalette::Text, QColor(239, 240, 241)},       {QPalette::Button, QColor(49, 54, 59)},
        {QPalette::ButtonText, QColor(239, 240, 241)}, {QPalette::Highlight, QColor(61, 174, 233)},
        {QPalette::HighlightedText, QColor(252, 252, 252)}, {QPalette::ToolTipBase, QColor(20, 20, 20)},
        {QPalette::ToolTipText, QColor(230, 230, 230)}, {QPalette::Link, QColor(29, 153, 243)},
    };
    for (const auto &[role, colour] : expected)
        QCOMPARE(active.at(role), colour);
    QCOMPARE(skin->colours[QPalette::Disabled].at(QPalette::Text), QColor(161, 169, 177));
    // Written in our format, it is a skin like any other.
    QCOMPARE(skins::parseSkin(skins::skinText(*skin)).status, SkinStatus::Ok);

    QCOMPARE(skins::skinFromKdeScheme("[General]\nName=Nothing\n[Colors:View]\nBackgroundNormal=red-ish\n", {}),
             std::nullopt);
    const std::optional<skins::Skin> unnamed = skins::skinFromKdeScheme("[Colors:Window]\nBackgroundNormal=1,2,3\n",
                                                                        QStringLiteral("文件名"));
    QVERIFY(unnamed);
    QCOMPARE(unnamed->name, QStringLiteral("文件名"));
    // Unlike a skin file, a scheme is read as KDE reads it: names in their exact case, UTF-8 only.
    QCOMPARE(skins::skinFromKdeScheme("[colors:window]\nbackgroundnormal=1,2,3\n", {}), std::nullopt);
    const std::optional<skins::Skin> gbName =
        skins::skinFromKdeScheme("[General]\nName=\xc0\xb6\n[Colors:Window]\nBackgroundNormal=1,2,3\n", {}); // 蓝
    QVERIFY(gbName && gbName->name.contains(QChar::ReplacementCharacter));
}

void TestSkinFile::shippedSkinsAreReadable()
{
    const QDir dir(QStringLiteral(SHIPPED_SKINS));
    const QStringList files = dir.entryList({QStringLiteral("*.she")}, QDir::Files);
    QVERIFY2(files.size() >= 5, qPrintable(files.join(u' ')));
    const std::pair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {
        {QPalette::WindowText, QPalette::Window},      {QPalette::Text, QPalette::Base},
        {QPalette::ButtonText, QPalette::Button},      {QPalette::HighlightedText, QPalette::Highlight},
        {QPalette::ToolTipText, QPalette::ToolTipBase},
    };
    for (const QString &file : files) {
        const skins::SkinLoad load = skins::loadSkin(dir.filePath(file));
        QCOMPARE(load.status, SkinStatus::Ok);
        // A Chinese display name and an author.
        QVERIFY2(std::any_of(load.skin.name.begin(), load.skin.name.end(), [](QChar c) { return c.unicode() >= 0x4e00; }),
                 qPrintable(file));
        QVERIFY(!load.skin.author.isEmpty());
        // Their style sheets pass the filter whole.
        QFile skinFile(dir.filePath(file));
        QVERIFY(skinFile.open(QIODevice::ReadOnly));
        const QString raw = QString::fromUtf8(skinFile.readAll()).section(QStringLiteral("[StyleSheet]"), 1);
        const auto declarations = [](const QString &sheet) {
            return sheet.split(QRegularExpression(QStringLiteral("[{};]")), Qt::SkipEmptyParts).filter(QStringLiteral(":")).size();
        };
        QCOMPARE(declarations(load.skin.styleSheet), declarations(raw));

        const QPalette palette = load.skin.palette(QPalette());
        for (const auto group : {QPalette::Active, QPalette::Inactive}) {
            for (const auto &[text, background] : pairs) {
                const double ratio = contrast(palette.color(group, text), palette.color(group, background));
                QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2 on %3 in group %4: %5")
                                                      .arg(file, skins::roleName(text), skins::roleName(background))
                                                      .arg(group)
                                                      .arg(ratio)));
            }
        }
        // In the style sheet: every text colour against its rule's backgrounds, or the
        // window colour where the rule sets none. Disabled controls may fade.
        static const QRegularExpression rule(QStringLiteral("([^{}]*)\\{([^}]*)\\}"));
        for (const QRegularExpressionMatch &match : rule.globalMatch(load.skin.styleSheet)) {
            if (match.captured(1).contains(QLatin1StringView(":disabled")))
                continue;
            QMap<QString, QString> declarations;
            for (const QString &declaration : match.captured(2).split(u';')) {
                const qsizetype colon = declaration.indexOf(u':');
                if (colon > 0)
                    declarations[declaration.left(colon).trimmed()] = declaration.sliced(colon + 1);
            }
            const auto check = [&](const QString &textKey, const QStringList &backgroundKeys) {
                for (const QColor &textColour : coloursIn(declarations.value(textKey))) {
                    QList<QColor> backgrounds;
                    for (const QString &key : backgroundKeys)
                        backgrounds += coloursIn(declarations.value(key));
                    if (backgrounds.isEmpty())
                        backgrounds.append(palette.color(QPalette::Window));
                    for (const QColor &backgroundColour : backgrounds)
                        QVERIFY2(contrast(textColour, backgroundColour) >= 4.5,
                                 qPrintable(QStringLiteral("%1: %2 %3 on %4").arg(file, match.captured(1).trimmed(), textColour.name(),
                                            backgroundColour.name())));
                }
            };
            check(QStringLiteral("color"), {QStringLiteral("background-color"), QStringLiteral("background")});
            check(QStringLiteral("selection-color"), {QStringLiteral("selection-background-color")});
        }
    }
}

QTEST_MAIN(TestSkinFile)
#include "test_skin_file.moc"
