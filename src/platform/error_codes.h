#pragma once

// The errno codes, with the few the shredder reports that Windows' C runtime lacks given
// Winsock's numbers for the same conditions, so they never clash with its own codes.

#include <cerrno>

#ifndef ESTALE
#define ESTALE 10070
#endif
#ifndef EDQUOT
#define EDQUOT 10069
#endif
