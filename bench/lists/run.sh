#!/usr/bin/env bash
# The shipped Wjql.ini over a home holding 50,000 thumbnails and 20,000 temp files in its Wine
# prefix, against find deleting the same files from the same folders.
# Usage: bench/lists/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-5}
thumbnails=${THUMBNAILS:-50000}
temps=${TEMPS:-20000}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_list_run
ours=$(bench_binary bench_list_run)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-lists.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A home with the junk, a person's files beside it, and a prefix whose hives name its temp folder.
populate() {
  local home=$1 prefix=$1/.wine
  mkdir -p "$home/.cache/thumbnails/normal" "$home/.cache/thumbnails/large" "$home/Pictures" \
    "$prefix/drive_c/users/me/Temp" "$prefix/dosdevices"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  printf 'WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion] 1\n"SystemRoot"="C:\\\\windows"\n\n' \
    >"$prefix/system.reg"
  printf 'WINE REGISTRY Version 2\n\n[Environment] 1\n"TEMP"="C:\\\\users\\\\me\\\\Temp"\n\n' >"$prefix/user.reg"
  (cd "$home/.cache/thumbnails/normal" && seq -f '%032g.png' 1 $(( thumbnails / 2 )) | xargs touch)
  (cd "$home/.cache/thumbnails/large" && seq -f '%032g.png' 1 $(( thumbnails - thumbnails / 2 )) | xargs touch)
  (cd "$prefix/drive_c/users/me/Temp" && seq -f '~DF%05g.tmp' 1 "$temps" | xargs touch)
  touch "$home/Pictures/photo.png"
}

check_left() {
  local left
  left=$(find "$1" -type f ! -name '*.reg' | wc -l)
  if [[ $left != 1 || ! -e $1/Pictures/photo.png ]]; then
    echo "wrong files left in $1: $left" >&2
    exit 1
  fi
}


run_ours() {
  env -u WINEPREFIX -u XDG_CACHE_HOME -u XDG_CONFIG_HOME HOME="$work/ours" "$ours" "$repo/data/Wjql.ini"
}
run_theirs() {
  find "$work/find/.cache/thumbnails/normal" "$work/find/.cache/thumbnails/large" \
    "$work/find/.wine/drive_c/users/me/Temp" -maxdepth 1 -type f -delete
}

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
awk -v o="$ours_median" -v f="$find_median" -v t="$thumbnails" -v p="$temps" -v r="$rounds" 'BEGIN {
  printf "the shipped Wjql.ini over %d thumbnails and %d temp files, median of %d rounds\n", t, p, r
  printf "ours: %.1f ms\n", o / 1000
  printf "find -maxdepth 1 -type f -delete: %.1f ms\n", f / 1000
  printf "goal: ratio <= 1.05\n"
  printf "ratio: %.2f\n", o / f
}'
