#pragma once

#include <QString>

namespace platform {

// A description of a failed system call for the user: Chinese for the failures people
// meet every day (not found, permission denied, disk full, read-only, in use), the
// system's own text otherwise.
QString describeError(int systemError);

} // namespace platform
