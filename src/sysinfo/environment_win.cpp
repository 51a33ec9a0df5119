#include "sysinfo/environment_stand_in.h"

namespace sysinfo::detail {

// Windows always sets the page's variables; an unset one stays empty, as it shows there.
QString environmentStandIn(QStringView)
{
    return {};
}

} // namespace sysinfo::detail
