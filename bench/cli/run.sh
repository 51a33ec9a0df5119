#!/usr/bin/env bash
# The command line's preview of 100,000 files matched by one entry, against find listing
# the same files' sizes in the same folder; then the command line's start-up on an empty
# list (median of STARTS runs, default 21).
# Usage: bench/cli/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-5}
files=${FILES:-100000}
starts=${STARTS:-21}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build brisquel-cli
ours=$(bench_binary brisquel-cli)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

# $files files of a few bytes that match, a few that don't, and a working folder whose
# junk-file list names them with one pattern; another whose list is empty.
mkdir "$work/junk" "$work/run" "$work/empty"
(cd "$work/junk" && seq -f 'junk%06g.tmp' 1 "$files" | xargs -n 5000 sh -c 'for f; do printf x >"$f"; done' sh \
  && touch keep.log keep.tmpx)
printf '%s\r\n' "$work/junk/*.tmp" >"$work/run/Wjql.ini"
: >"$work/empty/Wjql.ini"

run_ours() { "$ours" -C "$work/run" preview files; }
run_theirs() { find "$work/junk" -maxdepth 1 -name '*.tmp' -printf '%s\n'; }

# Once each, unmeasured: both meet warm caches, and the preview must list every file and
# change nothing.
run_theirs >/dev/null
if ! run_ours >"$work/out" 2>&1; then
  cat "$work/out" >&2
  echo "brisquel-cli preview failed" >&2
  exit 1
fi
listed=$(grep -c 'junk[0-9]*\.tmp' "$work/out" || true)
if (( listed != files )) || (( $(ls -f "$work/junk" | wc -l) != files + 4 )); then
  echo "the preview listed $listed of $files files, or changed the folder" >&2
  exit 1
fi

ours_times=()
theirs_times=()
for (( round = 1; round <= rounds; round++ )); do
  time_round "$round"
  echo "round $round: ours $(( ours_times[-1] / 1000 )) ms, find $(( theirs_times[-1] / 1000 )) ms"
done
ours_median=$(printf '%s\n' "${ours_times[@]}" | median)
find_median=$(printf '%s\n' "${theirs_times[@]}" | median)

startup=()
for (( start = 1; start <= starts; start++ )); do
  startup+=("$(elapsed_us "$ours" -C "$work/empty" preview files)")
done
startup_median=$(printf '%s\n' "${startup[@]}" | median)

echo
awk -v o="$ours_median" -v f="$find_median" -v s="$startup_median" -v n="$files" -v r="$rounds" -v k="$starts" 'BEGIN {
  printf "start-up on an empty list (preview files), median of %d starts: %.1f ms\n", k, s / 1000
  printf "previewing %d files matched by one pattern, median of %d rounds\n", n, r
  printf "ours (brisquel-cli preview files): %.1f ms\n", o / 1000
  printf "find -maxdepth 1 -name -printf %%s: %.1f ms\n", f / 1000
  printf "goal: ratio <= 1.10\n"
  printf "ratio: %.2f\n", o / f
}'
