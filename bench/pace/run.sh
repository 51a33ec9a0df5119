#!/usr/bin/env bash
# The junk-file run's pace with the window on show on a virtual display: a run over
# ENTRIES entries (default 3,000), each deleting one file, against (N + 1) periods of the
# 1 ms timer measured in the same process, idle just before and just after each run.
# Prints the median ratio of ROUNDS runs (default 5).
# Usage: bench/pace/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
# BENCH_WRAPPER runs the program under another, e.g. "perf record -g --".
set -euo pipefail

entries=${ENTRIES:-3000}
export ROUNDS=${ROUNDS:-5}
rounds=$ROUNDS
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
source "$repo/tools/virtual_display.sh"
bench_build bench_pace
bench=$(bench_binary bench_pace)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-pace.XXXXXX")
trap 'stop_virtual_display; rm -rf "$work"' EXIT
mkdir "$work/junk"
seq -f "$work/junk/junk%05g.tmp" 1 "$entries" | sed 's/$/\r/' > "$work/Wjql.ini"
: > "$work/Zcql.ini"
: > "$work/Guanyu.dat"

start_virtual_display
# No real Wine prefix is touched, and no screen reader's bridge is on.
cd "$work"
WINEPREFIX="$work/no-prefix" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=0 QT_ACCESSIBILITY=0 \
  QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu ${BENCH_WRAPPER:-} "$bench" 2> >(grep -v -e '^libva' -e '^MESA' >&2)
