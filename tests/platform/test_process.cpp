#include "platform/error_text.h"
#include "fake_prefix.h"
#include "platform/process.h"
#include "scoped_variable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using platform::RunResult;
using platform::ShowState;

namespace {

// Each case runs in a fresh folder, which is also the working directory; its bin/ comes
// first in PATH, and the probe records into it.
struct Sandbox
{
    Sandbox() { QDir::setCurrent(dir.path()); }
    ~Sandbox() { QDir::setCurrent(previousFolder); }
    QString path(const QString &name = {}) const { return name.isEmpty() ? dir.path() : dir.filePath(name); }

    const QString previousFolder = QDir::currentPath();
    const QTemporaryDir dir;
    const ScopedVariable output{"BRISQUEL_PROBE_OUT", QFile::encodeName(path("argv.out"))};
    const ScopedVariable searchPath{"PATH", QFile::encodeName(path("bin")) + QDir::listSeparator().toLatin1() + qgetenv("PATH")};
};

} // namespace

// The started programs are copies of a probe that records its arguments, so what a
// command line really hands over is read back byte for byte.
class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_sandbox.reset(); }

    void findsProgram_data();
    void findsProgram();
    void pathsWithFolder_data();
    void pathsWithFolder();
    void argumentPassedLiterally_data();
    void argumentPassedLiterally();
    void bothShowStatesStart();

    void missingProgramFails_data();
    void missingProgramFails();
    void fileThatCannotRunFails();

    void explorerOpensUrlWithDesktop_data();
    void explorerOpensUrlWithDesktop();
    void explorerWithoutOpenerFails();
    void editorsOpenResolvedWindowsPath_data();
    void editorsOpenResolvedWindowsPath();
    void editorOnUnmappedDriveFails();

private:
    // A copy of the probe under `name` in `folder` (by default the sandbox's bin/, in PATH).
    QString placeProbe(const QString &name, QString folder = {}) const;
    // The probe's arguments once it has run (argv[0] first); empty on a time-out.
    QStringList recorded() const;

    static QString probe() { return QStringLiteral(PROBE_PATH); }
    QString path(const QString &name = {}) const { return m_sandbox->path(name); }

    std::unique_ptr<Sandbox> m_sandbox;
};

void TestProcess::init()
{
#ifdef Q_OS_WIN
    QSKIP("these cases exercise the Linux stand-ins for the Windows programs");
#endif
    if (probe().contains(u' '))
        QSKIP("the probe's path holds a blank, which would end the program name");
    m_sandbox = std::make_unique<Sandbox>();
    QVERIFY(m_sandbox->dir.isValid());
    QVERIFY(QFileInfo(probe()).isExecutable());
    QCOMPARE(QFileInfo(probe()).absolutePath(), QCoreApplication::applicationDirPath());
}

QString TestProcess::placeProbe(const QString &name, QString folder) const
{
    if (folder.isEmpty())
        folder = path("bin");
    QDir().mkpath(folder);
    const QString copy = folder + u'/' + name;
    if (!QFile::copy(probe(), copy))
        qFatal("cannot copy the probe to %s", qPrintable(copy));
    return copy;
}

QStringList TestProcess::recorded() const
{
    const QString output = path("argv.out");
    if (!QTest::qWaitFor([&output] { return QFile::exists(output); }, 20000))
        return {};
    QFile file(output);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) // the last part follows the final NUL
        arguments.append(QString::fromUtf8(parts.at(i)));
    file.close();
    QFile::remove(output);
    return arguments;
}

void TestProcess::findsProgram_data()
{
    QTest::addColumn<QStringList>("inPath"); // copies of the probe placed along PATH
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<QString>("started"); // which copy ran; empty: the probe in the program's folder
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("bare name in own folder") << QStringList() << "brisquel_argv_probe hello" << false << ""
                                             << QStringList{"hello"};
    QTest::newRow("own folder before PATH") << QStringList{"brisquel_argv_probe"} << "brisquel_argv_probe" << true
                                            << "" << QStringList();
    QTest::newRow("bare name in PATH") << QStringList{"brisquel-path-probe"} << "brisquel-path-probe x" << false
                                       << "brisquel-path-probe" << QStringList{"x"};
    QTest::newRow(".exe finds the program without") << QStringList{"Filefs"} << "Filefs.exe" << false << "Filefs"
                                                     << QStringList();
    // A program really named with ".exe" is found under that name first.
    QTest::newRow(".exe name first") << QStringList{"Filefs", "Filefs.exe"} << "Filefs.exe" << false << "Filefs.exe"
                                     << QStringList();
}

