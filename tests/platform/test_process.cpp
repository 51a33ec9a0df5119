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

// Changes the working directory for the length of a scope.
class WorkingDirectoryGuard
{
public:
    explicit WorkingDirectoryGuard(const QString &path) : m_old(QDir::currentPath())
    {
        QDir::setCurrent(path);
    }
    ~WorkingDirectoryGuard() { QDir::setCurrent(m_old); }
    WorkingDirectoryGuard(const WorkingDirectoryGuard &) = delete;
    WorkingDirectoryGuard &operator=(const WorkingDirectoryGuard &) = delete;

private:
    QString m_old;
};

QByteArray withPathFirst(const QString &folder)
{
    return QFile::encodeName(folder) + QDir::listSeparator().toLatin1() + qgetenv("PATH");
}

} // namespace

// The started programs are copies of a probe that records its arguments, so what a
// command line really hands over is read back byte for byte.
class TestProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void bareNameInOwnFolder();
    void ownFolderBeforePath();
    void bareNameInPath();
    void exeSuffixFindsProgramWithout();
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
    // A copy of the probe under `name` in `folder`.
    QString placeProbe(const QString &folder, const QString &name) const;
    // The probe's arguments once it has run (argv[0] first); empty on a time-out.
    QStringList recorded() const;

    QString probe() const { return QStringLiteral(PROBE_PATH); }
    QString output() const { return m_work->filePath(QStringLiteral("argv.out")); }

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<ScopedVariable> m_outputVariable;
};

void TestProcess::init()
{
#ifdef Q_OS_WIN
    QSKIP("these cases exercise the Linux stand-ins for the Windows programs");
#endif
    m_outputVariable.reset();
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    if (probe().contains(u' '))
        QSKIP("the probe's path holds a blank, which would end the program name");
    m_outputVariable = std::make_unique<ScopedVariable>("BRISQUEL_PROBE_OUT",
                                                          QFile::encodeName(output()));
    QVERIFY(QFileInfo(probe()).isExecutable());
    QCOMPARE(QFileInfo(probe()).absolutePath(), QCoreApplication::applicationDirPath());
}

QString TestProcess::placeProbe(const QString &folder, const QString &name) const
{
    QDir().mkpath(folder);
    const QString copy = folder + u'/' + name;
    if (!QFile::copy(probe(), copy))
        qFatal("cannot copy the probe to %s", qPrintable(copy));
    return copy;
}

QStringList TestProcess::recorded() const
{
    if (!QTest::qWaitFor([this] { return QFile::exists(output()); }, 20000))
        return {};
    QFile file(output());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    const QList<QByteArray> parts = file.readAll().split('\0');
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) // the last part follows the final NUL
        arguments.append(QString::fromUtf8(parts.at(i)));
    file.close();
    QFile::remove(output());
    return arguments;
}

