#pragma once

#include <QByteArray>

namespace cli {

class Report;

// restore: puts one of our registry backups back. Returns the exit code.
int runRestore(const QByteArray &file, Report &report);

} // namespace cli
