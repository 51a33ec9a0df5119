#include "sysinfo/environment.h"

#include "sysinfo/environment_stand_in.h"

#include <QProcessEnvironment>

namespace sysinfo {

QString environmentValue(QStringView name)
{
    if (name.isEmpty())
        return {};
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString exact = name.toString();
    if (environment.contains(exact))
        return environment.value(exact);
    // Keys come sorted, so the pick among several spellings is always the same one.
    const QStringList keys = environment.keys();
    for (const QString &key : keys) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return environment.value(key);
    }
    return detail::environmentStandIn(name.toString().toLower());
}

} // namespace sysinfo
