# Shared by the benchmark scripts (sourced): the repository, the build folder given as the
# first argument (default build/, configured if it isn't yet), ROUNDS checked, and
# bench_build to build the targets a benchmark runs.
here=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build}

if (( rounds < 3 )); then
  echo "ROUNDS must be at least 3" >&2
  exit 2
fi

if [[ ! -f $build/CMakeCache.txt ]]; then
  generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S "$repo" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
build=$(cd "$build" && pwd)

bench_build() {
  cmake --build "$build" --target "$@" -j2 >/dev/null
}
