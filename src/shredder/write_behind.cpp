#include "shredder/write_behind.h"

#include "platform/storage_calls.h"

namespace shredder {

int WriteBehind::wrote(int fd, std::uint64_t end)
{
    const std::uint64_t window = m_calls ? m_calls->window : WriteBackCalls::defaultWindow;
    if (end < m_started + window)
        return 0;
    if (m_started >= m_from + window) {
        const std::uint64_t from = m_started - window;
        const int error = m_calls && m_calls->finish ? m_calls->finish(fd, from, window)
                                                     : platform::finishWriteBack(fd, from, window);
        if (error)
            return error;
    }
    const std::uint64_t length = end - m_started;
    const int error = m_calls && m_calls->start ? m_calls->start(fd, m_started, length)
                                                : platform::startWriteBack(fd, m_started, length);
    m_started = end;
    return error;
}

} // namespace shredder
