#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

// Prints the wall-clock time (microseconds) at which `window`'s first frame has been painted
// and handed to the display, and the processor time its thread has used until then (ms); then ends
// the program `lingerMs` later, so that work done just after the first paint still counts
// towards its peak memory.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, int lingerMs)
        : QObject(window)
        , m_lingerMs(lingerMs)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched == parent()) {
            watched->removeEventFilter(this);
            // The window paints its controls and then hands the frame to the display, all
            // before the event loop turns again.
            QTimer::singleShot(0, this, [this] {
                timespec now{};
                clock_gettime(CLOCK_REALTIME, &now);
                std::printf("painted: %lld\n", static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
                timespec cpu{};
                clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
                std::printf("cpu: %lld\n", static_cast<long long>(cpu.tv_sec) * 1000 + cpu.tv_nsec / 1000000);
                std::fflush(stdout);
                QTimer::singleShot(m_lingerMs, qApp, &QCoreApplication::quit);
            });
        }
        return false;
    }

private:
    int m_lingerMs;
};
