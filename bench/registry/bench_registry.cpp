// 1,000 registry deletions through RegistryDeleter (one helper for the whole run), with and
// without its backup file, against 1,000 `wine reg delete ... /f` calls, on three identical
// prefixes with their servers running.

#include "cleanup/registry/registry_deleter.h"
#include "wine_prefix.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int valueCount = 2000;
constexpr int deleteCount = 1000;
constexpr int valuesPerKey = 100;

const QString benchKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\BrisquelBench");

QString keyOf(int i) { return benchKey + QStringLiteral("\\Key%1").arg(i / valuesPerKey, 2, 10, QChar(u'0')); }
QString valueOf(int i) { return QStringLiteral("Value %1").arg(i, 4, 10, QChar(u'0')); }

QString fixture()
{
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\n");
    for (int i = 0; i < valueCount; ++i) {
        if (i % valuesPerKey == 0)
            text += QStringLiteral("\n[%1]\n").arg(keyOf(i));
        text += QStringLiteral("\"%1\"=\"junk\"\n").arg(valueOf(i));
    }
    return text;
}

// Every other value, so each deletion has live neighbours.
int victim(int n) { return 2 * n + 1; }

struct Timed
{
    int deleted = 0;
    double ms = 0;
};

// One run of RegistryDeleter over the victims; an empty folder makes no backups.
Timed runDeleter(const QString &prefix, const QString &backupFolder)
{
    cleanup::registry::RegistryDeleter deleter(
            QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe"), prefix);
    deleter.setBackupFolder(backupFolder);
    Timed result;
    QElapsedTimer timer;
    timer.start();
    deleter.runStarted();
    for (int n = 0; n < deleteCount; ++n)
        result.deleted += deleter.remove(keyOf(victim(n)) + u'\\' + valueOf(victim(n))) ? 1 : 0;
    deleter.runFinished();
    result.ms = double(timer.nsecsElapsed()) / 1e6;
    return result;
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench_registry: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    std::printf("booting a throwaway prefix...\n");
    std::fflush(stdout);
    test::WinePrefix ours;
    if (!ours.isValid())
        return fail(qPrintable(ours.errorString()));
    if (!ours.importReg(fixture()))
        return fail("reg import failed");
    ours.waitForServerExit();
    const auto plain = test::WinePrefix::copyOf(ours);
    const auto theirs = test::WinePrefix::copyOf(ours);
    if (!plain->isValid() || !theirs->isValid())
        return fail("copying the prefix failed");
    if (!ours.keepServerRunning() || !plain->keepServerRunning() || !theirs->keepServerRunning())
        return fail("wineserver -p failed");
    if (!ours.valueExists(keyOf(victim(0)), valueOf(victim(0)))
        || !theirs->valueExists(keyOf(victim(0)), valueOf(victim(0))))
        return fail("the fixture is missing");

    std::printf("%d values in %d keys; deleting %d of them each way\n", valueCount,
                valueCount / valuesPerKey, deleteCount);
    std::fflush(stdout);

    QTemporaryDir backups;
    if (!backups.isValid())
        return fail("no temporary folder");
    const Timed withBackup = runDeleter(ours.path(), backups.path());
    const Timed withoutBackup = runDeleter(plain->path(), QString());
    const QFileInfoList backupFiles = QDir(backups.path()).entryInfoList(QDir::Files);

    QElapsedTimer timer;
    timer.start();
    int theirsDeleted = 0;
    for (int n = 0; n < deleteCount; ++n) {
        const int code = theirs->wine({QStringLiteral("reg"), QStringLiteral("delete"), keyOf(victim(n)),
                                       QStringLiteral("/v"), valueOf(victim(n)), QStringLiteral("/f")});
        theirsDeleted += code == 0 ? 1 : 0;
        if (code != 0)
            std::printf("wine reg delete %d failed: %s\n", n, theirs->lastErrorOutput().constData());
    }
    const double theirsMs = double(timer.nsecsElapsed()) / 1e6;

    // Every way must have left the same registry behind.
    const QByteArray theirsLeft = theirs->exportKey(benchKey);
    const bool same = !theirsLeft.isEmpty() && ours.exportKey(benchKey) == theirsLeft
            && plain->exportKey(benchKey) == theirsLeft;

    const double withPer = withBackup.ms / deleteCount;
    const double withoutPer = withoutBackup.ms / deleteCount;
    const double theirsPer = theirsMs / deleteCount;
    std::printf("RegistryDeleter with backup:     %d of %d deleted, %.0f ms, %.3f ms per entry, %lld-byte backup\n",
                withBackup.deleted, deleteCount, withBackup.ms, withPer,
                backupFiles.size() == 1 ? backupFiles.first().size() : -1LL);
    std::printf("RegistryDeleter without backup:  %d of %d deleted, %.0f ms, %.3f ms per entry\n",
                withoutBackup.deleted, deleteCount, withoutBackup.ms, withoutPer);
    std::printf("wine reg delete:                 %d of %d deleted, %.0f ms, %.3f ms per entry\n", theirsDeleted,
                deleteCount, theirsMs, theirsPer);
    std::printf("registries left identical: %s\n", same ? "yes" : "NO");
    std::printf("ratio without backup: %.4f\n", withoutPer / theirsPer);
    std::printf("goals: ratio <= 0.05 with backups on, under 3 ms per entry\n");
    std::printf("ratio: %.4f\n", withPer / theirsPer);
    const bool allDeleted = withBackup.deleted == deleteCount && withoutBackup.deleted == deleteCount
            && theirsDeleted == deleteCount;
    return allDeleted && same && backupFiles.size() == 1 ? 0 : 1;
}
