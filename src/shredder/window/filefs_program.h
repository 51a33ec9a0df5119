#pragma once

#include <functional>

class FilefsWindow;

// Filefs from its command line to its end. Qt is given the program's name alone; every
// argument is a file or folder to list, after one leading "--" that the launcher puts there.
// `shown` is called once the window is shown.
int runFilefs(int argc, char **argv, const std::function<void(FilefsWindow &)> &shown = {});
