#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// A folder holding a file named "--platformpluginpath", a folder "0evil" with a plugin and
// "a.txt", given to Filefs as `*` expands: three files to list, and no plugin loaded.
class TestFilefsArguments : public QObject
{
    Q_OBJECT
private slots:
    void fileNamesAreNoQtOptions_data();
    void fileNamesAreNoQtOptions();
};

void TestFilefsArguments::fileNamesAreNoQtOptions_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("as `Filefs *` gives them") << "relative" << false;
    QTest::newRow("folder named in full") << "absolute" << false; // as the launcher once passed them
    QTest::newRow("after the launcher's marker") << "marker" << false;
    // The stand-in is a plugin Qt does load, from where Qt is meant to be told of one.
    QTest::newRow("plugin path from the environment") << "environment" << true;
}

void TestFilefsArguments::fileNamesAreNoQtOptions()
{
    QFETCH(QString, how);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    const QString folder = dir.filePath("folder");
    QVERIFY(QDir().mkpath(folder + "/0evil"));
    for (const QString name : {"--platformpluginpath", "a.txt"})
        QVERIFY(QFile(folder + '/' + name).open(QIODevice::WriteOnly));
    QVERIFY(QFile::copy(PLANTED_PLUGIN, folder + "/0evil/libplanted.so"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PLANTED_PLUGIN_MARK", dir.filePath("mark"));
    env.insert("QT_QPA_PLATFORMTHEME", "planted"); // as a desktop's name makes Qt ask for its theme
    if (how == "environment")
        env.insert("QT_QPA_PLATFORM_PLUGIN_PATH", folder + "/0evil");
    QStringList arguments{"--platformpluginpath", "0evil", "a.txt"};
    if (how == "absolute" || how == "marker")
        arguments = QStringList{"--platformpluginpath", folder + "/0evil", folder + "/a.txt"};
    if (how == "marker")
        arguments = QStringList{"--", folder + "/--platformpluginpath"} + arguments.mid(1);
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder);
    process.start(LISTING_PROBE, arguments);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitCode(), 0);

    QCOMPARE(QFile::exists(dir.filePath("mark")), loaded);
    const QString listed = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(listed, QStringLiteral("%1/--platformpluginpath\n%1/0evil\n%1/a.txt\n").arg(folder));
}

QTEST_GUILESS_MAIN(TestFilefsArguments)
#include "test_filefs_arguments.moc"
