#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>

class QWidget;

// Paints a window at most once per screen refresh. A run changes its status and progress
// bar every millisecond; painting each change would cost far more than the change itself,
// above all where the window is composited in software. The controls still change at
// once; only the painting of what changed waits for the next frame, and then shows it all.
class FramePacer : public QObject
{
public:
    explicit FramePacer(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    qint64 frameNs() const;

    QWidget *m_window;
    QElapsedTimer m_sinceFrame;
    QBasicTimer m_nextFrame;
};
