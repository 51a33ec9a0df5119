#pragma once

#include <QString>

namespace sysinfo {

// A figure as the page shows it: at most 15 significant digits, no grouping, never an
// exponent, no trailing zeros, no separator for whole numbers, and the decimal separator
// of the user's locale. 5120, 953.67431640625, 117.737568855286.
QString generalNumber(double value);

// The value after a trip through its 15-digit text form and back. Drive sizes pass
// through it before they are summed, so each counts with at most 15 significant digits
// (exact for every size below 10^15 bytes).
double throughTextForm(double value);

} // namespace sysinfo
