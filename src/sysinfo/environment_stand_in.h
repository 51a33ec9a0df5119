#pragma once

#include <QString>
#include <QStringView>

namespace sysinfo::detail {

// What stands in for an unset variable on this system; empty when nothing does.
// `lowerName` is in lower case.
QString environmentStandIn(QStringView lowerName);

} // namespace sysinfo::detail
