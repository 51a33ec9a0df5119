#pragma once

#include <cstdint>
#include <functional>

namespace shredder {

// The write-back calls a WriteBehind makes, and its window. The shredder's tests stand in
// for them to play a device that fails at a chosen window.
struct WriteBackCalls
{
    using Call = std::function<int(int fd, std::uint64_t from, std::uint64_t length)>;

    static constexpr std::uint64_t defaultWindow = std::uint64_t(64) << 20;

    Call start;  // platform::startWriteBack when empty
    Call finish; // platform::finishWriteBack when empty
    std::uint64_t window = defaultWindow;
};

// Sends a file's new pages to the device while the next ones are written through the page
// cache, and waits once they are a window behind: the disk works while the writer does, the
// sync at the end of a pass finds little left, and dirty pages never pile up for a cancel or
// the rest of the system to wait on. Waiting takes the file's write error for itself, so
// every call's error is handed back.
class WriteBehind
{
public:
    // Writing goes on in order from `from`: a new file, pass or stretch of data. `calls`
    // must outlive this; the system's own calls when null.
    explicit WriteBehind(std::uint64_t from = 0, const WriteBackCalls *calls = nullptr)
        : m_calls(calls), m_from(from), m_started(from)
    {
    }
    // The file holds new data from `from` up to `end`. 0, or the errno of a write-back that
    // failed: the data written is then not known to be on the device.
    int wrote(int fd, std::uint64_t end);

private:
    const WriteBackCalls *m_calls;
    std::uint64_t m_from;
    std::uint64_t m_started; // write-back asked for up to here
};

} // namespace shredder
