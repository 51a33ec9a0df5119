// 1,000 registry deletions through RegistryDeleter (one helper for the whole run) against
// 1,000 `wine reg delete ... /f` calls, on two identical prefixes with their servers running.

#include "cleanup/registry/registry_deleter.h"
#include "wine_prefix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

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
    const auto theirs = test::WinePrefix::copyOf(ours);
    if (!theirs->isValid())
        return fail(qPrintable(theirs->errorString()));
    if (!ours.keepServerRunning() || !theirs->keepServerRunning())
        return fail("wineserver -p failed");
    if (!ours.valueExists(keyOf(victim(0)), valueOf(victim(0)))
        || !theirs->valueExists(keyOf(victim(0)), valueOf(victim(0))))
        return fail("the fixture is missing");

    std::printf("%d values in %d keys; deleting %d of them each way\n", valueCount,
                valueCount / valuesPerKey, deleteCount);
    std::fflush(stdout);

    cleanup::registry::RegistryDeleter deleter(
            QCoreApplication::applicationDirPath() + QStringLiteral("/brisquel-regdel.exe"), ours.path());
    QElapsedTimer timer;
    timer.start();
    int oursDeleted = 0;
    for (int n = 0; n < deleteCount; ++n)
        oursDeleted += deleter.remove(keyOf(victim(n)) + u'\\' + valueOf(victim(n))) ? 1 : 0;
    deleter.runFinished();
    const double oursMs = double(timer.nsecsElapsed()) / 1e6;

    timer.restart();
    int theirsDeleted = 0;
    for (int n = 0; n < deleteCount; ++n) {
        const int code = theirs->wine({QStringLiteral("reg"), QStringLiteral("delete"), keyOf(victim(n)),
                                       QStringLiteral("/v"), valueOf(victim(n)), QStringLiteral("/f")});
        theirsDeleted += code == 0 ? 1 : 0;
        if (code != 0)
            std::printf("wine reg delete %d failed: %s\n", n, theirs->lastErrorOutput().constData());
    }
    const double theirsMs = double(timer.nsecsElapsed()) / 1e6;

    // Both ways must have left the same registry behind.
    const QByteArray oursLeft = ours.exportKey(benchKey);
    const QByteArray theirsLeft = theirs->exportKey(benchKey);
    const bool same = !oursLeft.isEmpty() && oursLeft == theirsLeft;

    const double oursPer = oursMs / deleteCount;
    const double theirsPer = theirsMs / deleteCount;
    std::printf("RegistryDeleter:  %d of %d deleted, %.0f ms, %.3f ms per entry\n", oursDeleted, deleteCount,
                oursMs, oursPer);
    std::printf("wine reg delete:  %d of %d deleted, %.0f ms, %.3f ms per entry\n", theirsDeleted, deleteCount,
                theirsMs, theirsPer);
    std::printf("registries left identical: %s\n", same ? "yes" : "NO");
    std::printf("goals: ratio <= 0.05, under 3 ms per entry\n");
    std::printf("ratio: %.4f\n", oursPer / theirsPer);
    return oursDeleted == deleteCount && theirsDeleted == deleteCount && same ? 0 : 1;
}
