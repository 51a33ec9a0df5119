#include "cleanup/files/entry_variables.h"
#include "platform/wine_prefixes.h"
#include "scoped_variable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using cleanup::files::expandEntry;
using cleanup::files::NativeVariables;

namespace {

const NativeVariables native{QStringLiteral("/home/u"), QStringLiteral("/home/u/.cache"),
                             QStringLiteral("/home/u/.local/share"), QStringLiteral("/cfg"),
                             QStringLiteral("/home/u/.local/state")};
const QHash<QString, QString> windows{
    {QStringLiteral("TEMP"), QStringLiteral("C:\\users\\u\\Temp")},
    {QStringLiteral("APPDATA"), QStringLiteral("C:\\users\\u\\AppData\\Roaming")},
    {QStringLiteral("PROGRAMDATA"), QStringLiteral("C:\\users\\..\\windows")},
    {QStringLiteral("PUBLIC"), QStringLiteral("C:\\users\\*")},
    {QStringLiteral("USERNAME"), QStringLiteral("u")},
};

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// A folder Wine would take for a prefix, with the hives' environment keys only.
void makePrefix(const QString &path, const QByteArray &userTemp)
{
    QVERIFY(QDir().mkpath(path + QStringLiteral("/drive_c")));
    writeFile(path + QStringLiteral("/system.reg"),
              "WINE REGISTRY Version 2\n\n"
              "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1\n\"SystemRoot\"=\"C:\\\\windows\"\n\n"
              "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList] 1\n"
              "\"ProgramData\"=str(2):\"C:\\\\ProgramData\"\n\"Public\"=str(2):\"C:\\\\users\\\\Public\"\n\n"
              "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 1\n"
              "\"TEMP\"=str(2):\"%SystemRoot%\\\\temp\"\n\"windir\"=str(2):\"%SystemRoot%\"\n"
              "\"NUMBER_OF_PROCESSORS\"=dword:00000002\n\n");
    writeFile(path + QStringLiteral("/user.reg"),
              "WINE REGISTRY Version 2\n\n[Environment] 1\n\"TEMP\"=\"" + userTemp + "\"\n\n"
              "[Volatile Environment] 1\n\"USERPROFILE\"=\"C:\\\\users\\\\\\x5f20\"\n"
              "\"APPDATA\"=\"C:\\\\users\\\\\\x5f20\\\\AppData\\\\Roaming\"\n\n");
}

} // namespace

