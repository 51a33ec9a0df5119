// The window's event loop during junk-registry runs: the longest gap between two turns of a
// 1 ms heartbeat, on a window with the real registry deleter and a real prefix.
//   cold run  Wine's server isn't running when the run starts; the run goes to its end
//   stop      a run on a warm server, stopped part-way
// Each is watched until some seconds after the run ended, so ending the helper counts too.

#include "app/main_window.h"
#include "app/startup.h"
#include "platform/line_file.h"
#include "wine_prefix.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int entryCount = 300;
constexpr int stopAfter = 100;
constexpr int afterRunMs = 4000;
constexpr double goalMs = 100;

const QString benchKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\BrisquelStall");

QString valueEntry(int i) { return benchKey + QStringLiteral("\\Value %1").arg(i); }

QString fixture()
{
    QString text = QStringLiteral("Windows Registry Editor Version 5.00\n\n[%1]\n").arg(benchKey);
    for (int i = 0; i < entryCount; ++i)
        text += QStringLiteral("\"Value %1\"=\"junk\"\n").arg(i);
    return text;
}

// Watches the event loop until `done` holds and afterRunMs more have passed; returns the
// longest gap between two heartbeats in milliseconds.
double longestGap(const std::function<bool()> &done, double *runMs, double *atMs = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    qint64 finishedAt = -1;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QEventLoop loop;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - last > longest) {
            longest = now - last;
            if (atMs)
                *atMs = double(last) / 1e6;
        }
        last = now;
        if (finishedAt < 0 && done())
            finishedAt = now;
        if (finishedAt >= 0 && now - finishedAt > qint64(afterRunMs) * 1000000)
            loop.quit();
    });
    heartbeat.start();
    loop.exec();
    *runMs = double(finishedAt) / 1e6;
    return double(longest) / 1e6;
}

int fail(const char *what)
{
    std::fprintf(stderr, "bench_stall: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    app::prepareProcess();
    QApplication app(argc, argv);

    std::printf("booting a throwaway prefix...\n");
    std::fflush(stdout);
    const test::WinePrefix prefix;
    if (!prefix.isValid())
        return fail(qPrintable(prefix.errorString()));
    if (!prefix.importReg(fixture()))
        return fail("reg import failed");
    prefix.waitForServerExit();

    QTemporaryDir work;
    QStringList entries;
    for (int i = 0; i < entryCount; ++i)
        entries.append(valueEntry(i));
    if (!work.isValid() || !platform::writeLines(work.filePath(QStringLiteral("Zcql.ini")), entries))
        return fail("no working folder");
    QDir::setCurrent(work.path());
    // PREFIXES=N (N > 1): the same run over N prefixes of a home's, found as the window finds
    // them, one helper each.
    const int prefixCount = std::max(1, qEnvironmentVariableIntValue("PREFIXES"));
    std::vector<std::unique_ptr<test::WinePrefix>> copies;
    QTemporaryDir home;
    if (prefixCount > 1) {
        qunsetenv("WINEPREFIX");
        qputenv("HOME", QFile::encodeName(home.path()));
        if (!QDir().mkpath(home.filePath(QStringLiteral(".deepinwine")))
            || !QFile::link(prefix.path(), home.filePath(QStringLiteral(".wine"))))
            return fail("no home");
        for (int i = 1; i < prefixCount; ++i) {
            copies.push_back(test::WinePrefix::copyOf(prefix));
            if (!copies.back()->isValid()
                || !QFile::link(copies.back()->path(), home.filePath(QStringLiteral(".deepinwine/p%1").arg(i))))
                return fail("copying the prefix failed");
        }
    } else {
        qputenv("WINEPREFIX", QFile::encodeName(prefix.path()));
    }
    qputenv("WINEDEBUG", "-all");

    FormServices services;
    services.showMessage = [](QWidget *, const QString &text, const QString &) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    Form1 form(services);
    form.show();
    const auto *timer = form.findChild<QTimer *>(QStringLiteral("Zcqltm"));
    const auto *status = form.findChild<QLabel *>(QStringLiteral("Zcqlwb"));
    const auto *index = form.findChild<QLineEdit *>(QStringLiteral("Zcqljd"));

    std::printf("%d prefix(es), %d value entries; watching the event loop with a 1 ms heartbeat\n", prefixCount, entryCount);
    std::fflush(stdout);
    // The window alone first: what it costs without any run.
    double idleMs = 0;
    const double idleGap = longestGap([] { return true; }, &idleMs);
    double coldMs = 0;
    double coldAt = 0;
    form.Image11_Click();
    const double coldGap = longestGap([&] { return !timer->isActive(); }, &coldMs, &coldAt);
    const bool completed = status->text() == QStringLiteral("垃圾注册表项清理完成！");
    const bool deleted = !prefix.valueExists(benchKey, QStringLiteral("Value 0"))
            && !prefix.valueExists(benchKey, QStringLiteral("Value %1").arg(entryCount - 1))
            && std::none_of(copies.begin(), copies.end(),
                            [](const auto &copy) { return copy->valueExists(benchKey, QStringLiteral("Value 0")); });

    double stopMs = 0;
    form.Image11_Click();
    const double stopGap = longestGap(
            [&] {
                if (timer->isActive() && index->text().toInt() >= stopAfter)
                    form.Label12_Click();
                return !timer->isActive();
            },
            &stopMs);

    std::printf("idle:      longest gap %.1f ms\n", idleGap);
    std::printf("cold run:  %d entries in %.0f ms, longest gap %.1f ms (at %.0f ms)\n", entryCount, coldMs, coldGap,
                coldAt);
    std::printf("stop:      stopped after %d entries at %.0f ms, longest gap %.1f ms\n", stopAfter, stopMs, stopGap);
    std::printf("run completed and deleted: %s\n", completed && deleted ? "yes" : "NO");
    std::printf("goal: no gap over %.0f ms\n", goalMs);
    std::printf("ratio: %.3f\n", std::max(coldGap, stopGap) / goalMs);
    return completed && deleted ? 0 : 1;
}
