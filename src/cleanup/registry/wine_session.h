#pragma once

// Linux only: what a run may do to a Wine prefix's own processes and files. A run must leave
// a Wine session it found running, end the one it started (its wineserver and services stay
// behind otherwise, and a service unit waits for them), and never let the system's Wine bring
// up to date a prefix another Wine build made.

#include <QString>
#include <QtGlobal>

#include <optional>

namespace cleanup::registry {

// The process id of the prefix's running wineserver, found through the lock it holds in its
// server folder (/tmp/<folder named in the prefix's "wineserver" file>, or /tmp/.wine-<uid>,
// then server-<dev>-<ino>). Asking for the lock holder changes nothing and, unlike a
// connection to its socket, doesn't keep the server alive. Nothing when none runs.
std::optional<qint64> wineServerProcess(const QString &prefix);

// Asks the prefix's wineserver, the one beside `loader`, to end every Wine process of the
// prefix and itself (wineserver -k), without waiting for it.
bool endWineServer(const QString &prefix, const QString &loader);

// Waits up to `ms` until the prefix's wineserver is gone, and with it every process of the
// prefix run by the Wine at `loader` (they leave once their server is gone); whether they are.
bool waitForWineServerEnd(const QString &prefix, const QString &loader, int ms);

// Why the Wine run by `loader` must not start in `prefix`: it would update the prefix
// (wineboot --update rewrites its system folder) because the prefix's .update-timestamp is
// missing or isn't the one this Wine writes, as with a prefix made by another Wine build
// (Proton, deepin-wine). Nothing when the prefix is this Wine's or its updates are disabled,
// or when there is no Wine at `loader` to start.
std::optional<QString> otherWineBuild(const QString &prefix, const QString &loader);

} // namespace cleanup::registry
