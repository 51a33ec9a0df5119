#!/bin/sh
# Registry benchmarks: RegistryDeleter against `wine reg delete`, then the window's longest
# event-loop stall during registry runs (offscreen).
# Usage: bench/registry/run.sh <build folder>. Takes a few minutes (the reg delete side).
set -eu
build=${1:?usage: $0 <build folder>}
cmake --build "$build" --target bench_registry bench_stall brisquel_regdel
export WINEDEBUG=-all
QT_QPA_PLATFORM=offscreen "$build/bin/bench_stall"
# The same over five prefixes of a home's, one helper each.
PREFIXES=5 QT_QPA_PLATFORM=offscreen "$build/bin/bench_stall"
exec "$build/bin/bench_registry"
