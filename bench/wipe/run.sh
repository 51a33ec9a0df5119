#!/usr/bin/env bash
# Wiping a file system's free space with Filefs's core against dd filling the same free
# space with zeros (conv=fdatasync) and rm, in one run, on a loop-mounted ext4 image of
# WIPE_MIB MiB made in the build folder (a real disk, never tmpfs). Each round alternates
# who goes first; medians of ROUNDS rounds. Then one wipe through the shredder window, for
# the longest gap in its event loop. A loop mount needs root.
# Usage: sudo nice bench/wipe/run.sh [BUILD_DIR]   (default: the repository's build/ folder)
set -euo pipefail

rounds=${ROUNDS:-3}
wipe_mib=${WIPE_MIB:-1024}
if (( EUID != 0 )); then
  echo "the wipe benchmark loop-mounts a file system image: run it as root (skipped)"
  exit 0
fi
source "$(dirname "${BASH_SOURCE[0]}")/../build_folder.sh"
bench_build bench_wipe bench_wipe_window
ours=$(bench_binary bench_wipe)
window=$(bench_binary bench_wipe_window)

work=$(mktemp -d "$build/bench-wipe.XXXXXX")
mnt=$work/mnt
trap 'umount "$mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
fs_type=$(stat -f -c %T "$work")
if [[ $fs_type == tmpfs || $fs_type == ramfs ]]; then
  echo "$work is on $fs_type: put the build folder on a disk" >&2
  exit 1
fi
mkdir "$mnt"
truncate -s "${wipe_mib}M" "$work/disk.img"
mkfs.ext4 -q -F "$work/disk.img"
mount -o loop "$work/disk.img" "$mnt"


# dd stops with "No space left on device" once the disk is full: that is the point.
run_ours() { "$ours" "$mnt"; }
run_theirs() {
  dd if=/dev/zero of="$mnt/FILL" bs=1M conv=fdatasync status=none 2>/dev/null || true
  rm "$mnt/FILL"
}

free_kib() { df --output=avail -k "$mnt" | tail -1; }

echo "free space of a $wipe_mib MiB ext4 image ($(( $(free_kib) / 1024 )) MiB free) in $work ($fs_type), $rounds rounds"
ours_times=() theirs_times=()
for (( round = 1; round <= rounds; round++ )); do
  sync
  time_round "$round"
  if [[ -n $(find "$mnt" -mindepth 1 ! -name lost+found -print -quit) ]]; then
    echo "files left in $mnt" >&2
    exit 1
  fi
  echo "  round $round: ours $(( ours_times[-1] / 1000 )) ms, dd $(( theirs_times[-1] / 1000 )) ms"
done
ours_median=$(printf '%s\n' "${ours_times[@]}" | median)
theirs_median=$(printf '%s\n' "${theirs_times[@]}" | median)

# The same wipe through the shredder window, watching its event loop.
echo
QT_LOGGING_RULES=default.warning=false XDG_STATE_HOME=$work/state "$window" "$mnt" | tail -1

echo
awk -v o="$ours_median" -v t="$theirs_median" 'BEGIN {
  printf "free space wipe, 1 pass: ours %.1f ms, dd conv=fdatasync + rm %.1f ms, ratio %.3f (goal <= 1.10)\n", o / 1000, t / 1000, o / t
  printf "ratio: %.3f\n", o / t
}'
