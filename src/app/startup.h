#pragma once

namespace app {

// What has to be settled before the QApplication exists: the embedded browser's sandbox
// and how the window draws. Every program that shows the window calls it first.
void prepareProcess();

// How the web pane draws, chosen once the application exists and before any window does.
// Returns true when it draws in software.
bool chooseWebRendering();

} // namespace app
