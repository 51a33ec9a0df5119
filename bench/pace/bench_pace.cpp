// The junk-file run's pace with the window on show: starts a run over the Wjql.ini of the
// working folder (one file per entry) on the junk-file page and compares its length with
// (N + 1) periods of a 1 ms precise timer, measured idle in the same process just before
// and just after the run.
#include "app/main_window.h"
#include "app/startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QWebEngineView>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// Mean gap between the timeouts of a 1 ms precise timer over `ms` milliseconds.
double timerPeriodMs(int ms)
{
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    qint64 count = 0;
    QElapsedTimer clock;
    QObject::connect(&probe, &QTimer::timeout, [&] { ++count; });
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    clock.start();
    probe.start();
    loop.exec();
    const double elapsed = clock.nsecsElapsed() / 1e6;
    return count > 0 ? elapsed / double(count) : 0.0;
}

// Processor time the window's thread has used.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    app::prepareProcess();
    QApplication application(argc, argv);
    QElapsedTimer choosing;
    choosing.start();
    const bool software = app::chooseWebRendering();
    std::printf("web pane drawn %s (chosen in %.1f ms)\n", software ? "in software" : "through OpenGL",
                choosing.nsecsElapsed() / 1e6);

    Form1 window;
    window.show();
    // Let the window map and the web pane give up on the product page.
    QEventLoop loaded;
    QObject::connect(window.findChild<QWebEngineView *>(QStringLiteral("Web")), &QWebEngineView::loadFinished,
                     &loaded, &QEventLoop::quit);
    QTimer::singleShot(5000, &loaded, &QEventLoop::quit);
    loaded.exec();
    window.Image4_Click(); // the junk-file page, where the run shows its steps
    wait(1000);

    const int entries = window.findChild<QListWidget *>(QStringLiteral("List1"))->count();
    const auto *timer = window.findChild<QTimer *>(QStringLiteral("Wjqltm"));
    const auto *runIndex = window.findChild<QLineEdit *>(QStringLiteral("Wjqljd"));

    const QStringList files = [&] {
        QStringList entries;
        const auto *list = window.findChild<QListWidget *>(QStringLiteral("List1"));
        for (int i = 0; i < list->count(); ++i)
            entries.append(list->item(i)->text());
        return entries;
    }();
    const int rounds = qMax(1, qEnvironmentVariableIntValue("ROUNDS"));
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        for (const QString &file : files)
            QFile(file).open(QIODevice::WriteOnly);
        const double before = timerPeriodMs(1000);

        // The completion steps reset the run index after stopping the timer.
        QEventLoop running;
        qint64 runNs = 0;
        QElapsedTimer clock;
        const QMetaObject::Connection done = QObject::connect(
            runIndex, &QLineEdit::textChanged, &running, [&](const QString &text) {
                if (text == QLatin1String("0") && !timer->isActive()) {
                    runNs = clock.nsecsElapsed();
                    running.quit();
                }
            });
        const double cpuBefore = threadCpuMs();
        clock.start();
        window.Image9_Click();
        running.exec();
        const double cpuMs = threadCpuMs() - cpuBefore;
        QObject::disconnect(done);

        const double after = timerPeriodMs(1000);
        const double period = (before + after) / 2;
        const double runMs = runNs / 1e6;
        ratios.push_back(runMs / ((entries + 1) * period));
        for (const QString &file : files) {
            if (QFileInfo::exists(file)) {
                std::fprintf(stderr, "the run left %s\n", qPrintable(file));
                return 1;
            }
        }
        std::printf("round %d: timer period %.4f ms before, %.4f ms after; run %.1f ms, %.4f ms per tick "
                    "(%.4f ms of it busy); ratio %.3f\n",
                    round, before, after, runMs, runMs / (entries + 1), cpuMs / (entries + 1), ratios.back());
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("%d entries, median of %d rounds\n", entries, rounds);
    std::printf("goal: ratio <= 1.15\n");
    std::printf("ratio: %.3f\n", ratios[ratios.size() / 2]);
    return 0;
}
