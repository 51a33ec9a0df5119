#pragma once

#include <QElapsedTimer>
#include <QString>

namespace cli {

// One line on stderr, redrawn at most ten times a second, for work that takes a while; only
// when stderr is a terminal, and not before the work has run for half a second.
class Progress
{
public:
    explicit Progress(bool enabled);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // `verb` names what the items went through ("已删除"); `share` is the part of the work
    // done, 0..1, or negative when it can't be told.
    void update(const QString &verb, qint64 items, qint64 bytes, double share);
    // Takes the line away again, so results print on a clean line.
    void clear();

private:
    bool m_enabled;
    bool m_shown = false;
    QElapsedTimer m_started;
    qint64 m_lastDraw = -1000;
};

} // namespace cli
