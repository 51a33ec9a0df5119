#pragma once

#include "cli/arguments.h"

#include <QByteArray>
#include <QByteArrayList>

namespace cli {

class Report;

// shred and wipe: look first, say what can't be promised, ask (or take -y), then destroy.
// Return the exit code.
int runShred(const Arguments &arguments, const QByteArrayList &paths, Report &report);
int runWipe(const Arguments &arguments, const QByteArray &path, Report &report);

} // namespace cli