void TestProcess::findsProgram()
{
    QFETCH(QStringList, inPath);
    QFETCH(QString, commandLine);
    QFETCH(bool, hidden);
    QFETCH(QString, started);
    QFETCH(QStringList, arguments);
    for (const QString &name : inPath)
        placeProbe(name);

    const RunResult result = platform::runCommandLine(commandLine, hidden ? ShowState::Hidden : ShowState::NormalFocus);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(recorded(), QStringList{started.isEmpty() ? probe() : path("bin/" + started)} + arguments);
}

void TestProcess::pathsWithFolder_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("program");

    QTest::newRow("relative with folder") << "tools/probe a" << "tools/probe";
    QTest::newRow("dot slash") << "./probe a" << "./probe";
}

void TestProcess::pathsWithFolder()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, program);
    // A name with a folder is never looked up elsewhere.
    placeProbe("probe", path("tools"));
    placeProbe("probe", path());
    placeProbe("probe");
    QVERIFY(platform::runCommandLine(commandLine, ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), (QStringList{program, "a"}));
}

void TestProcess::argumentPassedLiterally_data()
{
    QTest::addColumn<QString>("argument");

    QTest::newRow("blanks") << QStringLiteral("two words  and   more ");
    QTest::newRow("leading blank") << QStringLiteral(" x");
    QTest::newRow("quotes") << QStringLiteral("\"quoted\" 'single' \\\"escaped\\\"");
    QTest::newRow("shell syntax")
        << QStringLiteral("; touch PWNED1 && touch PWNED2 | tee PWNED3 > PWNED4 $(touch PWNED5) "
                          "`touch PWNED6` $HOME * ~ &");
    QTest::newRow("Windows path") << QStringLiteral("C:\\WINDOWS\\system32\\OEMINFO.INI");
    QTest::newRow("Chinese") << QStringLiteral("皮肤 文件.she");
    QTest::newRow("option-like") << QStringLiteral("--help");
}

void TestProcess::argumentPassedLiterally()
{
    QFETCH(QString, argument);
    QVERIFY(platform::runCommandLine(probe() + u' ' + argument, ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), (QStringList{probe(), argument}));
    // Nothing a shell would have done happened.
    const QStringList left = QDir(path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

void TestProcess::bothShowStatesStart()
{
    if (!QFileInfo(QStringLiteral("/bin/true")).isExecutable())
        QSKIP("no /bin/true");
    QVERIFY(platform::runCommandLine(QStringLiteral("/bin/true"), ShowState::Hidden).ok);
    QVERIFY(platform::runCommandLine(QStringLiteral("/bin/true"), ShowState::NormalFocus).ok);
    QVERIFY(platform::runCommandLine(QStringLiteral("true"), ShowState::Hidden).ok);
}

void TestProcess::missingProgramFails_data()
{
    QTest::addColumn<QString>("commandLine");

    QTest::newRow("bare name") << QStringLiteral("brisquel-no-such-program");
    QTest::newRow("bare name with argument") << QStringLiteral("BrisquelNoSuchTool.exe x");
    QTest::newRow("full path") << QStringLiteral("/nonexistent/folder/program arg");
    QTest::newRow("relative path") << QStringLiteral("missing/program");
    QTest::newRow("empty") << QString();
    QTest::newRow("leading blank") << QStringLiteral(" brisquel_argv_probe");
    QTest::newRow("a folder") << QStringLiteral("/");
}

void TestProcess::missingProgramFails()
{
    QFETCH(QString, commandLine);
    const RunResult result = platform::runCommandLine(commandLine, ShowState::NormalFocus);
    QVERIFY(!result.ok);
    if (commandLine == u"/")
        QVERIFY(!result.error.isEmpty());
    else
        QCOMPARE(result.error, platform::describeError(ENOENT));
}

void TestProcess::fileThatCannotRunFails()
{
    const QString plain = path("plain");
    QFile file(plain);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    RunResult result = platform::runCommandLine(plain, ShowState::NormalFocus);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(EACCES));

    // Executable, but not in a format the system runs: the system's own words.
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\x7f" "ELF broken");
    file.close();
    result = platform::runCommandLine(plain, ShowState::NormalFocus);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(ENOEXEC));
}

