#!/usr/bin/env bash
# Overwriting and removing files with Filefs's core against GNU shred, in one run:
# one 512 MiB file with 1 pass and with 3 passes, and 10,000 small files with 3 passes
# (shred -u's default). And the disk's own speed: one pass over 512 MiB against dd
# overwriting the file in place from a random file held in the page cache, with our removal
# timed apart.
# Each case alternates who goes first; medians of ROUNDS rounds.
# The files live in the build folder, on a real disk, never on tmpfs.
# Usage: nice bench/shredder/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-3}
big_mib=${BIG_MIB:-512}
small_files=${SMALL_FILES:-10000}
small_size=${SMALL_SIZE:-3000}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_shredder
ours=$(bench_binary bench_shredder)

work=$(mktemp -d "$build/bench-shredder.XXXXXX")
trap 'rm -rf "$work"' EXIT
fs_type=$(stat -f -c %T "$work")
if [[ $fs_type == tmpfs || $fs_type == ramfs ]]; then
  echo "$work is on $fs_type: put the build folder on a disk" >&2
  exit 1
fi

# Wall time of one command in microseconds; our program's peak memory goes to $rss_file.
rss_file=$work/rss
elapsed_us() {
  local start end
  start=$EPOCHREALTIME
  "$@" >"$rss_file.out"
  end=$EPOCHREALTIME
  grep -h '^peak_rss_kib:' "$rss_file.out" >>"$rss_file" || true
  grep -h '^removal_us:' "$rss_file.out" | cut -d' ' -f2 >"$work/removal" || true
  echo $(( 10#${end/[.,]/} - 10#${start/[.,]/} ))
}

make_big() { dd if=/dev/urandom of="$1" bs=1M count="$big_mib" status=none; }
make_small() { mkdir "$1" && "$ours" --populate "$1" "$small_files" "$small_size"; }

check_gone() {
  if [[ -n $(find "$1" -mindepth 1 ! -type d -print -quit) ]]; then
    echo "files left in $1" >&2
    exit 1
  fi
}

# run_case NAME big|small PASSES: the medians of one case and our peak memory.
declare -A result
run_case() {
  local name=$1 kind=$2 passes=$3
  local ours_times=() theirs_times=() overwrite_times=() round
  : >"$rss_file"
  for (( round = 1; round <= rounds; round++ )); do
    mkdir "$work/ours" "$work/theirs"
    if [[ $kind != small ]]; then
      make_big "$work/ours/big.bin"
      make_big "$work/theirs/big.bin"
    else
      make_small "$work/ours/small"
      make_small "$work/theirs/small"
    fi
    sync
    local ours_cmd theirs_cmd
    if [[ $kind == dd ]]; then
      cat "$random" >/dev/null # held in the page cache: dd reads no disk
      ours_cmd=("$ours" "$passes" "$work/ours/big.bin")
      theirs_cmd=(dd if="$random" of="$work/theirs/big.bin" bs=1M conv=notrunc,fdatasync status=none)
    elif [[ $kind == big ]]; then
      ours_cmd=("$ours" "$passes" "$work/ours/big.bin")
      theirs_cmd=(shred -n "$passes" -u "$work/theirs/big.bin")
    else
      ours_cmd=("$ours" "$passes" "$work/ours/small"/*)
      theirs_cmd=(shred -u "$work/theirs/small"/*)
    fi
    if (( round % 2 )); then
      ours_times+=("$(elapsed_us "${ours_cmd[@]}")")
      overwrite_times+=($(( ours_times[-1] - $(<"$work/removal") )))
      theirs_times+=("$(elapsed_us "${theirs_cmd[@]}")")
    else
      theirs_times+=("$(elapsed_us "${theirs_cmd[@]}")")
      ours_times+=("$(elapsed_us "${ours_cmd[@]}")")
      overwrite_times+=($(( ours_times[-1] - $(<"$work/removal") )))
    fi
    check_gone "$work/ours"
    [[ $kind == dd ]] || check_gone "$work/theirs"
    rm -rf "$work/ours" "$work/theirs"
    echo "  $name, round $round: ours $(( ours_times[-1] / 1000 )) ms (removal $(( (ours_times[-1] - overwrite_times[-1]) / 1000 )) ms)," \
      "${theirs_cmd[0]} $(( theirs_times[-1] / 1000 )) ms"
  done
  result[$name.ours]=$(printf '%s\n' "${ours_times[@]}" | median)
  result[$name.overwrite]=$(printf '%s\n' "${overwrite_times[@]}" | median)
  result[$name.theirs]=$(printf '%s\n' "${theirs_times[@]}" | median)
  result[$name.rss]=$(awk '{ if ($2 > m) m = $2 } END { print m }' "$rss_file")
}

echo "files in $work ($fs_type), $rounds rounds"
random=$work/random.bin
make_big "$random"
run_case dd1 dd 1
run_case big1 big 1
run_case big3 big 3
run_case small small 3

echo
report() {
  awk -v o="${result[$1.ours]}" -v t="${result[$1.theirs]}" -v r="${result[$1.rss]}" -v label="$2" -v shred="$3" -v goal="$4" 'BEGIN {
    printf "%s: ours %.1f ms (peak RSS %d KiB), %s %.1f ms, ratio %.3f (goal <= %s)\n", label, o / 1000, r, shred, t / 1000, o / t, goal
  }'
}
# dd only overwrites; the shredder then removes the file, and freeing 512 MiB costs the file
# system 50-150 ms of its own (more where it is mounted with discard). So the disk's-speed
# comparison takes our time without the removal, and the whole time is shown beside it.
result[dd1.whole]=${result[dd1.ours]}
result[dd1.ours]=${result[dd1.overwrite]}
report dd1 "one $big_mib MiB file, 1 pass, overwriting only, the disk's own speed" "dd conv=notrunc,fdatasync from a cached random file" 1.25
awk -v w="${result[dd1.whole]}" -v t="${result[dd1.theirs]}" 'BEGIN {
  printf "  the same with the removal: ours %.1f ms, ratio %.3f\n", w / 1000, w / t
}'
report big1 "one $big_mib MiB file, 1 pass" "shred -n 1 -u" 1.05
report big3 "one $big_mib MiB file, 3 passes" "shred -n 3 -u" 1.05
report small "$small_files files of $small_size bytes, 3 passes" "shred -u" 1.0
awk -v a="${result[big1.ours]}" -v b="${result[big1.theirs]}" -v c="${result[big3.ours]}" -v d="${result[big3.theirs]}" \
    -v e="${result[small.ours]}" -v f="${result[small.theirs]}" 'BEGIN {
  r = a / b; if (c / d > r) r = c / d; if (e / f > r) r = e / f
  printf "ratio: %.3f\n", r
}'
