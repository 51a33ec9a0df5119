#pragma once

#include <QString>
#include <QStringView>

namespace sysinfo {

// The value of an environment variable, its name matched without regard to case (an
// exact-case match wins when several spellings are set). A variable that is set but
// empty gives the empty text. Where one of the page's facts is unset, the system's own
// answer stands in: "os" gives the kernel's name, "computername" the host name,
// "username" the account the program runs as and "systemdrive" the root file system "/".
// Any other unset name gives the empty text.
QString environmentValue(QStringView name);

} // namespace sysinfo
