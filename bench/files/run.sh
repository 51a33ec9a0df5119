#!/usr/bin/env bash
# Deleting 100,000 matching files with one entry, against find doing the same job; then
# saving and loading a full-length list file.
# Usage: bench/files/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-5}
files=${FILES:-100000}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_delete bench_lines

ours=$(bench_binary bench_delete)
lines=$(bench_binary bench_lines)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-files.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Two identical folders per round: $files empty files that match, and a few that don't.
populate() {
  mkdir "$1"
  (cd "$1" && seq -f 'junk%06g.tmp' 1 "$files" | xargs touch && touch keep.log keep.tmpx)
}

check_left() {
  local left
  left=$(ls -A "$1" | sort | tr '\n' ' ')
  if [[ $left != "keep.log keep.tmpx " ]]; then
    echo "wrong files left in $1: ${left:0:200}" >&2
    exit 1
  fi
}


run_ours() { "$ours" "$work/ours/*.tmp"; }
run_theirs() { find "$work/find" -maxdepth 1 -name '*.tmp' -delete; }
ours_times=()
theirs_times=()
for (( round = 1; round <= rounds; round++ )); do
  populate "$work/ours"
  populate "$work/find"
  sync
  time_round "$round"
  check_left "$work/ours"
  check_left "$work/find"
  echo "round $round: ours $(( ours_times[-1] / 1000 )) ms, find $(( theirs_times[-1] / 1000 )) ms"
  rm -rf "$work/ours" "$work/find"
done

ours_median=$(printf '%s\n' "${ours_times[@]}" | median)
find_median=$(printf '%s\n' "${theirs_times[@]}" | median)

echo
echo "line files (platform::writeLines / platform::readLines):"
"$lines"

echo
awk -v o="$ours_median" -v f="$find_median" -v n="$files" -v r="$rounds" 'BEGIN {
  printf "deleting %d files by one pattern, median of %d rounds\n", n, r
  printf "ours: %.1f ms\n", o / 1000
  printf "find -maxdepth 1 -name -delete: %.1f ms\n", f / 1000
  printf "goal: ratio <= 1.05\n"
  printf "ratio: %.2f\n", o / f
}'
