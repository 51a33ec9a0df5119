#pragma once

#include <thread>

class QApplication;

namespace app {

// What has to be settled before the QApplication exists: the embedded browser's sandbox
// and how the window draws. Every program that shows the window calls it first.
void prepareProcess();

// How the web pane draws, chosen once the application exists and before any window does.
// Returns true when it draws in software.
bool chooseWebRendering();

// Everything the program does between creating the application and creating its window:
// the pictures read ahead, the web pane's drawing, the names and the Chinese translations.
// In prepare_application.cpp.
void prepareApplication(QApplication &app);

// Start-up work that needs neither the application nor the window, begun before the
// application object so that it runs beside the application's construction and the
// embedded browser's own start-up. Joined when it goes away.
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
