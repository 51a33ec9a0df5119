#include "cleanup/files/name_pattern.h"

#include <QTest>

using cleanup::files::NamePattern;

Q_DECLARE_METATYPE(NamePattern::Style)

class TestNamePattern : public QObject
{
    Q_OBJECT

private slots:
    void matches_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<NamePattern::Style>("style");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("expected");

        constexpr auto native = NamePattern::Style::Native;
        constexpr auto windows = NamePattern::Style::Windows;

        // As the shell globs.
        QTest::newRow("native star") << "*.tmp" << native << "a.tmp" << true;
        QTest::newRow("native star empty run") << "*.tmp" << native << ".tmp" << false;
        QTest::newRow("native case matters") << "*.tmp" << native << "a.TMP" << false;
        QTest::newRow("native suffix must end") << "*.tmp" << native << "a.tmp.bak" << false;
        QTest::newRow("native star skips leading dot") << "*" << native << ".hidden" << false;
        QTest::newRow("native question skips leading dot") << "?hidden" << native << ".hidden" << false;
        QTest::newRow("native literal dot matches dotfile") << ".*" << native << ".hidden" << true;
        QTest::newRow("native inner dot is ordinary") << "a*" << native << "a.b" << true;
        QTest::newRow("native question one char") << "?.log" << native << "x.log" << true;
        QTest::newRow("native question not two") << "?.log" << native << "xy.log" << false;
        QTest::newRow("native question not zero") << "?.log" << native << ".log" << false;
        QTest::newRow("native question two-byte char") << "?.log" << native << "é.log" << true;
        QTest::newRow("native question three-byte char") << "?.log" << native << "文.log" << true;
        QTest::newRow("native question four-byte char") << "?" << native << "😀" << true;
        QTest::newRow("native two questions one char") << "??" << native << "é" << false;
        QTest::newRow("native star then question") << "*??" << native << "文件" << true;
        QTest::newRow("native star then three questions") << "*???" << native << "文件" << false;
        QTest::newRow("native brackets literal") << "a[1].txt" << native << "a[1].txt" << true;
        QTest::newRow("native brackets not a class") << "a[1].txt" << native << "a1.txt" << false;
        QTest::newRow("native backslash literal") << "a\\*" << native << "a\\bc" << true;
        QTest::newRow("native backslash escapes nothing") << "a\\*" << native << "a*" << false;
        QTest::newRow("native backtracking") << "*a*b*c" << native << "xaybzc" << true;
        QTest::newRow("native backtracking repeated") << "*ab" << native << "aab" << true;
        QTest::newRow("native too short") << "a*a" << native << "a" << false;
        QTest::newRow("native no wildcard") << "Junk.tmp" << native << "Junk.tmp" << true;
        QTest::newRow("native no wildcard case") << "Junk.tmp" << native << "junk.tmp" << false;
        QTest::newRow("native star dot star needs dot") << "*.*" << native << "README" << false;
        QTest::newRow("native Chinese") << "临时*.tmp" << native << "临时文件.tmp" << true;
        QTest::newRow("native blanks and quotes") << "a \"*\".tmp" << native << "a \"b c\".tmp" << true;
        QTest::newRow("native line feed") << "a*b" << native << "a\nb" << true;

        // As Windows does.
        QTest::newRow("windows no case") << "*.TMP" << windows << "a.tmp" << true;
        QTest::newRow("windows no case exact") << "JUNK.tmp" << windows << "junk.TMP" << true;
        QTest::newRow("windows star matches leading dot") << "*" << windows << ".hidden" << true;
        QTest::newRow("windows star dot star no dot") << "*.*" << windows << "README" << true;
        QTest::newRow("windows star dot star dotfile") << "*.*" << windows << ".x" << true;
        QTest::newRow("windows star dot star plain") << "*.*" << windows << "a.b.c" << true;
        QTest::newRow("windows name dot star bare") << "a.*" << windows << "a" << true;
        QTest::newRow("windows name dot star other") << "a.*" << windows << "ab" << false;
        QTest::newRow("windows name dot star ext") << "A.*" << windows << "a.b.c" << true;
        QTest::newRow("windows suffix must end") << "*.log" << windows << "a.log.old" << false;
        QTest::newRow("windows question") << "?.txt" << windows << "É.TXT" << true;
        QTest::newRow("windows non-ASCII fold") << "Ä*" << windows << "äbc" << true;
        QTest::newRow("windows Greek fold") << "ΣΊΣΥΦΟΣ.*" << windows << "σίσυφοσ.txt" << true;
        QTest::newRow("windows Chinese") << "文档*" << windows << "文档1" << true;
        QTest::newRow("windows ASCII pattern non-ASCII name") << "*.tmp" << windows << "文件.TMP" << true;
        QTest::newRow("windows mismatch") << "*.tmp" << windows << "a.tmq" << false;
        QTest::newRow("windows brackets literal") << "[a].txt" << windows << "a.txt" << false;
    }
    void matches()
    {
        QFETCH(QString, pattern);
        QFETCH(NamePattern::Style, style);
        QFETCH(QString, name);
        QFETCH(bool, expected);
        const NamePattern matcher(pattern, style);
        const QByteArray bytes = name.toUtf8();
        QCOMPARE(matcher.matches(std::string_view(bytes.constData(), std::size_t(bytes.size()))), expected);
        QCOMPARE(matcher.matches(QStringView(name)), expected);
    }

    void wildcardsDetected_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("expected");
        QTest::newRow("star") << "*.tmp" << true;
        QTest::newRow("question") << "a?" << true;
        QTest::newRow("plain") << "a.tmp" << false;
        QTest::newRow("brackets") << "[a]" << false;
    }
    void wildcardsDetected()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, expected);
        QCOMPARE(NamePattern(pattern, NamePattern::Style::Native).hasWildcards(), expected);
        QCOMPARE(NamePattern(pattern, NamePattern::Style::Windows).hasWildcards(), expected);
    }

    // Names written in another encoding are still files: wildcards match their bytes.
    void undecodableNames()
    {
        const std::string_view gbk("\xc1\xd9\xca\xb1.tmp"); // "临时" in GBK, invalid UTF-8
        QVERIFY(NamePattern(QStringLiteral("*.tmp"), NamePattern::Style::Native).matches(gbk));
        QVERIFY(NamePattern(QStringLiteral("*.TMP"), NamePattern::Style::Windows).matches(gbk));
        QVERIFY(!NamePattern(QStringLiteral("*.log"), NamePattern::Style::Windows).matches(gbk));
    }
};

QTEST_GUILESS_MAIN(TestNamePattern)
#include "test_name_pattern.moc"
