#!/usr/bin/env bash
# Registry benchmarks: RegistryDeleter against `wine reg delete`, then the window's longest
# event-loop stall during registry runs (offscreen).
# Usage: bench/registry/run.sh <build folder> (configured if it isn't yet). Takes a few
# minutes (the reg delete side).
set -euo pipefail
build=${1:?usage: $0 <build folder>}
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/common.sh"
configure_build_once "$build"
cmake --build "$build" --target bench_registry bench_stall brisquel_regdel
export WINEDEBUG=-all
QT_QPA_PLATFORM=offscreen "$build/bin/bench_stall"
# The same over five prefixes of a home's, one helper each.
PREFIXES=5 QT_QPA_PLATFORM=offscreen "$build/bin/bench_stall"
exec "$build/bin/bench_registry"