void TestProcess::bareNameInOwnFolder()
{
    const RunResult result = platform::runCommandLine(QStringLiteral("brisquel_argv_probe hello"),
                                                      ShowState::NormalFocus);
    QVERIFY2(result.ok, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(recorded(), (QStringList{probe(), "hello"}));
}

void TestProcess::ownFolderBeforePath()
{
    const QString inPath = m_work->filePath(QStringLiteral("bin"));
    placeProbe(inPath, QStringLiteral("brisquel_argv_probe"));
    const ScopedVariable path("PATH", withPathFirst(inPath));
    QVERIFY(platform::runCommandLine(QStringLiteral("brisquel_argv_probe"), ShowState::Hidden).ok);
    QCOMPARE(recorded(), QStringList{probe()});
}

void TestProcess::bareNameInPath()
{
    const QString inPath = m_work->filePath(QStringLiteral("bin"));
    const QString copy = placeProbe(inPath, QStringLiteral("brisquel-path-probe"));
    const ScopedVariable path("PATH", withPathFirst(inPath));
    QVERIFY(platform::runCommandLine(QStringLiteral("brisquel-path-probe x"), ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), (QStringList{copy, "x"}));
}

void TestProcess::exeSuffixFindsProgramWithout()
{
    const QString inPath = m_work->filePath(QStringLiteral("bin"));
    const QString copy = placeProbe(inPath, QStringLiteral("Filefs"));
    const ScopedVariable path("PATH", withPathFirst(inPath));
    QVERIFY(platform::runCommandLine(QStringLiteral("Filefs.exe"), ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), QStringList{copy});

    // A program really named with ".exe" is found under that name first.
    const QString exe = placeProbe(inPath, QStringLiteral("Filefs.exe"));
    QVERIFY(platform::runCommandLine(QStringLiteral("Filefs.exe"), ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), QStringList{exe});
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
    placeProbe(m_work->filePath(QStringLiteral("tools")), QStringLiteral("probe"));
    placeProbe(m_work->path(), QStringLiteral("probe"));
    // A name with a folder is never looked up elsewhere.
    const QString inPath = m_work->filePath(QStringLiteral("bin"));
    placeProbe(inPath, QStringLiteral("probe"));
    const ScopedVariable path("PATH", withPathFirst(inPath));

    const WorkingDirectoryGuard cwd(m_work->path());
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
    const WorkingDirectoryGuard cwd(m_work->path());
    QVERIFY(platform::runCommandLine(probe() + u' ' + argument, ShowState::NormalFocus).ok);
    QCOMPARE(recorded(), (QStringList{probe(), argument}));
    // Nothing a shell would have done happened.
    const QStringList left = QDir(m_work->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
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
    const WorkingDirectoryGuard cwd(m_work->path());
    const RunResult result = platform::runCommandLine(commandLine, ShowState::NormalFocus);
    QVERIFY(!result.ok);
    if (commandLine == u"/")
        QVERIFY(!result.error.isEmpty());
    else
        QCOMPARE(result.error, platform::describeError(ENOENT));
}

void TestProcess::fileThatCannotRunFails()
{
    const QString plain = m_work->filePath(QStringLiteral("plain"));
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
    const QString fakes = m_work->filePath(QStringLiteral("desktop"));
    const QString opener = placeProbe(fakes, QStringLiteral("xdg-open"));
    const ScopedVariable path("PATH", withPathFirst(fakes));

    const RunResult result = platform::runCommandLine(commandLine, ShowState::Hidden);
    QVERIFY2(result.ok, qPrintable(result.error));
    QCOMPARE(recorded(), (QStringList{opener, target}));
}

void TestProcess::explorerWithoutOpenerFails()
{
    const QString empty = m_work->filePath(QStringLiteral("empty"));
    QVERIFY(QDir().mkpath(empty));
    const ScopedVariable path("PATH", QFile::encodeName(empty));
    const RunResult result = platform::runCommandLine(QStringLiteral("explorer https://example.com/"),
                                                      ShowState::Hidden);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(ENOENT));
}

void TestProcess::editorsOpenResolvedWindowsPath_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("file"); // below the prefix's drive_c, or "@" + a working-directory name

    QTest::newRow("notepad, existing file in another case")
        << QStringLiteral("notepad.exe C:\\WINDOWS\\system32\\OEMINFO.INI")
        << QStringLiteral("windows/system32/oeminfo.ini");
    QTest::newRow("mspaint, missing file still handed over")
        << QStringLiteral("mspaint.exe C:\\WINDOWS\\system32\\OEMLOGO.BMP")
        << QStringLiteral("windows/system32/OEMLOGO.BMP");
    QTest::newRow("MSPAINT.EXE") << QStringLiteral("MSPAINT.EXE c:/windows/system32/OEMLINKICON.ICO")
                                 << QStringLiteral("windows/system32/OEMLINKICON.ICO");
    QTest::newRow("notepad with a native relative file")
        << QStringLiteral("notepad.exe notes -v.txt") << QStringLiteral("@notes -v.txt");
}

void TestProcess::editorsOpenResolvedWindowsPath()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, file);

    const QString prefix = m_work->filePath(QStringLiteral("prefix"));
    QVERIFY(makeFakePrefix(prefix, {QStringLiteral("windows/system32")}));
    QFile info(prefix + QStringLiteral("/drive_c/windows/system32/oeminfo.ini"));
    QVERIFY(info.open(QIODevice::WriteOnly));
    info.close();
    const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(prefix));

    const QString fakes = m_work->filePath(QStringLiteral("desktop"));
    const QString opener = placeProbe(fakes, QStringLiteral("xdg-open"));
    const ScopedVariable path("PATH", withPathFirst(fakes));
    const WorkingDirectoryGuard cwd(m_work->path());

    const RunResult result = platform::runCommandLine(commandLine, ShowState::NormalFocus);
    QVERIFY2(result.ok, qPrintable(result.error));
    const QString expected = file.startsWith(u'@')
        ? m_work->filePath(file.mid(1))
        : prefix + QStringLiteral("/dosdevices/c:/") + file;
    const QStringList arguments = recorded();
    QCOMPARE(arguments.size(), 2);
    QCOMPARE(arguments.first(), opener);
    QCOMPARE(QFileInfo(arguments.last()).absoluteFilePath(), QFileInfo(expected).absoluteFilePath());
    QVERIFY(QFileInfo(arguments.last()).isAbsolute());
}

void TestProcess::editorOnUnmappedDriveFails()
{
    const QString prefix = m_work->filePath(QStringLiteral("prefix"));
    QVERIFY(QDir().mkpath(prefix + QStringLiteral("/dosdevices")));
    const ScopedVariable winePrefix("WINEPREFIX", QFile::encodeName(prefix));
    const QString fakes = m_work->filePath(QStringLiteral("desktop"));
    placeProbe(fakes, QStringLiteral("xdg-open"));
    const ScopedVariable path("PATH", withPathFirst(fakes));

    const RunResult result = platform::runCommandLine(QStringLiteral("notepad.exe Q:\\notes.txt"),
                                                      ShowState::NormalFocus);
    QVERIFY(!result.ok);
    QCOMPARE(result.error, platform::describeError(ENOENT));
}

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
