#include "app/frame_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>

FramePacer::FramePacer(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    window->installEventFilter(this);
}

qint64 FramePacer::frameNs() const
{
    const QScreen *screen = m_window->screen();
    const qreal rate = screen ? screen->refreshRate() : 0;
    // Some displays report nothing useful; 60 Hz is what nearly all of them do.
    return qint64(1e9 / (rate >= 24 && rate <= 1000 ? rate : 60));
}

bool FramePacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    const qint64 frame = frameNs();
    const qint64 since = m_sinceFrame.isValid() ? m_sinceFrame.nsecsElapsed() : frame;
    if (since >= frame) {
        m_sinceFrame.start();
        m_nextFrame.stop();
        return false;
    }
    // What is dirty now stays dirty: one request at the next frame paints it all.
    if (!m_nextFrame.isActive())
        m_nextFrame.start(int((frame - since + 999'999) / 1'000'000), Qt::PreciseTimer, this);
    return true;
}

void FramePacer::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_nextFrame.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    m_nextFrame.stop();
    QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
