#!/usr/bin/env bash
# Installs what is missing, builds, prepares a demo folder and opens the window there.
# Without a display the window runs on a virtual one and a screenshot is saved instead.
set -euo pipefail
cd "$(dirname "$0")"
source tools/common.sh
install_packages
build_brisquel

root=$(pwd)
demo="$root/demo"
"$root/tools/prepare_demo.sh" "$demo"
cd "$demo"
# The demo never touches a real Wine prefix: its own has no registry, so registry
# deletions fail at once and nothing is created.
export WINEPREFIX="$demo/wine-prefix"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$root/build/bin/Kelvane"
fi

shot="$demo/screenshot.png"
source "$root/tools/virtual_display.sh"
trap 'kill ${app:-} 2>/dev/null || true; stop_virtual_display' EXIT
start_virtual_display
QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu "$root/build/bin/Kelvane" >/dev/null 2>&1 &
app=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^Brisquel  By:' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
sleep 3
if [ -n "$window" ]; then
  import -window "$window" -frame "$shot"
else
  import -window root "$shot"
fi
echo "Screenshot of the window: $shot"
