#!/usr/bin/env bash
# The window's start-up with the default skin against the same start-up without the skin
# library, one fresh process per start, alternating.
# Usage: bench/skins/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-15}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_skin_startup brisquel_skin_library

bench=$(bench_binary bench_skin_startup)
programs=$build/bin
if [[ ! -f $programs/libSkinH_VB6.so ]]; then
  echo "libSkinH_VB6.so not found under $programs" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-skins.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$repo/data/Wjql.ini" "$repo/data/Zcql.ini" "$repo/data/Guanyu.dat" "$work/"
cp "$repo/skins/blue.she" "$work/Pifu.she"
cd "$work"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu WINEPREFIX="$work/no-prefix"

with=()
without=()
with_cpu=()
without_cpu=()
attach=()
run() { "$bench" "$1" "$programs" 2>/dev/null; }
for (( round = 1; round <= rounds; round++ )); do
  # Alternate who goes first, so neither always meets a warmer cache.
  if (( round % 2 )); then
    read -r w wc _ < <(run with)
    read -r wo woc a < <(run without)
  else
    read -r wo woc a < <(run without)
    read -r w wc _ < <(run with)
  fi
  with+=("$w")
  without+=("$wo")
  with_cpu+=("$wc")
  without_cpu+=("$woc")
  attach+=("$a")
  echo "round $round: with skin $w ms (thread $wc ms), without $wo ms (thread $woc ms), late attach and repaint $a ms"
done

with_median=$(printf '%s\n' "${with[@]}" | median)
without_median=$(printf '%s\n' "${without[@]}" | median)
with_cpu_median=$(printf '%s\n' "${with_cpu[@]}" | median)
without_cpu_median=$(printf '%s\n' "${without_cpu[@]}" | median)
attach_median=$(printf '%s\n' "${attach[@]}" | median)

echo
awk -v w="$with_median" -v o="$without_median" -v wc="$with_cpu_median" -v oc="$without_cpu_median" \
    -v a="$attach_median" -v r="$rounds" 'BEGIN {
  printf "window start-up to first full paint, median of %d starts each\n", r
  printf "with the default skin: %.1f ms wall, %.1f ms of the window thread\n", w, wc
  printf "without the skin library: %.1f ms wall, %.1f ms of the window thread\n", o, oc
  printf "added by the skin: %.1f ms wall, %.1f ms of the window thread (goal: at most 20 ms)\n", w - o, wc - oc
  printf "attaching late, library loaded cold, and repainting: %.1f ms\n", a
  printf "ratio: %.2f\n", w / o
}'
