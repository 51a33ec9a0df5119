#!/usr/bin/env bash
# Start-up on a virtual display: the window against a bare window holding only the same
# web pane, started in turn as separate processes, each timed from its start to its first
# frame (median of ROUNDS starts each, default 15). Then the window's time to its first paint
# and peak memory with huge support files: OEMINFO.INI of 10, 30 and 100 MB of short lines,
# and a 100 MB Guanyu.dat.
# Usage: bench/startup/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
# HUGE_FILES=0 leaves out the huge files.
set -euo pipefail

rounds=${ROUNDS:-15}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
source "$repo/tools/virtual_display.sh"
bench_build bench_form bench_bare
form=$(bench_binary bench_form)
bare=$(bench_binary bench_bare)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-startup.XXXXXX")
trap 'stop_virtual_display; rm -rf "$work"' EXIT
# The shipped lists, about text and default skin, and a Wine prefix that holds only the
# system folder.
mkdir -p "$work/run" "$work/prefix/drive_c/WINDOWS/system32" "$work/prefix/dosdevices"
cp "$repo/data/Wjql.ini" "$repo/data/Zcql.ini" "$repo/data/Guanyu.dat" "$work/run/"
cp "$repo/skins/blue.she" "$work/run/Pifu.she"
ln -s ../drive_c "$work/prefix/dosdevices/c:"
system32=$work/prefix/drive_c/WINDOWS/system32
export WINEPREFIX=$work/prefix QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu
start_virtual_display
cd "$work/run"

# Milliseconds from the start of `$@` to its first frame; its peak memory (kB) is left in
# $work/peak, the processor time its window's thread used until then (ms) in $work/cpu.
started() {
  local start painted
  start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/peak" "$@" >"$work/out" 2>/dev/null
  painted=$(sed -n 's/^painted: //p' "$work/out")
  sed -n 's/^cpu: //p' "$work/out" >"$work/cpu"
  [[ -n $painted ]] || { echo "$1 never painted" >&2; exit 1; }
  echo $(( (painted - 10#${start/[.,]/}) / 1000 ))
}

# One start of each first, unmeasured, so that both meet warm caches.
started "$form" >/dev/null
started "$bare" >/dev/null
form_ms=() form_cpu=()
bare_ms=() bare_cpu=()
start_form() { form_ms+=("$(started "$form")"); form_cpu+=("$(cat "$work/cpu")"); }
start_bare() { bare_ms+=("$(started "$bare")"); bare_cpu+=("$(cat "$work/cpu")"); }
for (( round = 1; round <= rounds; round++ )); do
  # Alternate who goes first.
  if (( round % 2 )); then start_form; start_bare; else start_bare; start_form; fi
  echo "round $round: window ${form_ms[-1]} ms (${form_cpu[-1]} ms busy)," \
    "bare window ${bare_ms[-1]} ms (${bare_cpu[-1]} ms busy)"
done
form_median=$(printf '%s\n' "${form_ms[@]}" | median)
bare_median=$(printf '%s\n' "${bare_ms[@]}" | median)
form_cpu_median=$(printf '%s\n' "${form_cpu[@]}" | median)
bare_cpu_median=$(printf '%s\n' "${bare_cpu[@]}" | median)

# Huge support files: the time to the first paint and the peak memory of the window's
# process, which stays open 2 s after its first paint.
short_lines() { # SIZE_MB FILE: short lines of 36 bytes, CR LF included
  awk -v n="$(( $1 * 1024 * 1024 / 36 ))" 'BEGIN { for (i = 0; i < n; i++) printf "Line%06d=OEM 厂商信息 %07d\r\n", i % 1000000, i }' >"$2"
}
huge() { # LABEL
  local ms
  ms=$(started "$form" 2000)
  printf '%-24s %6d ms %6d MB\n' "$1" "$ms" "$(( $(cat "$work/peak") / 1024 ))"
}
if [[ ${HUGE_FILES:-1} != 0 ]]; then
  echo
  echo "huge support files: window shown after, peak memory of its process"
  huge "no OEMINFO.INI"
  for size in 10 30 100; do
    short_lines "$size" "$system32/OEMINFO.INI"
    huge "$size MB OEMINFO.INI"
  done
  rm "$system32/OEMINFO.INI"
  mv Guanyu.dat Guanyu.dat.shipped
  short_lines 100 Guanyu.dat
  huge "100 MB Guanyu.dat"
  mv Guanyu.dat.shipped Guanyu.dat
fi

echo
awk -v f="$form_median" -v b="$bare_median" -v fc="$form_cpu_median" -v bc="$bare_cpu_median" -v r="$rounds" 'BEGIN {
  printf "start to first frame, median of %d starts each\n", r
  printf "window: %d ms\nbare window with the web pane: %d ms\n", f, b
  printf "processor time of the window thread until then: %d ms against %d ms (%.2f)\n", fc, bc, fc / bc
  printf "goal: ratio <= 1.05 (median of 15 on a quiet machine)\n"
  printf "ratio: %.2f\n", f / b
}'
