#include "cli/progress.h"

#include "cli/console.h"
#include "cli/report.h"
#include "shredder/window/shred_texts.h"

namespace cli {

Progress::Progress(bool enabled) : m_enabled(enabled && isTerminal(Stream::Error))
{
    m_started.start();
}

Progress::~Progress()
{
    clear();
}

void Progress::update(const QString &verb, qint64 items, qint64 bytes, double share)
{
    if (!m_enabled)
        return;
    const qint64 now = m_started.elapsed();
    if (now < 500 || now - m_lastDraw < 100)
        return;
    m_lastDraw = now;
    const double seconds = double(now) / 1000.0;
    QString line = QStringLiteral("%1 %2 项，%3，%4/秒")
                       .arg(verb, countText(items), sizeText(bytes), sizeText(qint64(double(bytes) / seconds)));
    if (share > 0.0 && share <= 1.0)
        line += QStringLiteral("，剩余%1").arg(shredder::texts::durationText(qint64(seconds * (1.0 - share) / share)));
    write(Stream::Error, QStringLiteral("\r%1\x1b[K").arg(line));
    m_shown = true;
}

void Progress::clear()
{
    if (m_shown)
        write(Stream::Error, QByteArray("\r\x1b[K"));
    m_shown = false;
}

} // namespace cli
