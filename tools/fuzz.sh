#!/usr/bin/env bash
# Builds the libFuzzer targets (build-fuzz/, clang) and runs each for SECONDS (default 30),
# two at a time. Fails when any target finds a crash, a leak, undefined behaviour or a
# failed check; the input that did it is left in build-fuzz/artifacts/.
#   tools/fuzz.sh [SECONDS] [TARGET...]     e.g. tools/fuzz.sh 600 line_reader oem_text
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/common.sh

seconds=${1:-30}
shift $(($# > 0 ? 1 : 0))
build_brisquel_fuzz >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then
  for t in build-fuzz/bin/fuzz_*; do targets+=("${t##*/fuzz_}"); done
fi

export_sanitizer_options
mkdir -p build-fuzz/artifacts build-fuzz/logs

# One target: new inputs go to build-fuzz/corpus/<target>; the seeds in fuzz/corpus stay as
# they are.
run_target() {
  local name=$1 corpus=build-fuzz/corpus/$1 log=build-fuzz/logs/$1.log
  mkdir -p "$corpus"
  if build-fuzz/bin/"fuzz_$name" "$corpus" "fuzz/corpus/$name" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/artifacts/$name-" >"$log" 2>&1; then
    echo "fuzz $name: ok, $(grep -m1 -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$') runs in ${seconds}s"
  else
    echo "fuzz $name: FAILED (log: $log)"
    grep -E -A30 'ERROR|runtime error|check failed|Test unit written' "$log" | head -60
    return 1
  fi
}

status=0
running=0
for name in "${targets[@]}"; do
  run_target "$name" &
  if ((++running >= 2)); then
    wait -n || status=1
    ((running--))
  fi
done
while ((running > 0)); do
  wait -n || status=1
  ((running--))
done
exit "$status"
