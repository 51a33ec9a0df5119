#pragma once

#include <thread>

namespace app {

// What has to be settled before the QApplication exists: the embedded browser's sandbox
// and how the window draws. Every program that shows the window calls it first.
void prepareProcess();

// How the web pane draws, chosen once the application exists and before any window does.
// Returns true when it draws in software.
bool chooseWebRendering();

// Start-up work that needs neither the application nor the window, begun before the
// application object so that it runs beside the embedded browser's own start-up. Joined
// when it goes away.
class EarlyWork
{
public:
    EarlyWork();
    ~EarlyWork();
    EarlyWork(const EarlyWork &) = delete;
    EarlyWork &operator=(const EarlyWork &) = delete;

private:
    std::thread m_thread;
};

} // namespace app
