# Shared by the benchmark scripts (sourced): the repository, the build folder given as the
# first argument (default build/, configured if it isn't yet), ROUNDS checked, bench_build
# to build the targets a benchmark runs, bench_binary to find a built program, median, and
# elapsed_us / time_round to time our program against its peer.
here=$(cd "$(dirname "${BASH_SOURCE[1]}")" && pwd)
repo=$(cd "$here/../.." && pwd)
build=${1:-$repo/build}

if (( rounds < 3 )); then
  echo "ROUNDS must be at least 3" >&2
  exit 2
fi

source "$repo/tools/common.sh"
configure_build_once "$build"
build=$(cd "$build" && pwd)

bench_build() {
  cmake --build "$build" --target "$@" -j2 >/dev/null
}

# bench_binary NAME: the path of the built program NAME, in bin/ or wherever the generator
# put it; fails when there is none.
bench_binary() {
  local path=$build/bin/$1
  [[ -x $path ]] || path=$(find "$build" -name "$1" -type f -perm -u+x -print -quit)
  if [[ -z $path ]]; then
    echo "$1 not found under $build" >&2
    return 1
  fi
  echo "$path"
}

# The median of the numbers on standard input, one a line.
median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Wall time of one command in microseconds; its output is dropped.
elapsed_us() {
  local start end
  start=$EPOCHREALTIME
  "$@" >/dev/null
  end=$EPOCHREALTIME
  echo $(( 10#${end/[.,]/} - 10#${start/[.,]/} ))
}

# time_round ROUND: times the script's run_ours and run_theirs into ours_times and
# theirs_times, alternating who goes first so that neither always meets a warmer cache.
time_round() {
  if (( $1 % 2 )); then
    ours_times+=("$(elapsed_us run_ours)")
    theirs_times+=("$(elapsed_us run_theirs)")
  else
    theirs_times+=("$(elapsed_us run_theirs)")
    ours_times+=("$(elapsed_us run_ours)")
  fi
}
