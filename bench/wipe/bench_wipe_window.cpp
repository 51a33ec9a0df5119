// The shredder window's event loop while it wipes a file system's free space: the longest
// gap between two turns of a 1 ms heartbeat, from the click on start until the wipe is done.
//   bench_wipe_window MOUNT_POINT
#include "shredder/window/filefs_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr double goalMs = 100;

// Runs the event loop until `done` holds or `limitMs` have passed.
bool waitFor(const std::function<bool()> &done, int limitMs)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MOUNT_POINT\n", argv[0]);
        return 2;
    }
    const QString mountPoint = QString::fromLocal8Bit(argv[1]);
    FilefsWindow window({{}, [](QWidget *, const QString &, const QString &) { return true; }, {}});
    window.show();
    // The window first looks for what an interrupted wipe left, then lists the file systems.
    const auto idle = [&] { return !window.isBusy(); };
    if (!waitFor(idle, 30000))
        return 1;
    window.findChild<QPushButton *>("wipeButton")->click();
    auto *list = window.findChild<QTreeWidget *>("fileSystemList");
    if (!list || !waitFor(idle, 30000))
        return 1;
    const QList<QTreeWidgetItem *> rows = list->findItems(mountPoint, Qt::MatchExactly);
    if (rows.size() != 1) {
        std::fprintf(stderr, "%s is not among the file systems listed\n", argv[1]);
        return 1;
    }
    list->setCurrentItem(rows[0]);

    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    heartbeat.start(1);
    window.findChild<QPushButton *>("wipeStartButton")->click();
    const bool finished = waitFor(idle, 600000);
    heartbeat.stop();
    std::printf("%s\n", qPrintable(window.findChild<QLabel *>("wipeResultLabel")->text()));
    if (!finished)
        return 1;
    std::printf("window during the wipe: %.1f s, longest event-loop gap %.1f ms (goal <= %.0f ms)\n",
                double(clock.nsecsElapsed()) / 1e9, double(longest) / 1e6, goalMs);
    return 0;
}