void TestProcess::explorerOpensUrlWithDesktop_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("target");

    const QString url = QStringLiteral("https://bbs.example.com/thread-82-1-1.html");
    QTest::newRow("explorer") << "explorer " + url << url;
    QTest::newRow("EXPLORER.EXE") << "EXPLORER.EXE " + url << url;
    QTest::newRow("Explorer.exe") << "Explorer.exe " + url << url;
    QTest::newRow("URL with blanks and shell syntax")
        << QStringLiteral("explorer https://example.com/a b?c=1&d=$(x);e")
        << QStringLiteral("https://example.com/a b?c=1&d=$(x);e");
    QTest::newRow("no argument opens the home folder") << "explorer" << QDir::homePath();
}

void TestProcess::explorerOpensUrlWithDesktop()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, target);
    const QString opener = placeProbe("xdg-open");
    const RunResult result = platform::runCommandLine(commandLine, ShowState::Hidden);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(recorded(), (QStringList{opener, target}));
}

void TestProcess::explorerWithoutOpenerFails()
{
    QVERIFY(QDir().mkpath(path("empty")));
    const ScopedVariable searchPath("PATH", QFile::encodeName(path("empty")));
    const RunResult result = platform::runCommandLine(QStringLiteral("explorer https://example.com/"), ShowState::Hidden);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(ENOENT));
}

void TestProcess::editorsOpenResolvedWindowsPath_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("file"); // below the prefix's drive_c, or "@" + a working-directory name

    QTest::newRow("notepad, existing file in another case")
        << QStringLiteral("notepad.exe C:\\WINDOWS\\system32\\OEMINFO.INI") << QStringLiteral("windows/system32/oeminfo.ini");
    QTest::newRow("mspaint, missing file still handed over")
        << QStringLiteral("mspaint.exe C:\\WINDOWS\\system32\\OEMLOGO.BMP") << QStringLiteral("windows/system32/OEMLOGO.BMP");
    QTest::newRow("MSPAINT.EXE") << QStringLiteral("MSPAINT.EXE c:/windows/system32/OEMLINKICON.ICO")
                                 << QStringLiteral("windows/system32/OEMLINKICON.ICO");
    QTest::newRow("notepad with a native relative file")
        << QStringLiteral("notepad.exe notes -v.txt") << QStringLiteral("@notes -v.txt");
}

void TestProcess::editorsOpenResolvedWindowsPath()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, file);

    const QString prefix = path("prefix");
    QVERIFY(makeFakePrefix(prefix, {QStringLiteral("windows/system32")}));
    QFile info(prefix + QStringLiteral("/drive_c/windows/system32/oeminfo.ini"));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.close();
    const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(prefix));
    const QString opener = placeProbe("xdg-open");

    const RunResult result = platform::runCommandLine(commandLine, ShowState::NormalFocus);
    QVERIFY2(result.ok, qPrintable(result.error));
    const QString expected = file.startsWith(u'@') ? path(file.mid(1)) : prefix + "/dosdevices/c:/" + file;
    const QStringList arguments = recorded();
    QCOMPARE(arguments.size(), 2);
    QCOMPARE(arguments.first(), opener);
    QCOMPARE(QFileInfo(arguments.last()).absoluteFilePath(), QFileInfo(expected).absoluteFilePath());
    QVERIFY(QFileInfo(arguments.last()).isAbsolute());
}

void TestProcess::editorOnUnmappedDriveFails()
{
    const QString prefix = path("prefix");
    QVERIFY(QDir().mkpath(prefix + "/dosdevices"));
    const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(prefix));
    placeProbe("xdg-open");

    const RunResult result = platform::runCommandLine(QStringLiteral("notepad.exe Q:\\notes.txt"), ShowState::NormalFocus);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(ENOENT));
}

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
