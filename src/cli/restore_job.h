#pragma once

#include <QByteArray>

namespace cli {

class Report;

// restore: puts one of our registry backups back. `given` is the file as the command line
// named it, `resolved` that name taken from the caller's folder. Returns the exit code.
int runRestore(const QByteArray &given, const QByteArray &resolved, Report &report);

} // namespace cli