class TestEntryVariables : public QObject
{
    Q_OBJECT

private slots:
    void expands_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("expected"); // "-" for an entry that names nothing
        QTest::newRow("windows known") << "%TEMP%\\*.tmp" << "C:\\users\\u\\Temp\\*.tmp";
        QTest::newRow("windows any case") << "%appData%\\x\\*.log" << "C:\\users\\u\\AppData\\Roaming\\x\\*.log";
        QTest::newRow("windows inside a drive path") << "C:\\users\\%UserName%\\a.txt" << "C:\\users\\u\\a.txt";
        QTest::newRow("windows unknown stays") << "C:\\%FOO%\\*.*" << "C:\\%FOO%\\*.*";
        QTest::newRow("windows known, unresolved") << "%LOCALAPPDATA%\\*.*" << "-";
        QTest::newRow("windows value climbing") << "%ProgramData%\\*.*" << "-";
        QTest::newRow("windows value wildcard is a folder name") << "%PUBLIC%\\a\\*.tmp" << "C:\\users\\*\\a\\*.tmp";
        QTest::newRow("windows value without a drive") << "%USERNAME%\\x.tmp" << "-";
        QTest::newRow("windows last part literal") << "C:\\x\\%TEMP%.tmp" << "C:\\x\\%TEMP%.tmp";
        QTest::newRow("windows lone percent") << "C:\\100%\\%TEMP%\\a" << "C:\\100%\\C:\\users\\u\\Temp\\a";
        QTest::newRow("tilde") << "~/.cache/thumbnails/normal/*.png" << "/home/u/.cache/thumbnails/normal/*.png";
        QTest::newRow("tilde alone") << "~" << "~";
        QTest::newRow("tilde user") << "~user/x/*.tmp" << "~user/x/*.tmp";
        QTest::newRow("home") << "$HOME/.x/*.log" << "/home/u/.x/*.log";
        QTest::newRow("braced xdg") << "${XDG_CONFIG_HOME}/a/b" << "/cfg/a/b";
        QTest::newRow("xdg cache") << "$XDG_CACHE_HOME/thumbnails/large/*.png" << "/home/u/.cache/thumbnails/large/*.png";
        QTest::newRow("native case matters") << "$home/x" << "$home/x";
        QTest::newRow("native unknown") << "$HOMEX/$1/x" << "$HOMEX/$1/x";
        QTest::newRow("native last part literal") << "a/$HOME" << "a/$HOME";
        QTest::newRow("percent in a native entry") << "%FOO%/x" << "%FOO%/x";
        QTest::newRow("windows variable alone is a file name") << "%TEMP%" << "%TEMP%";
    }

    void expands()
    {
        QFETCH(QString, entry);
        QFETCH(QString, expected);
        const std::optional<QString> got = expandEntry(entry, native, windows);
        QCOMPARE(got.value_or(QStringLiteral("-")), expected);
    }

    void unresolvableNeverBecomesEmpty()
    {
        // Without a home nor a prefix, an entry names nothing rather than the root.
        const NativeVariables none;
        QVERIFY(!expandEntry(QStringLiteral("~/.cache/*"), none, {}));
        QVERIFY(!expandEntry(QStringLiteral("$XDG_CACHE_HOME/*"), none, {}));
        QVERIFY(!expandEntry(QStringLiteral("%TEMP%\\*.*"), none, {}));
        const NativeVariables climbing{QStringLiteral("/home/u/.."), {}, {}, {}, {}};
        QVERIFY(!expandEntry(QStringLiteral("~/x/*"), climbing, {}));
    }

    void nativeVariablesFollowXdgDefaults()
    {
        const ScopedVariable home("HOME", "/home/\xff");
        const ScopedVariable cache("XDG_CACHE_HOME", "relative/cache");
        const ScopedVariable data("XDG_DATA_HOME", "");
        const ScopedVariable config("XDG_CONFIG_HOME", "/etc/cfg");
        const ScopedVariable state("XDG_STATE_HOME");
        const NativeVariables got = cleanup::files::nativeVariables();
        QCOMPARE(got.home, QStringLiteral("/home/") + QChar(0xDCFF));
        QCOMPARE(got.cacheHome, got.home + QStringLiteral("/.cache"));
        QCOMPARE(got.dataHome, got.home + QStringLiteral("/.local/share"));
        QCOMPARE(got.configHome, QStringLiteral("/etc/cfg"));
        QCOMPARE(got.stateHome, got.home + QStringLiteral("/.local/state"));
    }

    // However written, a home that is "/" is none: nothing below it is junk, no prefix lies there.
    void rootIsNoHome()
    {
        const ScopedVariable prefixVariable("WINEPREFIX");
        const ScopedVariable cache("XDG_CACHE_HOME");
        for (const char *root : {"/", "//", "/.", "/tmp/..", "/./", "/nowhere/.."}) {
            const ScopedVariable home("HOME", root);
            const NativeVariables got = cleanup::files::nativeVariables();
            QVERIFY2(got.home.isEmpty() && got.cacheHome.isEmpty(), root);
            QVERIFY2(platform::userWinePrefixes().isEmpty(), root);
        }
    }

    void prefixEnvironmentComesFromItsHives()
    {
        QTemporaryDir dir;
        makePrefix(dir.path(), "C:\\\\users\\\\me\\\\Temp");
        const QHash<QString, QString> env = platform::windowsEnvironment(dir.path());
        QCOMPARE(env.value(QStringLiteral("TEMP")), QStringLiteral("C:\\users\\me\\Temp")); // user over system
        QCOMPARE(env.value(QStringLiteral("WINDIR")), QStringLiteral("C:\\windows"));
        QCOMPARE(env.value(QStringLiteral("ALLUSERSPROFILE")), QStringLiteral("C:\\ProgramData"));
        QCOMPARE(env.value(QStringLiteral("USERPROFILE")), QStringLiteral("C:\\users\\") + QChar(0x5f20));
        QVERIFY(!env.contains(QStringLiteral("NUMBER_OF_PROCESSORS")));
        QVERIFY(platform::windowsEnvironment(dir.filePath(QStringLiteral("none"))).isEmpty());
    }

    void prefixesAreFoundOnceEach()
    {
        QTemporaryDir home;
        const ScopedVariable homeVariable("HOME", QFile::encodeName(home.path()));
        const ScopedVariable prefixVariable("WINEPREFIX");
        makePrefix(home.filePath(QStringLiteral(".wine")), "C:\\\\t");
        makePrefix(home.filePath(QStringLiteral(".deepinwine/Deepin-WeChat")), "C:\\\\t");
        makePrefix(home.filePath(QStringLiteral(".local/share/Steam/steamapps/compatdata/10/pfx")), "C:\\\\t");
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".deepinwine/not-a-prefix/drive_c"))));
        // ~/.steam/steam links to the same Steam folder: its prefixes count once.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral(".steam"))));
        QVERIFY(QFile::link(home.filePath(QStringLiteral(".local/share/Steam")),
                            home.filePath(QStringLiteral(".steam/steam"))));
        const QStringList expected{home.filePath(QStringLiteral(".wine")),
                                   home.filePath(QStringLiteral(".deepinwine/Deepin-WeChat")),
                                   home.filePath(QStringLiteral(".local/share/Steam/steamapps/compatdata/10/pfx"))};
        QCOMPARE(platform::userWinePrefixes(), expected);
        const ScopedVariable chosen("WINEPREFIX", "/nowhere");
        QCOMPARE(platform::userWinePrefixes(), QStringList{QStringLiteral("/nowhere")});
    }
};

QTEST_GUILESS_MAIN(TestEntryVariables)
#include "test_entry_variables.moc"
