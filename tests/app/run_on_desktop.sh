#!/usr/bin/env bash
# Runs a test program on a real display server of its own, started here and stopped on exit.
#   run_on_desktop.sh wayland TEST [ARG...]       under weston's headless backend, Qt's Wayland
#                                                 plugin; exits 77 (skipped) if weston can't start
#   run_on_desktop.sh x11-192dpi TEST [ARG...]    beside an Xvfb screen that says 192 dpi, named in
#                                                 BRISQUEL_192DPI_DISPLAY for the test's children
set -euo pipefail
mode=$1
shift
tools=$(dirname "$0")/../../tools
runtime=$(mktemp -d "${TMPDIR:-/tmp}/brisquel-desktop.XXXXXX")
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  if [ "$mode" = x11-192dpi ]; then stop_virtual_display; fi
  rm -rf "$runtime"
}
trap cleanup EXIT

case $mode in
  wayland)
    if ! command -v weston >/dev/null; then
      echo "SKIP: weston is not installed, so there is no Wayland compositor to run under"
      exit 77
    fi
    # The compositor's socket lives in a private runtime folder.
    chmod 700 "$runtime"
    socket=brisquel-test-$$
    XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --socket="$socket" --idle-time=0 \
      --width=1024 --height=768 >"$runtime/weston.log" 2>&1 &
    server=$!
    for _ in $(seq 100); do
      [ -S "$runtime/$socket" ] && break
      kill -0 "$server" 2>/dev/null || break
      sleep 0.1
    done
    if [ ! -S "$runtime/$socket" ]; then
      echo "SKIP: weston's headless compositor did not start:"
      cat "$runtime/weston.log"
      exit 77
    fi
    XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=$socket QT_QPA_PLATFORM=wayland "$@"
    ;;
  x11-192dpi)
    source "$tools/virtual_display.sh"
    start_virtual_display
    # What a desktop sets for a 2x screen; Qt reads it from the root window.
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192"
    BRISQUEL_192DPI_DISPLAY=$DISPLAY QT_QPA_PLATFORM=offscreen "$@"
    ;;
  *)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac
