#pragma once

namespace platform {

// True when the program runs with the administrator's rights (uid 0 on Linux).
bool runningAsRoot();

} // namespace platform
