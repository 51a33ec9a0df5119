#!/bin/sh
# Registry deletion benchmark: RegistryDeleter against `wine reg delete`.
# Usage: bench/registry/run.sh <build folder>. Takes about a minute (the reg delete side).
set -eu
build=${1:?usage: $0 <build folder>}
cmake --build "$build" --target bench_registry brisquel_regdel
export WINEDEBUG=-all
exec "$build/bin/bench_registry"
