#pragma once

namespace platform {

// Loads the OpenGL driver as the system's own loader will load it for the process's first
// OpenGL context, so that a program can have that linking (tens of milliseconds where
// the driver brings LLVM) done on a thread of its own while it starts. Only where the
// driver is known without asking the display: Mesa's, which ships the drivers of every
// chip and its software one as a single library under several names. Loaded libraries
// stay until exit, as they would anyway. Returns whether the driver is now loaded.
bool loadGraphicsDriverAhead();

} // namespace platform
