#!/usr/bin/env bash
# Pifu's start with 20 large imported skins: the list reading their starts only, against the
# same start reading every skin whole. One fresh process per start, alternating.
# Usage: bench/skin_list/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-7}
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_skin_list

bench=$(bench_binary bench_skin_list)
export QT_QPA_PLATFORM=offscreen

heads=()
whole=()
for (( round = 1; round <= rounds; round++ )); do
  if (( round % 2 )); then
    heads+=("$("$bench" heads 2>/dev/null)")
    whole+=("$("$bench" whole 2>/dev/null)")
  else
    whole+=("$("$bench" whole 2>/dev/null)")
    heads+=("$("$bench" heads 2>/dev/null)")
  fi
  echo "round $round: heads ${heads[-1]} ms, whole ${whole[-1]} ms"
done

heads_median=$(printf '%s\n' "${heads[@]}" | median)
whole_median=$(printf '%s\n' "${whole[@]}" | median)
echo
awk -v h="$heads_median" -v w="$whole_median" -v r="$rounds" 'BEGIN {
  printf "Pifu with 20 imported skins of 1 MiB, to its first full paint, median of %d starts each\n", r
  printf "reading the skins'"'"' starts: %.1f ms; reading them whole: %.1f ms\n", h, w
  printf "ratio: %.2f\n", h / w
}'
