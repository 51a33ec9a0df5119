#pragma once

#include "cli/arguments.h"

namespace cli {

class Report;

// preview and clean: reads the lists of the working folder, then looks up or deletes each
// entry the way the window's runs do. Returns the exit code.
int runLists(const Arguments &arguments, Report &report);

} // namespace cli
